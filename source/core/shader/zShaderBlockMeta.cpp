// Reading and writing block graphs as shader-map ZML: the "Map" of block
// entries and the "Block" branches that connect them by index.

#include "core/shader/zShaderBlock.h"

#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <new>
#include <unordered_map>
#include <unordered_set>

namespace {

using IndexMap = std::unordered_map<const zShaderBlock*, int32_t>;

// Branch tags a written graph may take before blocks met again are written by
// index alone: a graph that shares blocks along many paths would otherwise
// grow exponentially when written out in full.
constexpr uint64_t MaxExpandedBranches = 1u << 16;

std::unordered_set<const zShaderBlock*> Reachable(const zShaderBlock* const* roots, int32_t count)
{
    std::unordered_set<const zShaderBlock*> reached;
    std::vector<const zShaderBlock*> pending(roots, roots + count);
    while (!pending.empty()) {
        const zShaderBlock* block = pending.back();
        pending.pop_back();
        if (block == nullptr || !reached.insert(block).second)
            continue;
        for (uint32_t i = 0, n = block->GetInputCount(); i < n; ++i)
            pending.push_back(block->GetInput(i));
    }
    return reached;
}

// Branch tags of the block written in full, saturated at the limit.
uint64_t ExpandedSize(const zShaderBlock* block, std::unordered_map<const zShaderBlock*, uint64_t>& sizes)
{
    if (block == nullptr)
        return 1;
    auto found = sizes.find(block);
    if (found != sizes.end())
        return found->second;
    uint64_t size = 1;
    for (uint32_t i = 0, n = block->GetInputCount(); i < n && size <= MaxExpandedBranches; ++i)
        size += ExpandedSize(block->GetInput(i), sizes);
    if (size > MaxExpandedBranches)
        size = MaxExpandedBranches + 1;
    sizes[block] = size;
    return size;
}

// "Block" with the block's index and, unless written before in compact mode,
// the branches of its inputs.
zMetaTag* WriteBranch(const zShaderBlock* block, const IndexMap& indices,
                      std::unordered_set<const zShaderBlock*>* written)
{
    auto* branch = new (std::nothrow) zMetaTag("Block");
    if (branch == nullptr)
        return nullptr;
    auto found = indices.find(block);
    branch->CreateInteger("Index", found != indices.end() ? found->second : -1);
    const uint32_t count = block->GetInputCount();
    if (count == 0 || (written != nullptr && !written->insert(block).second))
        return branch;
    zMetaTag* inputs = branch->CreateChild("Input");
    if (inputs == nullptr)
        return branch;
    for (uint32_t i = 0; i < count; ++i) {
        const zShaderBlock* input = block->GetInput(i);
        if (input == nullptr)
            inputs->CreateChild("None");
        else
            inputs->AddChild(WriteBranch(input, indices, written));
    }
    return branch;
}

IndexMap Indices(const std::vector<zShaderBlock*>& blocks)
{
    IndexMap indices;
    for (size_t i = 0; i < blocks.size(); ++i)
        indices.emplace(blocks[i], int32_t(i));
    return indices;
}

// Reads "Block" branches against one block map. A branch that shortcuts lead
// back into a block on its own path is refused before it is followed: the
// cycle check of SetInput only runs once the branch below has been read. The
// path therefore holds each block once, which bounds the depth by the map's
// size. A tag read in full is not read again (the map keeps them across
// channels), so a branch shared through shortcuts costs its size once, not
// once per path.
class BranchReader {
public:
    BranchReader(const zMetaFile* document, const zShaderBlockMap* map, const char* owner)
        : document(document), map(map), owner(owner)
    {
    }

    // The tag's block with its inputs connected; refused is set when the
    // branch leads back to a block on the path (via: the shortcut that led to
    // the tag, named in the message).
    zShaderBlock* Read(const zMetaTag* tag, const zMetaTag* via, bool& refused)
    {
        const zMetaTag* indexTag = tag->GetTag("Index", document);
        if (indexTag == nullptr) {
            LogError("zShaderBlock::BranchFromMetaTag") << "No block index found.\n";
            return nullptr;
        }
        if (indexTag->GetType() != zMetaTag::TypeInteger)
            return nullptr;
        zShaderBlock* block = map->Get(indexTag->GetInteger());
        if (block == nullptr || block->GetInputCount() == 0)
            return block;
        const zMetaTag* inputs = tag->GetTag("Input", document);
        if (inputs == nullptr || map->readBranches.count(tag) != 0)
            return block;
        if (!onPath.insert(block).second) {
            LogRefusal(via, indexTag->GetInteger());
            refused = true;
            return nullptr;
        }
        uint32_t input = 0;
        for (const zMetaTag* child = inputs->GetFirstChild(); child != nullptr;
             child = child->GetNextSibling(), ++input) {
            if (child->GetName().EqualsCString("None"))
                continue;
            const zMetaTag* branch = zMetaTag::ResolveShortcut(const_cast<zMetaTag*>(child), document);
            if (branch == nullptr) {
                block->SetInput(input, nullptr);
                continue;
            }
            bool cycle = false;
            zShaderBlock* source = Read(branch, child->GetType() == zMetaTag::TypeShortcut ? child : nullptr, cycle);
            if (!cycle)
                block->SetInput(input, source);
        }
        onPath.erase(block);
        map->readBranches.insert(tag);
        return block;
    }

private:
    void LogRefusal(const zMetaTag* via, int32_t index) const
    {
        zLogStream& log = LogError("zShaderBlock::BranchFromMetaTag");
        if (owner != nullptr)
            log << "Material '" << owner << "': shader branch '";
        else
            log << "Shader branch '";
        log << (via != nullptr ? via->GetShortcut() : "Block") << "' (block " << index
            << ") leads back to a block on its own path, refused.\n";
    }

    const zMetaFile* document;
    const zShaderBlockMap* map;
    const char* owner;
    std::unordered_set<const zShaderBlock*> onPath;
};

} // namespace

void zShaderBlockMap::DeleteUnreached(const zShaderBlock* const* roots, int32_t rootCount)
{
    const std::unordered_set<const zShaderBlock*> reached = Reachable(roots, rootCount);
    for (int32_t i = 0; i < count; ++i) {
        if (slots[i] != nullptr && reached.count(slots[i]) == 0) {
            delete slots[i];
            slots[i] = nullptr;
        }
    }
}

zShaderBlockMap* zShaderBlock::BlockMapFromMetaTag(Tavrin* core, const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr || !tag->GetName().EqualsCString("Map")) {
        LogError("zShaderBlock::BlockMapFromMetaTag")
            << "Could not parse map. Root tag id is incorrect (" << (tag != nullptr ? tag->GetName().Get() : "")
            << ").\n";
        return nullptr;
    }
    const int32_t childCount = tag->GetChildCount();
    if (childCount > MaxMapEntries) {
        LogError("zShaderBlock::BlockMapFromMetaTag")
            << "Could not parse map. Too many entries (" << childCount << ", at most " << MaxMapEntries << ").\n";
        return nullptr;
    }
    auto* map = new (std::nothrow) zShaderBlockMap;
    zShaderBlock** slots = new (std::nothrow) zShaderBlock*[size_t(childCount)]();
    if (map == nullptr || slots == nullptr) {
        delete map;
        delete[] slots;
        LogError("zShaderBlock::BlockMapFromMetaTag") << "Failed to allocate shader block map.\n";
        return nullptr;
    }
    map->slots = slots;
    map->count = childCount;

    int32_t slot = 0;
    for (const zMetaTag* child = tag->GetFirstChild(); child != nullptr; child = child->GetNextSibling()) {
        if (!child->GetName().EqualsCString("Entry")) {
            LogWarning("zShaderBlock::BlockMapFromMetaTag")
                << "Unexpected tag '" << child->GetName() << "' in shader map.\n";
            continue;
        }
        const int32_t index = slot++;
        const zMetaTag* entry = zMetaTag::ResolveShortcut(const_cast<zMetaTag*>(child), document);
        const zMetaTag* typeTag = entry != nullptr ? entry->GetTag("Type", document) : nullptr;
        if (typeTag == nullptr)
            continue;
        const char* typeName = typeTag->GetString();
        const int32_t type = FindShaderBlockType(typeName);
        zShaderBlock* block = CreateShaderBlock(type);
        if (block == nullptr) {
            if (type == ShaderBlockNone)
                LogError("zShaderBlock::BlockMapFromMetaTag")
                    << "Invalid block type '" << (typeName != nullptr ? typeName : "") << "'.\n";
            else
                LogError("zShaderBlock::BlockMapFromMetaTag") << "Could not allocate a '" << typeName << "' block.\n";
            continue;
        }
        // Types without parameters may still carry optional ones.
        const zMetaTag* param = entry->GetTag("Param", document);
        if (param == nullptr) {
            if (block->HasParam())
                LogError("zShaderBlock::BlockMapFromMetaTag") << "Parameter tag expected, none found.\n";
        } else if (!block->ParamFromMetaTag(core, document, param)) {
            delete block;
            continue;
        }
        map->slots[index] = block;
    }
    return map;
}

zShaderBlock* zShaderBlock::BranchFromMetaTag(Tavrin* core, const zMetaFile* document, const zMetaTag* tag,
                                              const zShaderBlockMap* map, const char* owner)
{
    if (tag == nullptr)
        return nullptr;
    if (map == nullptr) {
        const zMetaTag* mapTag = tag->GetTag("Map", document);
        if (mapTag == nullptr) {
            LogError("zShaderBlock::BranchFromMetaTag") << "No map to build shader branch.\n";
            return nullptr;
        }
        zShaderBlockMap* own = BlockMapFromMetaTag(core, document, mapTag);
        if (own == nullptr)
            return nullptr;
        zShaderBlock* block = BranchFromMetaTag(core, document, tag, own, owner);
        // Blocks the branch does not reach belong to nobody.
        own->DeleteUnreached(&block, 1);
        delete own;
        return block;
    }
    BranchReader reader(document, map, owner);
    bool refused = false;
    return reader.Read(tag, nullptr, refused);
}

zMetaTag* zShaderBlock::BlockMapAsMetaTag(const zMetaFile*, const std::vector<zShaderBlock*>& blocks)
{
    auto* map = new (std::nothrow) zMetaTag("Map");
    if (map == nullptr)
        return nullptr;
    for (const zShaderBlock* block : blocks) {
        zMetaTag* entry = map->CreateChild("Entry");
        if (entry == nullptr)
            continue;
        entry->CreateString("Type", GetShaderBlockTypeName(block->GetType()));
        entry->AddChild(block->ParamAsMetaTag());
    }
    return map;
}

zMetaTag* zShaderBlock::BranchAsMetaTag(const zMetaFile*, const std::vector<zShaderBlock*>& blocks) const
{
    return WriteBranch(this, Indices(blocks), nullptr);
}

void zShaderBlock::CollectBlocks(std::vector<zShaderBlock*>& blocks)
{
    // Pre-order without recursion. A block already listed has had its inputs
    // listed after it, so the walk does not go below it again.
    std::unordered_set<const zShaderBlock*> listed(blocks.begin(), blocks.end());
    std::vector<zShaderBlock*> pending{this};
    while (!pending.empty()) {
        zShaderBlock* block = pending.back();
        pending.pop_back();
        if (!listed.insert(block).second)
            continue;
        blocks.push_back(block);
        for (uint32_t i = block->GetInputCount(); i-- > 0;) {
            if (zShaderBlock* input = block->GetInput(i))
                pending.push_back(input);
        }
    }
}

void zShaderBlock::ChannelsAsMetaTag(zMetaTag* parent, zShaderBlock* const* roots, const char* const* names,
                                     int32_t count, const std::vector<zShaderBlock*>& blocks)
{
    const IndexMap indices = Indices(blocks);
    std::unordered_map<const zShaderBlock*, uint64_t> sizes;
    uint64_t total = 0;
    for (int32_t i = 0; i < count; ++i)
        total += roots[i] != nullptr ? ExpandedSize(roots[i], sizes) : 0;
    std::unordered_set<const zShaderBlock*> written;
    std::unordered_set<const zShaderBlock*>* compact = total > MaxExpandedBranches ? &written : nullptr;
    for (int32_t i = 0; i < count; ++i) {
        if (roots[i] == nullptr)
            continue;
        zMetaTag* channel = parent->CreateChild(names[i]);
        if (channel != nullptr)
            channel->AddChild(WriteBranch(roots[i], indices, compact));
    }
}
