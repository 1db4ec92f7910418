#include "framework/system/zModuleTag.h"

int32_t GlobalModuleTag = 0;
