#include "dav/core/dAV_Driver.h"

dAV_Driver::~dAV_Driver() = default;

dAV_AudioDriver::~dAV_AudioDriver() = default;
