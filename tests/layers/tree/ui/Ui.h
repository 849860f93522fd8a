#include "../host/Host.h"
#include "../../tree/host/Host.h"
