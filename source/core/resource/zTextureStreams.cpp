#include "core/resource/TextureStreamInterface.h"
#include "core/resource/zTexture.h"

#include "core/zad/TavrinGlobals.h"
#include "dav/core/dAV_Stream.h"
#include "framework/system/zLogStream.h"

#include <new>

bool zTexture::SetupStreamInterface(const char* path)
{
    zModuleTagScope module(1);
    DeleteStreamInterface();
    auto* stream = new (std::nothrow) TextureStreamInterface(this);
    if (stream == nullptr) {
        LogError("zTexture::SetupStreamInterface") << "Failed to allocate texture stream interface.\n";
        return false;
    }
    streamInterface = stream;
    stream->content = new (std::nothrow) dAV_Stream(stream, nullptr);
    if (stream->content == nullptr) {
        LogError("zTexture::SetupStreamInterface") << "Failed to allocate stream.\n";
        return false;
    }
    *GlobalLogStream << "Open texture stream interface: '" << (path != nullptr ? path : "") << "'\n";
    if (stream->content->Open(path))
        return true;
    // The interface stays: its stream does not play, so updating it does nothing.
    LogError("zTexture::SetupStreamInterface") << "Failed to open content stream.\n";
    return false;
}

void zTexture::SetStreamState(int32_t state)
{
    if (streamInterface != nullptr)
        streamInterface->playState = state;
}

void zTexture::UpdateStream(int32_t delta)
{
    if (streamInterface == nullptr || streamInterface->content == nullptr ||
        streamInterface->playState == StreamPaused)
        return;
    dAV_Stream* stream = streamInterface->content;
    // Video textures repeat.
    if (stream->GetState() == dAV_Stream::Finished)
        stream->Rewind();
    else
        stream->Update(delta);
}

void zTexture::DeleteStreamInterface()
{
    // Goes before the picture it writes into, with its stream and open file.
    delete streamInterface;
    streamInterface = nullptr;
}
