// Includes below itself in every form.
#include <core/Base.h>
#include "../core/Base.h"
#include "core/Base.h"
#include "Beside.h"
