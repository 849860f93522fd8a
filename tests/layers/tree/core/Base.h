// Below everything: includes only its own folder and the system.
#include "Other.h"
#include <windows.h>
#include <string.h>
#include "../core/Other.h"
