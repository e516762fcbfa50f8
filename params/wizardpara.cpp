#include "params/wizardpara.h"
