#include <host/Host.h>
