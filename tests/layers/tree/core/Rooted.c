  #  include "host/Host.h"
