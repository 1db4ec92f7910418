#pragma once

#include "core/resource/zResourceSet.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/system/zClock.h"

#include <cstdint>

class zGeometry;
class zMixer;
class zRenderer;
class zSound;
class zTexture;

// The engine core's one central object: the current renderer and mixer, the
// resource caches, and the frame bracket whose outermost end presents the
// frame and advances the program-wide frame clock. Main thread only.
class Tavrin {
public:
    // Creates the null renderer and the null mixer as defaults and current ones.
    Tavrin();
    ~Tavrin();
    Tavrin(const Tavrin&) = delete;
    Tavrin& operator=(const Tavrin&) = delete;

    // Opens a frame; only the outermost bracket begins a renderer frame.
    void BeginDraw(bool updateStreams);
    // Closes a frame. The outermost end (or a forced one) ends the renderer
    // frame, updates the mixer, presents, calls the end-of-frame hook and
    // advances the clock. Unless retained the item stack is emptied.
    void EndDraw(bool force, bool retainItemStack);
    // Advances every streamed texture of the texture cache by delta ticks.
    void UpdateTextureStreams(int32_t delta);
    // Deletes every texture, geometry and sound of the current set.
    void DeleteAllResources();

    // The geometry cached under the path (unless the cache is bypassed), else
    // a new one read from the located ZML file, kept in the cache unless told
    // otherwise. A file that cannot be found or read still gives an empty
    // geometry. Null only when no geometry can be allocated. A cached geometry
    // belongs to the cache; one not kept in the cache is the caller's to delete.
    zGeometry* LoadGeometry(const char* path, bool useCache, bool keepInCache);
    // The texture cached under the path (as its name or the path it was loaded
    // from), else a new one loaded from the located file, with the priority of
    // its ".zmd" side file unless the priority given is other than 0.5. A file
    // that cannot be found or read still gives an empty texture. Null only
    // when no texture can be allocated. Ownership as for LoadGeometry.
    zTexture* LoadTexture(const char* path, bool useCache, bool keepInCache, float priority, bool skipSetup);
    // The sound cached under the path, else a new cached one loaded from the
    // located WAV file; empty when the file cannot be found or read. The
    // cache owns it; null for a null path or when none can be allocated.
    zSound* LoadSound(const char* path);
    // Loads a picture, or opens an "mpg" video stream, into the texture.
    bool SetTextureContent(zTexture* texture, const char* path);
    // Sets every cached texture, geometry and sound up on the current renderer
    // and mixer.
    void SetupResources();
    // Sets the current renderer's option and effect flags and the debug
    // channel from the settings, or from the ZML file at path when there are
    // none. A key that is missing clears its flag.
    bool LoadRendererSettings(const char* path, const zLinkedListId* settings);

    zLinkedListId& GetTextures() { return currentResources->GetTextures(); }
    zLinkedListId& GetGeometries() { return currentResources->GetGeometries(); }
    zLinkedListId& GetSounds() { return currentResources->GetSounds(); }

    // The renderer all drawing goes to; never owned through this field. Null
    // only after the default renderer was deleted.
    zRenderer* renderer = nullptr;
    zMixer* mixer = nullptr;
    // The null renderer and mixer, owned.
    zRenderer* defaultRenderer = nullptr;
    zMixer* defaultMixer = nullptr;
    // The built-in set of caches and the set the loaders use.
    zResourceSet resources;
    zResourceSet* currentResources = &resources;
    // From one BeginDraw to the next.
    zTimer frameTimer;
};
