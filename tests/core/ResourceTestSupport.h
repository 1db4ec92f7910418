#pragma once

#include "CoreTestSupport.h"
#include "support/FileSystemGuard.h"
#include "support/TempDir.h"

#include "bfgt/picture/zPictureIO.h"
#include "core/geometry/zGeometry.h"
#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"
#include "core/zad/TavrinGlobals.h"

#include <filesystem>
#include <string>
#include <vector>

// A renderer that records which textures it is asked to set up, free or load
// and which geometries to set up or free.
class ResourceRecordingRenderer : public RecordingRenderer {
public:
    using RecordingRenderer::RecordingRenderer;

    bool SetupTexture(zTexture* texture) override
    {
        setups.push_back(texture);
        return true;
    }
    void FreeTexture(zTexture* texture) override { frees.push_back(texture); }
    bool LoadTextureContent(zTexture* texture, const char* path) override
    {
        contentRequests.push_back(texture);
        contentPaths.emplace_back(path);
        return answersContent;
    }

    bool SetupGeometry(zGeometry* geometry) override
    {
        geometrySetups.push_back(geometry);
        // As a renderer keeps its record there.
        geometry->rendererData = geometry;
        return true;
    }
    void FreeGeometry(zGeometry* geometry) override
    {
        geometryFrees.push_back(geometry);
        geometry->rendererData = nullptr;
    }

    int CountSetups(const zTexture* texture) const
    {
        int n = 0;
        for (const zTexture* t : setups)
            n += t == texture ? 1 : 0;
        return n;
    }

    std::vector<zTexture*> setups;
    std::vector<zTexture*> frees;
    std::vector<zTexture*> contentRequests;
    std::vector<std::string> contentPaths;
    bool answersContent = false;
    std::vector<zGeometry*> geometrySetups;
    std::vector<zGeometry*> geometryFrees;
};

// Puts the resource hooks and switches back to their start values around a test.
class ResourceGlobalsGuard {
public:
    ResourceGlobalsGuard() { Reset(); }
    ~ResourceGlobalsGuard() { Reset(); }
    ResourceGlobalsGuard(const ResourceGlobalsGuard&) = delete;
    ResourceGlobalsGuard& operator=(const ResourceGlobalsGuard&) = delete;

    static void Reset()
    {
        SetResourceMissingHook(nullptr);
        GlobalGeometryLoadedHook = nullptr;
        GlobalSoundLoadedHook = nullptr;
        GlobalTextureContentHook = nullptr;
        GlobalSetupProgressHook = nullptr;
        GlobalResourceAutoSetup = 1;
    }
};

// A working directory of its own (restored with the file systems and search
// paths afterwards) in which tests write the files they load.
class ResourceFiles {
public:
    ResourceFiles() { std::filesystem::current_path(dir.Path()); }

    std::string Write(const std::string& relative, const std::string& bytes) const
    {
        return dir.Write(relative, bytes);
    }

    FileSystemGuard fileSystems;
    ResourceGlobalsGuard globals;
    TempDir dir;
};

// A width x height TGA file whose pixels are a red ramp.
inline std::string MakeTga(int32_t width, int32_t height)
{
    zPicture picture;
    picture.AllocAs(width, height, PixelFormatARGB32);
    for (int32_t i = 0; i < width * height; ++i)
        picture.pixels[i * 4 + 2] = uint8_t(i * 7);
    std::vector<uint8_t> file;
    lowlevel_tga_encode(picture, file);
    return std::string(file.begin(), file.end());
}
