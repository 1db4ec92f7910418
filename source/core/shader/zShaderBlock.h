#pragma once

#include "framework/tools/zString.h"

#include <cstdint>
#include <unordered_set>
#include <vector>

class Tavrin;
class zLinkedListId;
class zMetaFile;
class zMetaTag;
class zShaderBlock;

// Value types of block outputs; an input accepts a set of them.
namespace zShaderValue {
constexpr int32_t None = 1;
constexpr int32_t Float = 4;
constexpr int32_t Vector2 = 8;
constexpr int32_t Vector3 = 16;
constexpr int32_t Vector4 = 32;
constexpr int32_t Matrix3 = 64;
constexpr int32_t Matrix4 = 128;
constexpr int32_t Texture = 256;
// Accepted sets.
constexpr int32_t Vector3Or4 = Vector3 | Vector4;
constexpr int32_t AnyVector = Vector2 | Vector3 | Vector4;
constexpr int32_t FloatOrVector = Float | AnyVector;
constexpr int32_t FloatToMatrix = FloatOrVector | Matrix3 | Matrix4;
} // namespace zShaderValue

// Block type ids, as stored in every block.
enum zShaderBlockType : int32_t {
    ShaderBlockNone = 0,
    ShaderBlockVertexStream = 1,
    ShaderBlockNormalStream = 2,
    ShaderBlockUVStream = 3,
    ShaderBlockSkinning = 4,
    ShaderBlockVertexColorStream = 5,
    ShaderBlockTangentFrame = 6,
    ShaderBlockTexture = 7,
    ShaderBlockSampler2D = 8,
    ShaderBlockConstant = 9,
    ShaderBlockColor = 10,
    ShaderBlockMaterialParameter = 11,
    ShaderBlockScreenUV = 12,
    ShaderBlockViewVector = 13,
    ShaderBlockMix = 14,
    ShaderBlockAdd = 15,
    ShaderBlockMultiply = 16,
    ShaderBlockSubtract = 17,
    ShaderBlockDivide = 18,
    ShaderBlockDot = 19,
    ShaderBlockCross = 20,
    ShaderBlockClamp = 21,
    ShaderBlockNormalize = 22,
    ShaderBlockSwizzle = 23,
    ShaderBlockBuild = 24,
    ShaderBlockSinus = 25,
    ShaderBlockCosinus = 26,
    ShaderBlockPow = 27,
    ShaderBlockUnpackColor = 28,
    ShaderBlockPackVector = 29,
    ShaderBlockClock = 30,
    ShaderBlockTypeCount = 31,
};

// Description of an input (types: the accepted set) or of the output (types: 1).
struct zShaderBlockInfo {
    const char* name;
    const char* description;
    int32_t types;
};

// The ZML "Type" text of a block type; "Invalid" outside 0-30.
const char* GetShaderBlockTypeName(int32_t type);
// The type whose name is the text, or 0 when none is.
int32_t FindShaderBlockType(const char* name);
// A new block of the type with its defaults, or null for 0 and unknown types.
zShaderBlock* CreateShaderBlock(int32_t type);

// The slots of a block read from ZML, by "Entry" position. The array belongs
// to its reader; the blocks go to whichever graph takes them.
class zShaderBlockMap {
public:
    zShaderBlockMap() = default;
    ~zShaderBlockMap() { delete[] slots; }
    zShaderBlockMap(const zShaderBlockMap&) = delete;
    zShaderBlockMap& operator=(const zShaderBlockMap&) = delete;

    // Null for an index outside the map.
    zShaderBlock* Get(int32_t index) const { return index >= 0 && index < count ? slots[index] : nullptr; }
    // Deletes every block that no root reaches and empties its slot.
    void DeleteUnreached(const zShaderBlock* const* roots, int32_t rootCount);

    int32_t count = 0;
    zShaderBlock** slots = nullptr;
    // Branch tags read in full against this map, which later branches reach
    // through shortcuts without reading them again.
    mutable std::unordered_set<const zMetaTag*> readBranches;
};

// One node of a shader map: a source of a value or an operation on the values
// of its inputs. Inputs are not owned; the map owns every block it reaches.
class zShaderBlock {
public:
    // Maps with more entries than this are refused, which also bounds how deep
    // a graph read from a file can be.
    static constexpr int32_t MaxMapEntries = 4096;

    explicit zShaderBlock(int32_t blockType) : type(blockType) {}
    zShaderBlock(const zShaderBlock&) = delete;
    zShaderBlock& operator=(const zShaderBlock&) = delete;

    // The block interface, in its fixed slot order.
    virtual uint32_t GetInputCount() const { return 0; }
    // Null when i is not below the count.
    virtual zShaderBlock* GetInput(uint32_t i) const;
    // A null block disconnects the input. Refused (false) for an index beyond
    // the inputs, a block whose output type the input does not accept, and a
    // block that depends on this one (the graph stays acyclic).
    virtual bool SetInput(uint32_t i, zShaderBlock* block);
    virtual const zShaderBlockInfo* GetInputInfo(uint32_t i) const;
    virtual const zShaderBlockInfo* GetOutputInfo() const;
    virtual int32_t GetOutputType() const;
    virtual zString GetDisplayName() const;
    // Prefix of the names the renderer gives the block's value.
    virtual zString GetId() const;
    virtual ~zShaderBlock() = default;

    // Parameters in ZML ("Param" children). HasParam: the type needs a "Param"
    // tag (others may take optional ones). ParamFromMetaTag: false on a value
    // the block cannot use (logged).
    virtual bool HasParam() const { return false; }
    virtual bool ParamFromMetaTag(Tavrin* core, const zMetaFile* document, const zMetaTag* param);
    // A new "Param" tag, or null for types without one.
    virtual zMetaTag* ParamAsMetaTag() const { return nullptr; }

    int32_t GetType() const { return type; }
    // The same block, or two interchangeable sources of the same type.
    bool IsEquivalent(const zShaderBlock* other) const;
    // True when target is this block or one it depends on.
    bool DependsOn(const zShaderBlock* target) const;

    // Reading and writing graphs (shader-map ZML).
    static zShaderBlockMap* BlockMapFromMetaTag(Tavrin* core, const zMetaFile* document, const zMetaTag* tag);
    // owner: the material named in error lines, or null. A branch that leads
    // back to a block on its own path is refused (logged) before it is read.
    static zShaderBlock* BranchFromMetaTag(Tavrin* core, const zMetaFile* document, const zMetaTag* tag,
                                           const zShaderBlockMap* map, const char* owner = nullptr);
    static zMetaTag* BlockMapAsMetaTag(const zMetaFile* document, const std::vector<zShaderBlock*>& blocks);
    zMetaTag* BranchAsMetaTag(const zMetaFile* document, const std::vector<zShaderBlock*>& blocks) const;
    // For each non-null root, a child of the parent named after its channel
    // holding the root's branch. Blocks met again are written by index alone
    // once writing every path in full would take too many tags.
    static void ChannelsAsMetaTag(zMetaTag* parent, zShaderBlock* const* roots, const char* const* names,
                                  int32_t count, const std::vector<zShaderBlock*>& blocks);
    // Appends this block unless listed, then its connected inputs in input
    // order (pre-order, first occurrence wins).
    void CollectBlocks(std::vector<zShaderBlock*>& blocks);

protected:
    // The output type of input i (1 when unconnected). Within one outermost
    // type query each block's type is computed once, so that graphs sharing
    // blocks do not cost a walk per path.
    int32_t GetInputType(uint32_t i) const;
    // Whether input i may take the block (null always may); logs a cycle.
    bool AcceptsInput(uint32_t i, const zShaderBlock* block) const;

    int32_t type;

private:
    int32_t QueryOutputType() const;

    mutable int32_t cachedType = 0;
    mutable uint64_t cachedQuery = 0;
};

// A block with N inputs described by a static table.
template <uint32_t N>
class zShaderOperatorBlock : public zShaderBlock {
public:
    uint32_t GetInputCount() const override { return N; }
    zShaderBlock* GetInput(uint32_t i) const override { return i < N ? inputs[i] : nullptr; }
    bool SetInput(uint32_t i, zShaderBlock* block) override
    {
        if (i >= N || !AcceptsInput(i, block))
            return false;
        inputs[i] = block;
        return true;
    }
    const zShaderBlockInfo* GetInputInfo(uint32_t i) const override { return i < N ? &inputInfo[i] : nullptr; }

protected:
    zShaderOperatorBlock(int32_t blockType, const zShaderBlockInfo* info) : zShaderBlock(blockType), inputInfo(info) {}

    bool Connected(uint32_t i) const { return inputs[i] != nullptr; }

    zShaderBlock* inputs[N] = {};

private:
    const zShaderBlockInfo* inputInfo;
};
