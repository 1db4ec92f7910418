#include "core/shader/zShaderMap.h"

#include "core/shader/zShaderBlock.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <new>
#include <unordered_set>
#include <vector>

namespace {

const char* const ChannelNames[zShaderMap::StoredChannelCount] = {
    "Normal", "Diffuse", "Modulate", "Specular", "Glossiness", "Constant", "Opacity",
};
const char* const ChannelPaths[zShaderMap::StoredChannelCount] = {
    "Normal:Block",     "Diffuse:Block",  "Modulate:Block", "Specular:Block",
    "Glossiness:Block", "Constant:Block", "Opacity:Block",
};

std::vector<zShaderBlock*> CollectRoots(zShaderBlock* const* roots, int32_t count)
{
    std::vector<zShaderBlock*> blocks;
    for (int32_t i = 0; i < count; ++i) {
        if (roots[i] != nullptr)
            roots[i]->CollectBlocks(blocks);
    }
    return blocks;
}

} // namespace

zShaderMap::~zShaderMap()
{
    Clear();
}

const char* zShaderMap::GetChannelName(int32_t channel)
{
    return channel >= 0 && channel < StoredChannelCount ? ChannelNames[channel] : nullptr;
}

void zShaderMap::Clear()
{
    const std::vector<zShaderBlock*> blocks = CollectRoots(roots, ChannelCount);
    for (zShaderBlock*& root : roots)
        root = nullptr;
    for (zShaderBlock* block : blocks)
        delete block;
}

bool zShaderMap::FromMetaTag(Tavrin* core, const zMetaFile* document, const zMetaTag* tag, const char* owner)
{
    if (tag == nullptr || !tag->GetName().EqualsCString("ShaderMap")) {
        LogError("zShaderMap::FromMetaTag") << "Could not parse shader map. Root tag id is incorrect ("
                                            << (tag != nullptr ? tag->GetName().Get() : "") << ").\n";
        return false;
    }
    const std::vector<zShaderBlock*> previous = CollectRoots(roots, ChannelCount);

    const zMetaTag* mapTag = tag->GetTag("Map", document);
    zShaderBlockMap* map = mapTag != nullptr ? zShaderBlock::BlockMapFromMetaTag(core, document, mapTag) : nullptr;
    for (int32_t channel = 0; channel < StoredChannelCount; ++channel) {
        const zMetaTag* branch = tag->GetTag(ChannelPaths[channel], document);
        if (branch != nullptr)
            roots[channel] = zShaderBlock::BranchFromMetaTag(core, document, branch, map, owner);
    }
    // Entries no channel reaches, and blocks of replaced roots, belong to nobody.
    if (map != nullptr) {
        map->DeleteUnreached(roots, ChannelCount);
        delete map;
    }
    const std::vector<zShaderBlock*> kept = CollectRoots(roots, ChannelCount);
    const std::unordered_set<zShaderBlock*> keptSet(kept.begin(), kept.end());
    for (zShaderBlock* block : previous) {
        if (keptSet.count(block) == 0)
            delete block;
    }
    return true;
}

zMetaTag* zShaderMap::AsMetaTag(zLinkedListId*) const
{
    auto* tag = new (std::nothrow) zMetaTag("ShaderMap");
    if (tag == nullptr) {
        LogError("zShaderMap::AsMetaTag") << "Could not serialize shader map. Failed to create root tag.\n";
        return nullptr;
    }
    const std::vector<zShaderBlock*> blocks = CollectRoots(roots, StoredChannelCount);
    tag->AddChild(zShaderBlock::BlockMapAsMetaTag(nullptr, blocks));
    zShaderBlock::ChannelsAsMetaTag(tag, roots, ChannelNames, StoredChannelCount, blocks);
    return tag;
}
