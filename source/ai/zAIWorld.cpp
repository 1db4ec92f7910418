#include "ai/zAIWorld.h"

#include "ai/zAIPath.h"
#include "core/render/zRenderer.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <cstring>
#include <new>

zAIWorld::~zAIWorld()
{
    Clear();
}

void zAIWorld::Clear()
{
    paths.Clear(true);
}

void zAIWorld::Add(zAIPath* path)
{
    if (path != nullptr)
        paths.Add(path, true, true);
}

zAIPath* zAIWorld::GetPathAt(int32_t index) const
{
    return paths.GetAs<zAIPath>(index);
}

void zAIWorld::Draw(zRenderer* renderer) const
{
    if (renderer == nullptr)
        return;
    zLinkedListCursor cursor = {};
    while (const zAIPath* path = paths.NextAs<zAIPath>(cursor)) {
        const auto& nodes = path->GetNodes();
        for (size_t i = 0; i + 1 < nodes.size(); ++i) {
            renderer->DrawCross(nodes[i].position, 1.0f, nullptr);
            renderer->Line3D(nodes[i].position, nodes[i + 1].position, nullptr);
        }
    }
}

zAIPath* zAIWorld::GetPath(const char* name) const
{
    if (name != nullptr) {
        zLinkedListCursor cursor = {};
        while (zAIPath* path = paths.NextAs<zAIPath>(cursor)) {
            const char* own = path->GetName().Get();
            if (std::strcmp(own != nullptr ? own : "", name) == 0)
                return path;
        }
    }
    LogWarning("zAIWorld::GetPath") << "Could not find AI path '" << (name != nullptr ? name : "") << "'.\n";
    return nullptr;
}

bool zAIWorld::LoadPathFromScene(const char* fileName)
{
    zMetaFile document;
    if (fileName == nullptr || !zMetaParser::Load(fileName, &document))
        return false;
    const zMetaTag* list = document.GetTag("Scene:Paths;");
    if (list == nullptr)
        list = document.GetTag("Scene:Motions;");
    if (list == nullptr) {
        LogError("zAIWorld::LoadPathFromScene") << "No AI path in '" << fileName << "'.\n";
        return false;
    }
    static const zString motionName("Motion");
    zLinkedListCursor cursor = {};
    while (const zMetaTag* child = list->NextChild(cursor, &document)) {
        if (!(child->GetName() == motionName))
            continue;
        zAIPath* path = new (std::nothrow) zAIPath("Unnamed");
        if (path == nullptr) {
            LogWarning("zAIWorld::LoadPathFromScene") << "Failed to allocate a new AI path.\n";
            continue;
        }
        path->motion.FromMetaTag(&document, child);
        path->BuildPath();
        Add(path);
    }
    return true;
}

bool zAIWorld::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr)
        return true;
    static const zString motionName("Motion");
    zLinkedListCursor cursor = {};
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        if (!(child->GetName() == motionName)) {
            LogWarning("zAIWorld::FromMetaTag") << "Unexpected tag '" << child->GetName() << "' in <Paths>.\n";
            continue;
        }
        zAIPath* path = new (std::nothrow) zAIPath("Unnamed");
        if (path == nullptr)
            continue;
        path->motion.FromMetaTag(document, child);
        Add(path);
        path->BuildPath();
    }
    return true;
}

zMetaTag* zAIWorld::AsMetaTag() const
{
    zMetaTag* root = new (std::nothrow) zMetaTag("Paths");
    if (root == nullptr)
        return nullptr;
    zLinkedListCursor cursor = {};
    while (const zAIPath* path = paths.NextAs<zAIPath>(cursor))
        root->AddChild(path->motion.AsMetaTag());
    return root;
}
