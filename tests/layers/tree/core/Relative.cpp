#include "../host/Host.h"
