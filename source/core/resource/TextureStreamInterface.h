#pragma once

#include "dav/core/dAV_Driver.h"

#include <cstdint>

class dAV_Stream;
class zTexture;

// The video output of a texture's media stream: decoded frames are converted
// into the texture's picture and handed to the renderer when the stream says
// they are due. Owned by the texture; runs on the main thread only.
class TextureStreamInterface : public dAV_Driver {
public:
    // Frames larger than a texture can be are refused by the decoder.
    explicit TextureStreamInterface(zTexture* owner);
    // Closes and deletes the content stream.
    ~TextureStreamInterface() override;

    bool IsBusy() override { return false; }
    void BeginUpdate() override {}
    void EndUpdate() override {}
    bool IsValid() override { return true; }
    void Flush() override {}

    // Reallocates the texture's picture when the kind or size changes.
    bool SetFormat(const dAV_FrameFormat& format) override;
    // Converts one frame into the picture; a picture that does not have the
    // announced size (its reallocation failed, or the renderer released it)
    // drops the frame.
    bool WriteFrame(uint8_t* const planes[3], int32_t timeStamp) override;
    bool HasFrame() override { return frameReady != 0; }
    bool NoFrame() override { return frameReady == 0; }
    void ClearFrame() override { frameReady = 0; }
    bool SupportsGapless() override { return false; }
    // Uploads the picture to the current renderer, unless it lacks the announced size.
    bool PresentFrame() override;
    bool IsReady() override { return true; }

    // Whether the picture can take a frame of the announced size: frames are
    // written as ARGB words, so a picture a script reloaded or reallocated in
    // another format takes none.
    bool CanTakeFrame() const;

    zTexture* texture;
    // Owned; null until the texture creates it.
    dAV_Stream* content = nullptr;
    uint8_t frameReady = 0;
    // The frame size last announced by the stream.
    int32_t width = 0;
    int32_t height = 0;
    int32_t chromaWidth = 0;
    int32_t chromaHeight = 0;
    // 1 holds the stream still; other values play.
    int32_t playState = 0;
};
