#include "core/resource/zTexture.h"

void zTexture::UpdateStream(int32_t)
{
}
