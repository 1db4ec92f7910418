#include "core/render/zRenderer.h"
#include "core/render/zShaderRecord.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

namespace {

// The string child of that name, shortcuts resolved against the document.
const char* ChildString(const zMetaTag* tag, const char* name, const zMetaFile* document)
{
    const zMetaTag* child = tag->GetTypedTag(name, zMetaTag::TypeString, document);
    return child != nullptr ? child->GetString() : nullptr;
}

// Libraries an include reads load inside the one that names them: a chain
// of files each including the next would recurse as deep as it is long.
constexpr int32_t MaxIncludeNesting = 16;
thread_local int32_t includeNesting = 0;

} // namespace

bool zRenderer::LoadShaderLibrary(const char* path, const char* profile)
{
    if (path == nullptr) {
        LogError("zRenderer::LoadShaderLibrary") << "no library path specified.\n";
        return false;
    }
    // A library is read once whatever the profile; this also ends include cycles.
    for (auto* node = shaderLibraries.GetFirst(); node != nullptr; node = node->next) {
        if (node->value.EqualsCString(path))
            return true;
    }
    *GlobalLogStream << "Loading shader library '" << path << "' (profile "
                     << (profile != nullptr ? profile : "'Default'") << ")...\n";

    zMetaFile document;
    if (!zMetaParser::Load(path, &document)) {
        if (GlobalShaderLibraryMissingHook == nullptr)
            return false;
        zString located(path);
        GlobalShaderLibraryMissingHook(located);
        if (located.IsEmpty() || !zMetaParser::Load(located.Get(), &document))
            return false;
    }
    // The path the caller named is the one remembered, so that asking for it
    // again finds it even when the hook located the file elsewhere.
    const zString libraryPath(path);
    if (GlobalShaderLibraryLoadedHook != nullptr)
        GlobalShaderLibraryLoadedHook(libraryPath);
    ztLinkedList<zString>::Node* library = shaderLibraries.Add(libraryPath);

    const char* profileText = profile != nullptr ? profile : "Default";
    const zMetaTag* profileTag = zMetaTag::GetTagEx(&document, profileText, &document, false);
    if (profileTag == nullptr) {
        LogError("zRenderer::LoadShaderLibrary") << "profile '" << profileText << "' not found.\n";
        return false;
    }
    if (profileTag->GetType() != zMetaTag::TypeNode) {
        LogError("zRenderer::LoadShaderLibrary") << "profile '" << profileText << "' empty.\n";
        return false;
    }

    for (const zMetaTag* entry = profileTag->GetFirstChild(); entry != nullptr; entry = entry->GetNextSibling()) {
        const zString& name = entry->GetName();
        if (name.EqualsCString("Include")) {
            const zMetaTag* include = zMetaTag::ResolveShortcut(const_cast<zMetaTag*>(entry), &document);
            const char* uri = include != nullptr ? ChildString(include, "Uri", &document) : nullptr;
            const char* tag = include != nullptr ? ChildString(include, "Tag", &document) : nullptr;
            if (uri == nullptr || tag == nullptr) {
                LogError("zRenderer::LoadShaderLibrary") << "incomplete Include() command.\n";
                continue;
            }
            if (includeNesting >= MaxIncludeNesting) {
                LogError("zRenderer::LoadShaderLibrary") << "Include of '" << uri << "' in '" << path
                                                         << "' is nested more than " << MaxIncludeNesting
                                                         << " libraries deep, not loaded.\n";
                continue;
            }
            *GlobalLogStream << "-- Loading external shader library '" << uri << "'.\n";
            ++includeNesting;
            const bool included = LoadShaderLibrary(uri, tag);
            --includeNesting;
            if (!included)
                LogError("zRenderer::LoadShaderLibrary") << "failed to load shader library.\n";
        } else if (name.EqualsCString("Shader")) {
            const zMetaTag* shader = zMetaTag::ResolveShortcut(const_cast<zMetaTag*>(entry), &document);
            const char* shaderName = shader != nullptr ? ChildString(shader, "Name", &document) : nullptr;
            const char* vertex = shader != nullptr ? ChildString(shader, "Vertex", &document) : nullptr;
            const char* pixel = shader != nullptr ? ChildString(shader, "Pixel", &document) : nullptr;
            if (shaderName == nullptr || vertex == nullptr || pixel == nullptr) {
                LogError("zRenderer::LoadShaderLibrary")
                    << "shader incomplete (check <id>, <vertex> and <pixel> tags).\n";
                continue;
            }
            zShaderRecord* record = LoadShader(shaderName, vertex, pixel);
            if (record == nullptr)
                continue;
            if (record->id.IsEmpty())
                record->id.Assign(shaderName);
            record->library = library;
            shaders.Append(record);
        }
    }
    *GlobalLogStream << "Done, " << shaders.GetCount() << " shader(s) in library.\n\n";
    return true;
}

void zRenderer::FreeAllShaders()
{
    zLinkedListCursor cursor;
    while (zShaderRecord* record = shaders.NextAs<zShaderRecord>(cursor))
        FreeShader(record);
    shaders.Clear();
    // The programs are gone, so the libraries count as unread: a renderer
    // that closes and reopens video loads them again.
    shaderLibraries.Clear();
}
