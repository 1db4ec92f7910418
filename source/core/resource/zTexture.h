#pragma once

#include "bfgt/picture/zPicture.h"
#include "core/resource/zResource.h"

#include <cstdint>

class TextureStreamInterface;

// A picture resource that the renderer uploads. Its content comes from a
// picture file or, through a texture stream interface, from a video stream
// decoded frame by frame into the picture.
class zTexture : public zResource {
public:
    // Flag bits read by the renderer implementation.
    static constexpr uint32_t FlagDynamic = 1;  // content changes every frame (video)
    static constexpr uint32_t FlagCreation = 2; // the creation flag given to New

    // Play state of a stream interface that holds the stream still.
    static constexpr int32_t StreamPaused = 1;

    explicit zTexture(Tavrin* owner, const char* name = nullptr);
    // Frees the renderer record, deletes the stream interface and leaves the
    // core's texture caches.
    ~zTexture() override;
    zTexture(const zTexture&) = delete;
    zTexture& operator=(const zTexture&) = delete;

    // A texture appended to the core's current texture cache, which owns it;
    // a null name gives "tx". Null when it cannot be allocated.
    static zTexture* New(Tavrin* core, const char* name, int32_t mode, int32_t usage, bool creationFlag,
                         float priority);
    // False for null, else whether the located path equals the name.
    static bool IsPathEqualToName(const zTexture* texture);

    // Sets the texture up on the core's current renderer.
    bool Setup();
    // Releases the renderer record.
    void Free();

    // Opens a video stream as the texture's content; the previous stream
    // interface is deleted first.
    bool SetupStreamInterface(const char* path);
    // Stores the play state in the stream interface, if any.
    void SetStreamState(int32_t state);
    // Advances a streamed texture by delta ticks (rewinding one that ended);
    // a texture without a stream interface has nothing to advance.
    void UpdateStream(int32_t delta);

    zPicture picture;
    uint32_t flags = 0;
    // Read and changed by the renderer implementation.
    int32_t mode = 5;
    int32_t usage = 0;
    // Owned; null for still textures.
    TextureStreamInterface* streamInterface = nullptr;
    // Above 0.5 the renderer never reduces the texture.
    float priority = 0.5f;
    // Set by the renderer's SetupTexture, released by its FreeTexture.
    void* rendererData = nullptr;

private:
    void DeleteStreamInterface();
};
