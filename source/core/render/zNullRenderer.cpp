#include "core/render/zNullRenderer.h"

zNullRenderer::~zNullRenderer()
{
    if (videoOpen != 0)
        CloseVideo();
}

bool zNullRenderer::OpenVideo(int32_t, int32_t, int32_t, bool)
{
    videoOpen = 1;
    videoClosed = 0;
    return true;
}

void zNullRenderer::CloseVideo()
{
    videoOpen = 0;
    videoClosed = 1;
}
