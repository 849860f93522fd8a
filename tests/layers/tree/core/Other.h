// Names a header that no folder holds: not the checkout's.
#include "Missing.h"
