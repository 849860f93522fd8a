#include "../../ui/Ui.h"
