#include "core/zad/Tavrin.h"

#include "bfat/sample/zSampleIO.h"
#include "bfgt/picture/zPictureIO.h"
#include "core/geometry/zGeometry.h"
#include "core/render/zRenderer.h"
#include "core/resource/zTexture.h"
#include "core/sound/zSound.h"
#include "framework/filesystem/zIOBaseFS.h"
#include "framework/filesystem/zStream.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <cstring>

namespace {

// The name a resource found through the missing-resource hook is cached
// under: the path the hook gave, without its search-path prefix.
zString NameFromHookPath(const zString& located)
{
    zString name(located);
    StripSearchPath(name);
    return name;
}

// The path of a texture's engine attribute file: the extension of the file
// name replaced by ".zmd", or ".zmd" appended when it has none. Dots in
// directory names are not extensions.
zString SideFilePath(const zString& located)
{
    const char* text = located.Get() != nullptr ? located.Get() : "";
    const char* slash = std::strrchr(text, '/');
    const char* dot = std::strrchr(slash != nullptr ? slash : text, '.');
    zString side;
    if (dot != nullptr)
        side.AssignRange(text, dot);
    else
        side.Assign(text);
    side.Append(".zmd");
    return side;
}

// Reads the "Priority" tags of a texture's attribute file, if it has one.
void LoadTextureAttributes(zTexture& texture, const zString& located)
{
    zString sidePath = SideFilePath(located);
    if (!zStream::LocateFile(sidePath))
        return;
    zMetaFile attributes;
    if (!zMetaParser::Load(sidePath.Get(), &attributes)) {
        LogWarning("Tavrin::LoadTexture") << "Ignoring unreadable engine attributes '" << sidePath << "'.\n";
        return;
    }
    *GlobalLogStream << "Loading texture '" << texture.id << "' engine attributes.\n";
    zLinkedListCursor cursor;
    while (const zMetaTag* tag = attributes.NextRootTag(cursor, true)) {
        if (tag->GetName() == "Priority")
            texture.priority = tag->GetFloat();
    }
}

// Looks for a resource's file: located becomes its path when the file
// systems or search paths find it (found is then true). When they do not and
// the missing-resource hook is set, the hook may rewrite located, name becomes
// the name the hook's path gives, and a resource the cache already holds under
// that name is returned.
template <class Resource>
Resource* Locate(zLinkedListId& cache, zResourceMissingHook hook, zString& name, zString& located, bool& found)
{
    found = zStream::LocateFile(located);
    if (found || hook == nullptr)
        return nullptr;
    hook(located);
    name = NameFromHookPath(located);
    return cache.FindAs<Resource>(name);
}

// Fills a new resource from its file when the file is there (the loaded hook
// hears of a success), warning otherwise; kind names the resource in the log.
template <class Resource, class Load>
void LoadContent(Resource* resource, bool found, const zString& name, zString& located, const char* method,
                 const char* kind, Load load, void (*loadedHook)(Resource*))
{
    if (!found && !zStream::LocateFile(located)) {
        LogWarning(method) << "Failed to locate '" << name << "', could not load " << kind << ".\n";
        return;
    }
    resource->path = located;
    if (!load(resource, located.Get())) {
        LogWarning(method) << "Failed to load " << kind << " from '" << located << "'.\n";
        return;
    }
    if (loadedHook != nullptr)
        loadedHook(resource);
}

} // namespace

zGeometry* Tavrin::LoadGeometry(const char* path, bool useCache, bool keepInCache)
{
    if (path == nullptr) {
        LogError("Tavrin::LoadGeometry") << "No geometry path given.\n";
        return nullptr;
    }
    zString name(path);
    zString located(path);
    if (useCache) {
        if (zGeometry* cached = GetGeometries().FindAs<zGeometry>(name))
            return cached;
    } else {
        *GlobalLogStream << "Ignoring geometry cache for '" << path << "'.\n";
    }

    bool found = false;
    if (zGeometry* cached = Locate<zGeometry>(GetGeometries(), GlobalGeometryMissingHook, name, located, found))
        return cached;

    zGeometry* geometry = zGeometry::New(this, name.Get());
    if (geometry == nullptr) {
        LogError("Tavrin::LoadGeometry") << "Could not allocate new geometry.\n";
        return nullptr;
    }

    LoadContent(
        geometry, found, name, located, "Tavrin::LoadGeometry", "geometry",
        [](zGeometry* g, const char* file) { return g->LoadFromFile(file); }, GlobalGeometryLoadedHook);
    if (!keepInCache)
        GetGeometries().Unlink(geometry);
    return geometry;
}

zTexture* Tavrin::LoadTexture(const char* path, bool useCache, bool keepInCache, float priority, bool skipSetup)
{
    if (path == nullptr) {
        LogError("Tavrin::LoadTexture") << "No texture path given.\n";
        return nullptr;
    }
    zString name(path);
    zString located(path);
    const bool setup = GlobalResourceAutoSetup != 0 && !skipSetup;

    // An empty path matches nothing, not the empty path of a texture whose
    // file was never found.
    if (useCache && !name.IsEmpty()) {
        // Hashed comparisons: every texture of the cache is looked at.
        zLinkedListCursor cursor;
        while (zTexture* cached = GetTextures().NextAs<zTexture>(cursor)) {
            if (cached->path.EqualsString(name) || cached->id.EqualsString(name)) {
                if (setup)
                    cached->Setup();
                return cached;
            }
        }
    }

    bool found = false;
    zTexture* texture = Locate<zTexture>(GetTextures(), GlobalTextureMissingHook, name, located, found);

    if (texture == nullptr) {
        texture = zTexture::New(this, name.Get(), 0, 0, false, 0.5f);
        if (texture == nullptr) {
            LogError("Tavrin::LoadTexture") << "Could not allocate new texture.\n";
            return nullptr;
        }
        LoadTextureAttributes(*texture, located);
        SetTextureContent(texture, located.Get());
        if (priority != 0.5f)
            texture->priority = priority;
        if (!keepInCache)
            GetTextures().Unlink(texture);
    }

    if (setup)
        texture->Setup();
    return texture;
}

zSound* Tavrin::LoadSound(const char* path)
{
    if (path == nullptr) {
        LogError("Tavrin::LoadSound") << "No sound path given.\n";
        return nullptr;
    }
    zString name(path);
    zString located(path);
    if (zSound* cached = GetSounds().FindAs<zSound>(name))
        return cached;

    bool found = false;
    if (zSound* cached = Locate<zSound>(GetSounds(), GlobalSoundMissingHook, name, located, found))
        return cached;

    zSound* sound = zSound::New(this, name.Get());
    if (sound == nullptr) {
        LogError("Tavrin::LoadSound") << "Could not allocate new sound.\n";
        return nullptr;
    }
    *GlobalLogStream << "Loading sound '" << name << "'.\n";

    LoadContent(
        sound, found, name, located, "Tavrin::LoadSound", "sound",
        [](zSound* s, const char* file) { return zSampleIO::Load(s->sample, file); }, GlobalSoundLoadedHook);

    if (GlobalResourceAutoSetup != 0)
        sound->Setup();
    return sound;
}

bool Tavrin::SetTextureContent(zTexture* texture, const char* path)
{
    if (texture == nullptr || path == nullptr) {
        LogError("Tavrin::SetTextureContent") << "No texture or path to set texture content.\n";
        return false;
    }
    zString located(path);
    if (!zStream::LocateFile(located)) {
        LogWarning("Tavrin::SetTextureContent") << "Failed to locate '" << path
                                                << "', could not set texture content.\n";
        return false;
    }
    texture->path = located;

    const char* dot = std::strrchr(located.Get(), '.');
    bool loaded = false;
    // Only the exact lower-case extension opens a video stream.
    if (dot != nullptr && std::strcmp(dot + 1, "mpg") == 0)
        loaded = texture->SetupStreamInterface(located.Get());
    else
        loaded = zPictureIO::Load(texture->picture, located.Get());

    if (!loaded && (renderer == nullptr || !renderer->LoadTextureContent(texture, path))) {
        LogWarning("Tavrin::SetTextureContent") << "Failed to set texture content from '" << located << "'.\n";
        return false;
    }
    if (GlobalTextureContentHook != nullptr)
        GlobalTextureContentHook(texture);
    return true;
}

void Tavrin::SetupResources()
{
    zLinkedListCursor textures;
    while (zTexture* texture = GetTextures().NextAs<zTexture>(textures))
        texture->Setup();
    zLinkedListCursor geometries;
    while (zGeometry* geometry = GetGeometries().NextAs<zGeometry>(geometries))
        geometry->Setup();
    zLinkedListCursor sounds;
    while (zSound* sound = GetSounds().NextAs<zSound>(sounds))
        sound->Setup();
}
