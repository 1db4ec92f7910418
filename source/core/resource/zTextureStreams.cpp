#include "core/resource/zTexture.h"

#include "framework/system/zLogStream.h"

// The texture side of video content. Without the media streams no stream
// interface is ever attached, so there is nothing to advance, pause or delete;
// the media streams replace this file with the stream-driving versions.

bool zTexture::SetupStreamInterface(const char* path)
{
    DeleteStreamInterface();
    LogError("zTexture::SetupStreamInterface") << "Video streams are not available to open '"
                                               << (path != nullptr ? path : "") << "'.\n";
    return false;
}

void zTexture::SetStreamState(int32_t)
{
}

void zTexture::UpdateStream(int32_t)
{
}

void zTexture::DeleteStreamInterface()
{
    streamInterface = nullptr;
}
