#include "core/geometry/zGeometry.h"

#include "core/material/zMaterial.h"
#include "core/zad/Tavrin.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zClock.h"
#include "framework/system/zLogStream.h"
#include "framework/tools/zAsciiEncoder.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

// Binary blocks hold fixed-width little-endian fields:
//   Vertex   per vertex  float32 x, y, z                      12 bytes
//   Polygon  per polygon int32 n, n int32 indices, int32 material
//   PNormal  per polygon int8 x, y, z (component x 127)          3 bytes
//   VNormal  per binding int8 x, y, z                            3 bytes
//   RGB      per binding float32 r, g, b                        12 bytes
//   UV       per binding float32 u, v (one block per set)        8 bytes
// A block is accepted only when its size is exactly what the counts read
// before it require.

namespace {

constexpr uint64_t VertexRecord = 12;
constexpr uint64_t NormalRecord = 3;
constexpr uint64_t ColourRecord = 12;
constexpr uint64_t UVRecord = 8;

// Proxies load while the geometry that names them loads: a chain of files
// naming the next one would otherwise recurse as deep as it is long.
constexpr int32_t MaxProxyNesting = 64;
thread_local int32_t proxyNesting = 0;

uint32_t FromLittleEndian(uint32_t value)
{
    if constexpr (std::endian::native == std::endian::big)
        return __builtin_bswap32(value);
    return value;
}

// Reads fields from a decoded block; a read past its end fails from then on
// and gives zeros.
class BlockReader {
public:
    BlockReader(const uint8_t* data, uint64_t size) : cursor(data), end(data + size) {}

    uint32_t Word()
    {
        uint32_t value = 0;
        if (!failed && end - cursor >= 4) {
            std::memcpy(&value, cursor, 4);
            cursor += 4;
        } else {
            failed = true;
        }
        return FromLittleEndian(value);
    }
    int32_t Int32() { return int32_t(Word()); }
    // count 32-bit fields at once, into out.
    void Words(void* out, uint64_t count)
    {
        if (failed || uint64_t(end - cursor) / 4 < count) {
            failed = true;
            return;
        }
        std::memcpy(out, cursor, size_t(count) * 4);
        cursor += count * 4;
        if constexpr (std::endian::native == std::endian::big) {
            auto* words = static_cast<uint32_t*>(out);
            for (uint64_t i = 0; i < count; ++i)
                words[i] = FromLittleEndian(words[i]);
        }
    }
    float Float32() { return std::bit_cast<float>(Word()); }
    int8_t Int8()
    {
        if (failed || cursor == end) {
            failed = true;
            return 0;
        }
        return int8_t(*cursor++);
    }
    bool Failed() const { return failed; }
    bool AtEnd() const { return cursor == end; }

private:
    const uint8_t* cursor;
    const uint8_t* end;
    bool failed = false;
};

// Writes fields into a buffer sized beforehand.
class BlockWriter {
public:
    explicit BlockWriter(uint8_t* data) : cursor(data) {}

    void Word(uint32_t value)
    {
        value = FromLittleEndian(value);
        std::memcpy(cursor, &value, 4);
        cursor += 4;
    }
    void Int32(int32_t value) { Word(uint32_t(value)); }
    void Float32(float value) { Word(std::bit_cast<uint32_t>(value)); }
    void Int8(int8_t value) { *cursor++ = uint8_t(value); }

private:
    uint8_t* cursor;
};

// A decoded block of exactly the expected size, or null after an error naming
// the block (what) and the geometry.
std::unique_ptr<uint8_t[]> DecodeBlock(const zMetaTag* data, uint64_t expected, const char* method, const char* block,
                                       const char* what, const zString& name)
{
    if (data->GetType() != zMetaTag::TypeBinary) {
        LogError(method) << "Expected a binary <Data> tag in <" << block << "> of geometry '" << name << "'.\n";
        return nullptr;
    }
    if (expected == 0 || uint64_t(data->GetRawSize()) != expected) {
        LogError(method) << "Wrong size of the <" << block << "> data block of geometry '" << name << "': "
                         << data->GetRawSize() << " bytes for "
                         << zString::Format("%llu", static_cast<unsigned long long>(expected)) << " expected.\n";
        return nullptr;
    }
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[expected]);
    if (buffer == nullptr) {
        LogError(method) << "Could not allocate buffer to decode " << what << " while loading '" << name << "'.\n";
        return nullptr;
    }
    if (!data->GetBinaryData(buffer.get(), int32_t(expected))) {
        LogError(method) << "Could not decode the <" << block << "> data block of geometry '" << name << "'.\n";
        return nullptr;
    }
    return buffer;
}

zVector ReadNormal(BlockReader& reader)
{
    const float x = reader.Int8();
    const float y = reader.Int8();
    const float z = reader.Int8();
    return zVector(x / 127.0f, y / 127.0f, z / 127.0f).Normalized();
}

int8_t EncodeNormalComponent(float value)
{
    const float scaled = value * 127.0f;
    if (!(scaled > -127.0f))
        return scaled <= -127.0f ? -127 : 0;
    return scaled >= 127.0f ? 127 : int8_t(scaled);
}

void WriteNormal(BlockWriter& writer, const zVector& normal)
{
    writer.Int8(EncodeNormalComponent(normal.x));
    writer.Int8(EncodeNormalComponent(normal.y));
    writer.Int8(EncodeNormalComponent(normal.z));
}

// Parses "b0,b1,b2,b3:w0,w1,w2,w3": eight decimal integers, each followed by
// optional blanks and one separator character (the last may end the text).
bool ParseWeightText(const char* text, int32_t values[8])
{
    if (text == nullptr)
        return false;
    const char* p = text;
    for (int i = 0; i < 8; ++i) {
        while (*p == ' ' || *p == '\t')
            ++p;
        const bool negative = *p == '-';
        if (negative)
            ++p;
        if (*p < '0' || *p > '9')
            return false;
        int64_t value = 0;
        while (*p >= '0' && *p <= '9') {
            value = value * 10 + (*p++ - '0');
            if (value > 100000)
                return false;
        }
        values[i] = int32_t(negative ? -value : value);
        while (*p == ' ' || *p == '\t')
            ++p;
        if (*p == '\0')
            return i == 7;
        ++p;
    }
    return true;
}

int32_t IntegerOf(const zMetaTag* tag)
{
    return tag != nullptr && tag->GetType() == zMetaTag::TypeInteger ? tag->GetInteger() : zMetaTag::NoInteger;
}


// Calls onData(data, count, bindings) for each "Data" child with the "Count"
// and "BindingCount" values read before it; stops at the first failure.
template <typename OnData>
bool ForEachDataBlock(const zMetaFile* document, const zMetaTag* tag, OnData&& onData)
{
    int32_t count = 0;
    int32_t bindings = 0;
    zLinkedListCursor cursor;
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        if (child->GetName() == "Count")
            count = IntegerOf(child);
        else if (child->GetName() == "BindingCount")
            bindings = IntegerOf(child);
        else if (child->GetName() == "Data" && !onData(child, count, bindings))
            return false;
    }
    return true;
}

} // namespace

bool zGeometry::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    zTimer timer;
    timer.Start();
    *GlobalLogStream << "Loading geometry '" << (document != nullptr ? document->GetFileName().Get() : nullptr)
                     << "'.\n";
    if (tag == nullptr || tag->GetName().IsEmpty() || tag->GetName() != "Geometry") {
        LogError("zGeometry::FromMetaTag") << "Could not parse material. Root tag id is incorrect ("
                                           << (tag != nullptr ? tag->GetName().Get() : nullptr) << ")...\n";
        return false;
    }

    // The new content is built aside and replaces the old one only once the
    // whole tag was accepted.
    zGeometry loaded(core, id.Get());
    if (!loaded.ReadChildren(document, tag))
        return false;
    if (loaded.vertexCount == 0) {
        LogError("zGeometry::FromMetaTag") << "No vertice in geometry '" << id << "'.\n";
        return false;
    }
    if (loaded.polygonCount == 0) {
        LogError("zGeometry::FromMetaTag") << "No polygon in geometry '" << id << "'.\n";
        return false;
    }
    if (loaded.materialCount == 0) {
        LogError("zGeometry::FromMetaTag") << "Expected at least one material in geometry '" << id << "'.\n";
        return false;
    }
    if (!loaded.EnforceValid())
        return false;

    timer.Stop();
    *GlobalLogStream << "Done in " << timer.GetLastMilliseconds() << "ms. " << unsigned(loaded.vertexCount)
                     << " vertice, " << unsigned(loaded.polygonCount) << " polygon(s), "
                     << unsigned(loaded.materialCount) << " material(s).\n";
    std::swap(static_cast<zGeometryData&>(*this), static_cast<zGeometryData&>(loaded));
    // The old content, renderer copy included, leaves with the temporary.
    return true;
}

bool zGeometry::ReadChildren(const zMetaFile* document, const zMetaTag* tag)
{
    using Reader = bool (zGeometry::*)(const zMetaFile*, const zMetaTag*);
    // In reading order; a block with a text form is read from it only when
    // the binary one is absent.
    struct Child {
        const char* path;
        Reader read;
        const char* textPath;
        Reader readText;
    };
    static const Child children[] = {
        {"Materials;", &zGeometry::ParseMaterials, nullptr, nullptr},
        {"RenderWord;", &zGeometry::ParseRenderWord, nullptr, nullptr},
        {"Vertex;", &zGeometry::ParseVertex, "AVertex;", &zGeometry::ParseAsciiVertex},
        {"Polygon;", &zGeometry::ParsePolygon, "APolygon;", &zGeometry::ParseAsciiPolygon},
        {"PNormal;", &zGeometry::ParsePolygonNormal, nullptr, nullptr},
        {"VNormal;", &zGeometry::ParseVertexNormal, nullptr, nullptr},
        {"Skin;", &zGeometry::ParseSkin, nullptr, nullptr},
        {"RGB;", &zGeometry::ParseRGB, nullptr, nullptr},
        {"UV;", &zGeometry::ParseUV, "AUV;", &zGeometry::ParseAsciiUV},
    };
    for (const Child& c : children) {
        Reader read = c.read;
        const zMetaTag* found = tag->GetTag(c.path, document);
        if (found == nullptr && c.textPath != nullptr) {
            read = c.readText;
            found = tag->GetTag(c.textPath, document);
        }
        if (found != nullptr && !(this->*read)(document, found))
            return false;
    }
    return ParseLodAndZFar(document, tag);
}

bool zGeometry::ParseMaterials(const zMetaFile* document, const zMetaTag* tag)
{
    uint32_t count = 0;
    zLinkedListCursor cursor;
    while (const zMetaTag* child = tag->NextChild(cursor, document))
        count += child->GetName() == "Material" ? 1 : 0;
    if (!AllocateMaterials(count, true))
        return false;
    uint32_t index = 0;
    cursor = zLinkedListCursor();
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        if (child->GetName() == "Material" && index < materialCount)
            materials[index++]->FromMetaTag(document, child);
    }
    return true;
}

bool zGeometry::ParseRenderWord(const zMetaFile* document, const zMetaTag* tag)
{
    renderWord = 0;
    zLinkedListCursor cursor;
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        const zString& name = child->GetName();
        if (name == "Lit")
            renderWord |= RenderLit;
        else if (name == "RGB")
            renderWord |= RenderRGB;
        else if (name == "UseNormal")
            renderWord |= RenderUseNormal;
        else
            LogWarning("zGeometry::ParseRenderWord") << "Unknown tag '" << name << "' in geometry '" << id << "'.\n";
    }
    return true;
}

bool zGeometry::ParseVertex(const zMetaFile* document, const zMetaTag* tag)
{
    return ForEachDataBlock(document, tag, [&](const zMetaTag* child, int32_t count, int32_t) {
        if (count <= 0) {
            LogError("zGeometry::ParseVertex") << "Incomplete vertex chunk loading '" << id
                                               << "', expected vertex count integer tag.\n";
            return false;
        }
        auto block = DecodeBlock(child, VertexRecord * uint64_t(count), "zGeometry::ParseVertex", "Vertex",
                                 "vertice", id);
        if (block == nullptr)
            return false;
        zVector* array = new (std::nothrow) zVector[uint32_t(count)];
        if (array == nullptr) {
            LogError("zGeometry::ParseVertex") << "Could not allocate buffer to decode vertice while loading '"
                                               << id << "'.\n";
            return false;
        }
        BlockReader reader(block.get(), VertexRecord * uint64_t(count));
        for (int32_t v = 0; v < count; ++v) {
            const float x = reader.Float32();
            const float y = reader.Float32();
            const float z = reader.Float32();
            array[v] = zVector(x, y, z);
        }
        delete[] vertices;
        vertices = array;
        vertexCount = uint32_t(count);
        return true;
    });
}

bool zGeometry::ParseAsciiVertex(const zMetaFile* document, const zMetaTag* tag)
{
    return ForEachDataBlock(document, tag, [&](const zMetaTag* child, int32_t count, int32_t) {
        if (count <= 0) {
            LogError("zGeometry::ParseAsciiVertex") << "Incomplete vertex chunk loading '" << id
                                                    << "', expected vertex count integer tag.\n";
            return false;
        }
        // The count comes from the file: it may not promise more vertice than
        // the tag holds.
        if (uint32_t(count) > uint32_t(child->GetChildCount())) {
            LogError("zGeometry::ParseAsciiVertex") << "Incomplete <AVertex> tag, " << child->GetChildCount()
                                                    << " vertice for a count of " << count << ".\n";
            return false;
        }
        zVector* array = new (std::nothrow) zVector[uint32_t(count)];
        if (array == nullptr) {
            LogError("zGeometry::ParseAsciiVertex") << "Could not allocate buffer to decode vertice while loading '"
                                                    << id << "'.\n";
            return false;
        }
        int32_t filled = 0;
        zLinkedListCursor vectors;
        while (const zMetaTag* vector = child->NextChild(vectors, document)) {
            if (filled == count) {
                LogError("zGeometry::ParseAsciiVertex") << "Corrupter <AVertex> tag, more vertice than expected.\n";
                break;
            }
            array[filled].FromMetaTag(vector);
            array[filled++].w = 1.0f;
        }
        if (filled < count) {
            delete[] array;
            LogError("zGeometry::ParseAsciiVertex") << "Incomplete <AVertex> tag, " << filled
                                                    << " vertice for a count of " << count << ".\n";
            return false;
        }
        delete[] vertices;
        vertices = array;
        vertexCount = uint32_t(count);
        return true;
    });
}

namespace {

// The polygon and corner index arrays a polygon block is read into; they
// replace the geometry's once the whole block was read.
struct PolygonArrays {
    bool Allocate(int32_t count, int32_t bindings, const char* method)
    {
        indices.reset(new (std::nothrow) int32_t[uint32_t(bindings)]);
        polygons.reset(new (std::nothrow) zPolygon[uint32_t(count)]);
        if (indices == nullptr || polygons == nullptr) {
            LogError(method) << "Could not allocate polygon/binding memory.\n";
            return false;
        }
        return true;
    }

    void MoveInto(zGeometry& g, int32_t count, int32_t bindings)
    {
        delete[] g.polygons;
        delete[] g.bindingIndices;
        delete[] g.polygonFirst;
        g.polygonFirst = nullptr;
        g.polygons = polygons.release();
        g.bindingIndices = indices.release();
        g.polygonCount = uint32_t(count);
        g.bindingCount = uint32_t(bindings);
    }

    std::unique_ptr<zPolygon[]> polygons;
    std::unique_ptr<int32_t[]> indices;
};

} // namespace

bool zGeometry::ParsePolygon(const zMetaFile* document, const zMetaTag* tag)
{
    return ForEachDataBlock(document, tag, [&](const zMetaTag* child, int32_t count, int32_t bindings) {
        if (count <= 0 || bindings <= 0) {
            LogError("zGeometry::ParsePolygon") << "Incomplete polygon chunk loading '" << id << "'.\n";
            return false;
        }
        const uint64_t size = 4 * uint64_t(bindings) + 8 * uint64_t(count);
        auto block = DecodeBlock(child, size, "zGeometry::ParsePolygon", "Polygon", "polygons", id);
        if (block == nullptr)
            return false;
        PolygonArrays read;
        if (!read.Allocate(count, bindings, "zGeometry::ParsePolygon"))
            return false;
        int32_t* const indexBlock = read.indices.get();
        BlockReader reader(block.get(), size);
        uint32_t used = 0;
        for (int32_t p = 0; p < count; ++p) {
            const int32_t corners = reader.Int32();
            // The corner count is stored in 16 bits and must fit the bindings
            // the block still holds.
            if (corners < 0 || corners > 65535 || uint32_t(corners) > uint32_t(bindings) - used) {
                LogError("zGeometry::ParsePolygon") << "Polygon " << p << " of '" << id << "' has " << corners
                                                    << " corner(s), more than its block holds.\n";
                return false;
            }
            zPolygon& polygon = read.polygons[p];
            polygon.vertexCount = uint16_t(corners);
            polygon.indices = indexBlock + used;
            reader.Words(indexBlock + used, uint32_t(corners));
            used += uint32_t(corners);
            polygon.material = uint16_t(reader.Int32());
        }
        if (reader.Failed() || !reader.AtEnd() || used != uint32_t(bindings)) {
            LogError("zGeometry::ParsePolygon") << "The polygon corners of '" << id << "' do not add up to its binding count "
                                                << bindings << ".\n";
            return false;
        }
        read.MoveInto(*this, count, bindings);
        return true;
    });
}

bool zGeometry::ParseAsciiPolygon(const zMetaFile* document, const zMetaTag* tag)
{
    return ForEachDataBlock(document, tag, [&](const zMetaTag* child, int32_t count, int32_t bindings) {
        if (count <= 0 || bindings <= 0) {
            LogError("zGeometry::ParseAsciiPolygon") << "Incomplete polygon chunk loading '" << id << "'.\n";
            return false;
        }
        // The counts come from the file: they may not promise more polygons or
        // corners than the tag holds.
        static const zString indexName("Index");
        uint32_t listed = 0;
        uint64_t indexTags = 0;
        zLinkedListCursor scan;
        while (const zMetaTag* entry = child->NextChild(scan, document)) {
            if (listed++ >= uint32_t(count))
                break;
            for (const zMetaTag* corner = entry->GetFirstChild(); corner != nullptr; corner = corner->GetNextSibling())
                indexTags += corner->GetName() == indexName ? 1 : 0;
        }
        if (listed < uint32_t(count) || indexTags < uint64_t(bindings)) {
            LogError("zGeometry::ParseAsciiPolygon") << "Incomplete <APolygon> tag, fewer polygons or index tags than "
                                                        "its counts in '"
                                                     << id << "'.\n";
            return false;
        }
        PolygonArrays read;
        if (!read.Allocate(count, bindings, "zGeometry::ParseAsciiPolygon"))
            return false;
        int32_t* const indexBlock = read.indices.get();
        uint32_t used = 0;
        int32_t p = 0;
        zLinkedListCursor entries;
        while (const zMetaTag* entry = child->NextChild(entries, document)) {
            if (p == count) {
                LogError("zGeometry::ParseAsciiPolygon") << "Corrupted <APolygon> tag, too many polygons.\n";
                break;
            }
            zPolygon& polygon = read.polygons[p++];
            polygon.indices = indexBlock + used;
            const zMetaTag* countTag = entry->GetTag("Count;", document);
            const zMetaTag* materialTag = entry->GetTag("Material;", document);
            if (countTag == nullptr || materialTag == nullptr) {
                LogError("zGeometry::ParseAsciiPolygon") << "Corrupt <Polygon> tag in <APolygon>.\n";
            } else {
                // Non-integers keep the old reading: -999 in 16 bits.
                polygon.vertexCount = uint16_t(IntegerOf(countTag));
                polygon.material = uint16_t(IntegerOf(materialTag));
            }
            const uint32_t start = used;
            for (const zMetaTag* corner = entry->GetFirstChild(); corner != nullptr; corner = corner->GetNextSibling()) {
                if (corner->GetName() != indexName)
                    continue;
                if (used == uint32_t(bindings)) {
                    LogError("zGeometry::ParseAsciiPolygon")
                        << "Corrupted <APolygon> tag, more index tags than its binding count " << bindings << ".\n";
                    return false;
                }
                indexBlock[used++] = IntegerOf(corner);
            }
            if (used - start != polygon.vertexCount) {
                LogError("zGeometry::ParseAsciiPolygon")
                    << "Corrupt <Polygon> tag in <APolygon>, " << unsigned(used - start) << " index tag(s) for "
                    << unsigned(polygon.vertexCount) << " corner(s).\n";
                return false;
            }
        }
        if (used != uint32_t(bindings)) {
            LogError("zGeometry::ParseAsciiPolygon") << "The polygon corners of '" << id
                                                     << "' do not add up to its binding count " << bindings << ".\n";
            return false;
        }
        read.MoveInto(*this, count, bindings);
        return true;
    });
}

namespace {

// What a normal block's reader says, for the polygon and the vertex normals.
struct NormalBlock {
    const char* method;
    const char* block;
    const char* what;
    const char* incomplete;
    const char* countIs;
    const char* countDiffers;
    const char* countUnit;
    // Null: the incomplete message.
    const char* allocationFailed;
};

// One normal per record for a count the geometry already fixed (another
// count is refused rather than changing it); target is replaced only when the
// whole block was read.
bool ReadNormals(const zMetaFile* document, const zMetaTag* tag, uint32_t expected, zVector*& target,
                 const NormalBlock& b, const zString& id)
{
    return ForEachDataBlock(document, tag, [&](const zMetaTag* child, int32_t count, int32_t) {
        if (count <= 0) {
            LogError(b.method) << b.incomplete << id << "'.\n";
            return false;
        }
        if (uint32_t(count) != expected) {
            LogError(b.method) << b.countIs << count << b.countDiffers << expected << b.countUnit << " of '" << id
                               << "'.\n";
            return false;
        }
        const uint64_t size = NormalRecord * uint64_t(count);
        auto block = DecodeBlock(child, size, b.method, b.block, b.what, id);
        if (block == nullptr)
            return false;
        zVector* array = new (std::nothrow) zVector[uint32_t(count)];
        if (array == nullptr) {
            if (b.allocationFailed != nullptr)
                LogError(b.method) << b.allocationFailed;
            else
                LogError(b.method) << b.incomplete << id << "'.\n";
            return false;
        }
        BlockReader reader(block.get(), size);
        for (int32_t i = 0; i < count; ++i)
            array[i] = ReadNormal(reader);
        delete[] target;
        target = array;
        return true;
    });
}

} // namespace

bool zGeometry::ParsePolygonNormal(const zMetaFile* document, const zMetaTag* tag)
{
    static const NormalBlock block = {"zGeometry::ParsePolygonNormal", "PNormal", "polygon normals",
                                      "Incomplete polygon normal chunk loading '", "Polygon normal count ",
                                      " differs from the ", " polygon(s)", nullptr};
    return ReadNormals(document, tag, polygonCount, polygonNormals, block, id);
}

bool zGeometry::ParseVertexNormal(const zMetaFile* document, const zMetaTag* tag)
{
    static const NormalBlock block = {"zGeometry::ParseVertexNormal", "VNormal", "vertex normals",
                                      "Incomplete vertex normal chunk loading '", "Vertex normal count ",
                                      " differs from the binding count ", "",
                                      "Could not allocate vertex normal memory.\n"};
    return ReadNormals(document, tag, bindingCount, vertexNormals, block, id);
}

bool zGeometry::ParseSkin(const zMetaFile* document, const zMetaTag* tag)
{
    const zMetaTag* bones = tag->GetTag("Bones;", document);
    const int32_t bonesListed = bones != nullptr ? bones->GetChildCount() : 0;
    if (bonesListed <= 0) {
        LogWarning("zGeometry::ParseSkin") << "Invalid bone count in skin (" << bonesListed << ").\n";
        boneCount = 0;
        return true;
    }
    zString* names = new (std::nothrow) zString[uint32_t(bonesListed)];
    if (names == nullptr) {
        LogError("zGeometry::ParseSkin") << "Failed to allocate bone id list.\n";
        return false;
    }
    int32_t named = 0;
    zLinkedListCursor cursor;
    while (const zMetaTag* bone = bones->NextChild(cursor, document)) {
        if (named < bonesListed)
            names[named++].Assign(bone->GetString());
    }
    delete[] boneIds;
    boneIds = names;
    boneCount = bonesListed;

    const zMetaTag* weights = tag->GetTag("Weights;", document);
    if (weights == nullptr || vertexCount == 0)
        return true;
    const uint32_t records = uint32_t(weights->GetChildCount());
    if (records != vertexCount) {
        LogWarning("zGeometry::ParseSkin") << "Incoherent weight count (" << records << " for "
                                           << unsigned(vertexCount)
                                           << " vertice (is the skin being declared before the vertice?)).\n";
    }
    // One record per vertex whatever the file holds: vertice without a record
    // keep zero weights, records beyond the vertice are ignored.
    std::unique_ptr<zSkinWeight[]> array(new (std::nothrow) zSkinWeight[vertexCount]);
    if (array == nullptr) {
        LogError("zGeometry::ParseSkin") << "Failed to allocate skin weights array.\n";
        return false;
    }
    uint32_t v = 0;
    cursor = zLinkedListCursor();
    while (const zMetaTag* record = weights->NextChild(cursor, document)) {
        if (v == vertexCount)
            break;
        int32_t values[8];
        if (!ParseWeightText(record->GetString(), values)) {
            LogError("zGeometry::ParseSkin") << "Malformed skin weight '" << record->GetString() << "' for vertex "
                                             << v << " of '" << id << "'.\n";
            return false;
        }
        zSkinWeight& weight = array[v++];
        float sum = 0.0f;
        for (int i = 0; i < 4; ++i) {
            if (values[i] < 0 || values[i] >= boneCount || values[i] > 65535 || values[4 + i] < 0
                || values[4 + i] > 255) {
                LogError("zGeometry::ParseSkin") << "Skin weight '" << record->GetString() << "' of '" << id
                                                 << "' names a bone or weight out of range (" << boneCount
                                                 << " bone(s), weights 0-255).\n";
                return false;
            }
            weight.bones[i] = uint16_t(values[i]);
            weight.weights[i] = float(values[4 + i]) * (1.0f / 255.0f);
            sum += weight.weights[i];
        }
        // Four zero weights stay zero rather than becoming 0/0.
        if (sum > 0.0f) {
            for (float& w : weight.weights)
                w *= 1.0f / sum;
        }
    }
    delete[] skinWeights;
    skinWeights = array.release();
    return true;
}

bool zGeometry::ParseRGB(const zMetaFile* document, const zMetaTag* tag)
{
    const zMetaTag* data = tag->GetTag("Data;", document);
    if (data == nullptr) {
        LogError("zGeometry::ParseRGB") << "Expected <Data> tag under <RGB> tag.\n";
        return false;
    }
    const uint64_t size = ColourRecord * bindingCount;
    auto block = DecodeBlock(data, size, "zGeometry::ParseRGB", "RGB", "RGB", id);
    if (block == nullptr)
        return false;
    zVector* array = new (std::nothrow) zVector[bindingCount];
    if (array == nullptr) {
        LogError("zGeometry::ParseRGB") << "Could not allocate RGB channel for geometry '" << id << "'.\n";
        return false;
    }
    BlockReader reader(block.get(), size);
    for (uint32_t b = 0; b < bindingCount; ++b) {
        const float r = reader.Float32();
        const float g = reader.Float32();
        const float bl = reader.Float32();
        array[b] = zVector(r, g, bl);
    }
    delete[] vertexColours;
    vertexColours = array;
    return true;
}

namespace {

// The number of UV sets a tag asks for, at most the sets this build holds.
uint32_t ReadUVSetCount(const zMetaTag* countTag, const zString& name)
{
    const uint32_t wanted = uint32_t(IntegerOf(countTag));
    if (wanted <= zGeometry::MaxUVSets)
        return wanted;
    LogWarning("zGeometry::ParseUV") << "'" << name << "' requires more UV channels than this build can handle.\n";
    LogWarning("zGeometry::ParseUV") << "   Please increase zUVMapCount and recompile Tavrin to fully import this "
                                        "object.\n";
    return zGeometry::MaxUVSets;
}

// Reads the "Count" of a UV tag and then one set per "Data" child through
// readSet (child, set index, the set to fill); the geometry's sets are
// replaced only once every set asked for was read.
template <class ReadSet>
bool ReadUVSets(zGeometry& g, const zMetaFile* document, const zMetaTag* tag, const char* method, ReadSet readSet)
{
    const zMetaTag* countTag = tag->GetTag("Count;", document);
    if (countTag == nullptr) {
        LogError(method) << "Could not locate Count tag in UV tag while loading '" << g.id << "'.\n";
        return false;
    }
    const uint32_t sets = ReadUVSetCount(countTag, g.id);
    std::unique_ptr<zUV[]> read[zGeometry::MaxUVSets];
    uint32_t filled = 0;
    zLinkedListCursor cursor;
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        if (filled == sets)
            break;
        if (child->GetName() != "Data")
            continue;
        if (!readSet(child, filled, read[filled]))
            return false;
        ++filled;
    }
    if (filled < sets) {
        LogError(method) << "Expected " << sets << " UV set(s) in '" << g.id << "', found " << filled << ".\n";
        return false;
    }
    for (uint32_t s = 0; s < zGeometry::MaxUVSets; ++s) {
        delete[] g.uvSets[s];
        g.uvSets[s] = read[s].release();
    }
    g.uvSetCount = sets;
    return true;
}

} // namespace

bool zGeometry::ParseUV(const zMetaFile* document, const zMetaTag* tag)
{
    const uint64_t size = UVRecord * bindingCount;
    return ReadUVSets(*this, document, tag, "zGeometry::ParseUV",
                      [&](const zMetaTag* child, uint32_t, std::unique_ptr<zUV[]>& set) {
                          auto block = DecodeBlock(child, size, "zGeometry::ParseUV", "UV", "UV", id);
                          if (block == nullptr)
                              return false;
                          set.reset(new (std::nothrow) zUV[bindingCount]);
                          if (set == nullptr) {
                              LogError("zGeometry::ParseUV") << "could not allocate UV channel for geometry '" << id
                                                             << "'.\n";
                              return false;
                          }
                          static_assert(sizeof(zUV) == 8, "a UV record is two 32-bit floats");
                          BlockReader reader(block.get(), size);
                          reader.Words(set.get(), 2 * uint64_t(bindingCount));
                          return true;
                      });
}

bool zGeometry::ParseAsciiUV(const zMetaFile* document, const zMetaTag* tag)
{
    return ReadUVSets(*this, document, tag, "zGeometry::ParseAsciiUV",
                      [&](const zMetaTag* child, uint32_t index, std::unique_ptr<zUV[]>& set) {
                          set.reset(new (std::nothrow) zUV[bindingCount > 0 ? bindingCount : 1]());
                          if (set == nullptr) {
                              LogError("zGeometry::ParseAsciiUV") << "could not allocate UV channel for geometry '"
                                                                  << id << "'.\n";
                              return false;
                          }
                          uint32_t b = 0;
                          zLinkedListCursor values;
                          while (const zMetaTag* value = child->NextChild(values, document)) {
                              if (b == bindingCount) {
                                  LogError("zGeometry::ParseAsciiUV") << "Too many <Value> tags in UV channel "
                                                                      << index << " of geometry '" << id << "'.\n";
                                  break;
                              }
                              const zMetaTag* u = value->GetTypedTag("U;", zMetaTag::TypeFloat, document);
                              const zMetaTag* v = value->GetTypedTag("V;", zMetaTag::TypeFloat, document);
                              set[b].u = u != nullptr ? u->GetFloat() : 0.0f;
                              set[b].v = v != nullptr ? v->GetFloat() : 0.0f;
                              ++b;
                          }
                          return true;
                      });
}

bool zGeometry::ParseLodAndZFar(const zMetaFile* document, const zMetaTag* tag)
{
    // Proxies come through the cache: a geometry is cached before it is read,
    // so proxies that name each other end at a cache hit.
    const auto proxy = [&](const char* path) -> zGeometry* {
        const zMetaTag* name = tag->GetTag(path, document);
        if (name == nullptr || name->GetString() == nullptr || core == nullptr)
            return nullptr;
        if (proxyNesting >= MaxProxyNesting) {
            LogError("zGeometry::ParseLodAndZFar") << "Proxy '" << name->GetString() << "' of geometry '" << id
                                                   << "' is nested more than " << MaxProxyNesting
                                                   << " proxies deep, not loaded.\n";
            return nullptr;
        }
        ++proxyNesting;
        zGeometry* loaded = core->LoadGeometry(name->GetString(), true, true);
        --proxyNesting;
        return loaded;
    };
    if (zGeometry* lod = proxy("LodProxy;"))
        lodProxy = lod;
    if (zGeometry* shadow = proxy("ShadowProxy;"))
        shadowProxy = shadow;

    zLinkedListCursor cursor;
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        const zString& name = child->GetName();
        if (name == "LodDistance")
            lodDistance = child->GetFloat();
        else if (name == "ZFar")
            zFar = child->GetFloat();
        else if (name == "LodNull")
            flags = IntegerOf(child) != 0 && child->GetType() == zMetaTag::TypeInteger ? flags | FlagLodNull
                                                                                        : flags & ~FlagLodNull;
        else if (name == "ShadowNull")
            flags = IntegerOf(child) != 0 && child->GetType() == zMetaTag::TypeInteger ? flags | FlagShadowNull
                                                                                        : flags & ~FlagShadowNull;
    }
    return true;
}

zMetaTag* zGeometry::AsMetaTag(zLinkedListId* list)
{
    if (vertexCount == 0 || polygonCount == 0 || materialCount == 0 || vertices == nullptr || polygons == nullptr) {
        LogError("zGeometry::AsMetaTag") << "Cannot serialize '" << id << "', geometry is empty.\n";
        return nullptr;
    }
    // The polygon block and every per-binding block are sized by the binding
    // count, so the corners must add up to it.
    uint64_t corners = 0;
    bool cornersListed = true;
    for (uint32_t p = 0; p < polygonCount; ++p) {
        corners += polygons[p].vertexCount;
        cornersListed = cornersListed && (polygons[p].vertexCount == 0 || polygons[p].indices != nullptr);
    }
    if (corners != bindingCount || !cornersListed) {
        LogError("zGeometry::AsMetaTag") << "Cannot serialize '" << id
                                         << "', its polygon corners do not add up to its binding count.\n";
        return nullptr;
    }
    zMetaTag* root = zMetaTag::NewRoot("Geometry", "zGeometry::AsMetaTag",
                                       {"Could not create root tag to serialize geometry '", id.Get(), "'.\n"});
    if (root == nullptr)
        return nullptr;

    // A child tag that cannot be allocated is left out with what it would hold.
    const auto child = [](zMetaTag* parent, const char* name) {
        zMetaTag* tag = parent != nullptr ? parent->CreateChild(name) : nullptr;
        if (tag == nullptr)
            LogError("zGeometry::AsMetaTag") << "Failed to allocate " << name << " tag.\n";
        return tag;
    };

    if (zMetaTag* word = child(root, "RenderWord")) {
        if ((renderWord & RenderLit) != 0)
            word->CreateChild("Lit");
        if ((renderWord & RenderRGB) != 0)
            word->CreateChild("RGB");
        if ((renderWord & RenderUseNormal) != 0)
            word->CreateChild("UseNormal");
    }

    // One "Data" block of size bytes under parent, written by fill; left out,
    // with the error "Failed to allocate raw <what> buffer.", when its buffer
    // cannot be allocated.
    const auto addBlock = [](zMetaTag* parent, uint64_t size, const char* what, auto&& fill) {
        std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size]);
        if (buffer == nullptr) {
            LogError("zGeometry::AsMetaTag") << "Failed to allocate raw " << what << " buffer.\n";
            return;
        }
        BlockWriter writer(buffer.get());
        fill(writer);
        parent->CreateBinary("Data", buffer.get(), int32_t(size), zAsciiEncoder::EncodingYEnc);
    };

    if (zMetaTag* vertexTag = child(root, "Vertex")) {
        vertexTag->CreateInteger("Count", int32_t(vertexCount));
        addBlock(vertexTag, VertexRecord * vertexCount, "vertice", [&](BlockWriter& writer) {
            for (uint32_t v = 0; v < vertexCount; ++v) {
                writer.Float32(vertices[v].x);
                writer.Float32(vertices[v].y);
                writer.Float32(vertices[v].z);
            }
        });
    }

    if (zMetaTag* polygonTag = child(root, "Polygon")) {
        polygonTag->CreateInteger("Count", int32_t(polygonCount));
        polygonTag->CreateInteger("BindingCount", int32_t(bindingCount));
        const uint64_t size = 4 * uint64_t(bindingCount) + 8 * uint64_t(polygonCount);
        addBlock(polygonTag, size, "polygon", [&](BlockWriter& writer) {
            for (uint32_t p = 0; p < polygonCount; ++p) {
                writer.Int32(polygons[p].vertexCount);
                for (uint16_t c = 0; c < polygons[p].vertexCount; ++c)
                    writer.Int32(polygons[p].indices[c]);
                writer.Int32(polygons[p].material);
            }
        });
    }

    const auto addNormals = [&](const char* name, const zVector* normals, uint32_t count) {
        zMetaTag* tag = child(root, name);
        if (tag == nullptr)
            return;
        tag->CreateInteger("Count", int32_t(count));
        addBlock(tag, NormalRecord * count, "normal", [&](BlockWriter& writer) {
            for (uint32_t i = 0; i < count; ++i)
                WriteNormal(writer, normals[i]);
        });
    };
    if (polygonNormals != nullptr)
        addNormals("PNormal", polygonNormals, polygonCount);
    if (vertexNormals != nullptr)
        addNormals("VNormal", vertexNormals, bindingCount);

    zMetaTag* colourTag = vertexColours != nullptr ? child(root, "RGB") : nullptr;
    if (colourTag != nullptr) {
        addBlock(colourTag, ColourRecord * bindingCount, "RGB", [&](BlockWriter& writer) {
            for (uint32_t b = 0; b < bindingCount; ++b) {
                writer.Float32(vertexColours[b].x);
                writer.Float32(vertexColours[b].y);
                writer.Float32(vertexColours[b].z);
            }
        });
    }

    if (uvSetCount != 0) {
        // Only the sets up to the first missing one are written, so that the
        // count written matches the blocks that follow it.
        uint32_t present = 0;
        while (present < uvSetCount && present < MaxUVSets && uvSets[present] != nullptr)
            ++present;
        if (present < uvSetCount)
            LogError("zGeometry::AsMetaTag") << "Cannot serialize UV channel as it does not exist.\n";
        zMetaTag* tag = present > 0 ? child(root, "UV") : nullptr;
        if (tag != nullptr) {
            tag->CreateInteger("Count", int32_t(present));
            for (uint32_t s = 0; s < present; ++s) {
                addBlock(tag, UVRecord * bindingCount, "UVs", [&](BlockWriter& writer) {
                    for (uint32_t b = 0; b < bindingCount; ++b) {
                        writer.Float32(uvSets[s][b].u);
                        writer.Float32(uvSets[s][b].v);
                    }
                });
            }
        }
    }

    if (boneCount != 0 && boneIds != nullptr) {
        zMetaTag* skin = child(root, "Skin");
        zMetaTag* bones = child(skin, "Bones");
        for (int32_t b = 0; bones != nullptr && b < boneCount; ++b) {
            if (bones->CreateString("Id", boneIds[b].Get() != nullptr ? boneIds[b].Get() : "") == nullptr)
                LogError("zGeometry::AsMetaTag") << "Failed to allocate bone id tag.\n";
        }
        zMetaTag* weights = child(skin, "Weights");
        for (uint32_t v = 0; weights != nullptr && skinWeights != nullptr && v < vertexCount; ++v) {
            const zSkinWeight& w = skinWeights[v];
            int32_t bytes[4];
            for (int i = 0; i < 4; ++i) {
                const float scaled = w.weights[i] * 255.0f;
                bytes[i] = scaled >= 255.0f ? 255 : scaled > 0.0f ? int32_t(scaled) : 0;
            }
            const zString text = zString::Format("%d,%d,%d,%d:%d,%d,%d,%d", w.bones[0], w.bones[1], w.bones[2],
                                                 w.bones[3], bytes[0], bytes[1], bytes[2], bytes[3]);
            weights->CreateString("W", text.Get());
        }
    }

    if (lodProxy != nullptr)
        root->CreateString("LodProxy", lodProxy->id.Get() != nullptr ? lodProxy->id.Get() : "");
    if (lodDistance != DefaultLodDistance)
        root->CreateFloat("LodDistance", lodDistance);
    if ((flags & FlagLodNull) != 0)
        root->CreateInteger("LodNull", 1);
    if (shadowProxy != nullptr)
        root->CreateString("ShadowProxy", shadowProxy->id.Get() != nullptr ? shadowProxy->id.Get() : "");
    if ((flags & FlagShadowNull) != 0)
        root->CreateInteger("ShadowNull", 1);
    if (zFar >= 0.0f)
        root->CreateFloat("ZFar", zFar);

    zMetaTag* materialsTag = child(root, "Materials");
    for (uint32_t i = 0; materialsTag != nullptr && i < materialCount; ++i) {
        if (materials[i] != nullptr)
            materialsTag->AddChild(materials[i]->AsMetaTag(list));
    }
    return root;
}
