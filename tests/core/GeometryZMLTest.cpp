#include "GeometryTestSupport.h"
#include "ResourceTestSupport.h"
#include "support/LogCapture.h"

#include "core/geometry/zGeometry.h"
#include "core/material/zMaterial.h"
#include "core/zad/Tavrin.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// The tag as text, read back into a document of its own.
struct Written {
    explicit Written(zGeometry& g)
    {
        std::unique_ptr<zMetaTag> tag(g.AsMetaTag(nullptr));
        if (tag != nullptr)
            text = TagText(tag.get());
        zml = std::make_unique<ZmlText>(text);
    }
    const zMetaTag* Root() const { return zml->Root(); }

    std::string text;
    std::unique_ptr<ZmlText> zml;
};

std::vector<uint8_t> Decoded(const zMetaTag* tag)
{
    std::vector<uint8_t> bytes(size_t(tag->GetRawSize()));
    EXPECT_TRUE(tag->GetBinaryData(bytes.data(), int32_t(bytes.size())));
    return bytes;
}

void PutWord(std::vector<uint8_t>& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
}

void PutFloat(std::vector<uint8_t>& out, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    PutWord(out, bits);
}

class GeometryZMLTest : public ::testing::Test {
protected:
    GeometryZMLTest() : renderer(&core) {}

    Tavrin core;
    ResourceRenderer renderer;
    LogCapture log;
};

TEST_F(GeometryZMLTest, AWrittenGeometryReadsBackTheSame)
{
    zGeometry cube(&core, "cube.zml");
    FillCube(cube);
    // As materials read from a file, they carry the maps their fields generate.
    for (uint32_t m = 0; m < cube.materialCount; ++m)
        cube.materials[m]->shaderMap = cube.materials[m]->AsShaderMap();
    Written written(cube);
    ASSERT_TRUE(written.zml->ok) << written.text;

    zGeometry back(&core, "cube.zml");
    ASSERT_TRUE(back.FromMetaTag(&written.zml->document, written.Root())) << written.text;
    ASSERT_EQ(back.vertexCount, 8u);
    for (uint32_t v = 0; v < 8; ++v) {
        EXPECT_EQ(back.vertices[v].x, cube.vertices[v].x);
        EXPECT_EQ(back.vertices[v].y, cube.vertices[v].y);
        EXPECT_EQ(back.vertices[v].z, cube.vertices[v].z);
        EXPECT_EQ(back.vertices[v].w, 1.0f);
    }
    ASSERT_EQ(back.polygonCount, 6u);
    ASSERT_EQ(back.bindingCount, 24u);
    for (uint32_t p = 0; p < 6; ++p) {
        EXPECT_EQ(back.polygons[p].vertexCount, 4);
        EXPECT_EQ(back.polygons[p].material, cube.polygons[p].material);
        EXPECT_EQ(back.polygons[p].indices, back.bindingIndices + 4 * p);
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(back.polygons[p].indices[c], cube.polygons[p].indices[c]);
        EXPECT_NEAR(back.polygonNormals[p].Dot(cube.polygonNormals[p]), 1.0f, 1e-6f);
    }
    for (uint32_t b = 0; b < 24; ++b) {
        EXPECT_NEAR(back.vertexNormals[b].x, cube.vertexNormals[b].x, 1.0f / 127.0f);
        EXPECT_NEAR(back.vertexNormals[b].z, cube.vertexNormals[b].z, 1.0f / 127.0f);
        EXPECT_EQ(back.vertexColours[b].x, cube.vertexColours[b].x);
        EXPECT_EQ(back.vertexColours[b].w, 1.0f);
        for (int s = 0; s < 2; ++s) {
            EXPECT_EQ(back.uvSets[s][b].u, cube.uvSets[s][b].u);
            EXPECT_EQ(back.uvSets[s][b].v, cube.uvSets[s][b].v);
        }
    }
    EXPECT_EQ(back.uvSetCount, 2u);
    ASSERT_EQ(back.boneCount, 2);
    EXPECT_TRUE(back.boneIds[0] == "Hip");
    EXPECT_TRUE(back.boneIds[1] == "Knee");
    for (uint32_t v = 0; v < 8; ++v) {
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(back.skinWeights[v].weights[i], cube.skinWeights[v].weights[i], 1.0f / 255.0f);
            EXPECT_EQ(back.skinWeights[v].bones[i], cube.skinWeights[v].bones[i]);
        }
    }
    EXPECT_EQ(back.renderWord, cube.renderWord);
    EXPECT_EQ(back.lodDistance, 42.5f);
    EXPECT_EQ(back.zFar, 900.0f);
    EXPECT_EQ(back.flags & (zGeometry::FlagLodNull | zGeometry::FlagShadowNull),
              zGeometry::FlagLodNull | zGeometry::FlagShadowNull);
    ASSERT_EQ(back.materialCount, 2u);
    EXPECT_TRUE(back.materials[1]->name == "Glass");
    EXPECT_TRUE(back.materials[1]->IsEquivalent(*cube.materials[1]));

    // Written again, the same text.
    EXPECT_EQ(Written(back).text, written.text);
    EXPECT_TRUE(log.Contains("Loading geometry 'test.zml'.\n"));
    EXPECT_TRUE(log.Contains(" 8 vertice, 6 polygon(s), 2 material(s).\n"));
}

TEST_F(GeometryZMLTest, BlocksAreLittleEndianFixedWidthRecords)
{
    zGeometry g(&core, "g");
    FillGeometry(g, {{1.5f, -2.0f, 3.0f}, {0, 0, 0}, {0, 0, 1}}, {{{2, 0, 1}, 1}}, 2);
    g.vertexNormals = new zVector[3];
    g.vertexNormals[0] = zVector(0.5f, 0.5f, 0.7071f);
    g.vertexNormals[1] = zVector(-1.0f, 0.0f, 0.0f);
    g.vertexNormals[2] = zVector(0.0f, 0.0f, 1.0f);
    std::unique_ptr<zMetaTag> tag(g.AsMetaTag(nullptr));
    ASSERT_NE(tag, nullptr);

    std::vector<uint8_t> vertex;
    for (float f : {1.5f, -2.0f, 3.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f})
        PutFloat(vertex, f);
    EXPECT_EQ(Decoded(tag->GetTag("Vertex:Data;")), vertex);
    EXPECT_EQ(tag->GetTag("Vertex:Data;")->GetEncoding(), 1) << "yEnc";

    std::vector<uint8_t> polygon;
    for (uint32_t word : {3u, 2u, 0u, 1u, 1u})
        PutWord(polygon, word);
    EXPECT_EQ(Decoded(tag->GetTag("Polygon:Data;")), polygon);
    EXPECT_EQ(tag->GetTag("Polygon:BindingCount;")->GetInteger(), 3);

    EXPECT_EQ(Decoded(tag->GetTag("VNormal:Data;")),
              (std::vector<uint8_t>{63, 63, 89, uint8_t(-127), 0, 0, 0, 0, 127}));
    EXPECT_EQ(tag->GetTag("VNormal:Count;")->GetInteger(), 3);

    zGeometry back(&core, "g");
    ASSERT_TRUE(back.FromMetaTag(nullptr, tag.get()));
    const zVector n = back.vertexNormals[0];
    EXPECT_NEAR(n.Length(), 1.0f, 1e-6f);
    EXPECT_NEAR(n.x, 63.0f / std::sqrt(63.0f * 63 * 2 + 89.0f * 89), 1e-6f);
}

TEST_F(GeometryZMLTest, ChildrenAreReadInAFixedOrderAndTheBinaryFormWins)
{
    zGeometry source(&core, "g");
    FillGeometry(source, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{{0, 1, 2}, 0}});
    std::unique_ptr<zMetaTag> tag(source.AsMetaTag(nullptr));
    // Materials last, and ascii forms that would fail if they were read.
    zMetaTag* materials = tag->GetTag("Materials;");
    tag->GetChildren().Unlink(materials);
    tag->AddChild(materials);
    tag->CreateChild("AVertex")->CreateInteger("Count", 99);
    tag->CreateChild("APolygon")->CreateInteger("Count", -4);
    zGeometry g(&core, "g");
    EXPECT_TRUE(g.FromMetaTag(nullptr, tag.get()));
    EXPECT_EQ(g.vertexCount, 3u);
    EXPECT_EQ(g.materialCount, 1u);
}

TEST_F(GeometryZMLTest, AsciiFormsAreRead)
{
    ZmlText zml("<Geometry="
                "<Materials=<Material=<Id=\"a\">><Material=<Id=\"b\">>>"
                "<AVertex=<Count=4><Data=<V=<X=0><Y=0><Z=0>><V=<X=1><Y=0><Z=0>><V=<X=1><Y=1><Z=0>><V=<X=0><Y=1><Z=2.5>>>>"
                "<APolygon=<Count=2><BindingCount=6><Data="
                "<P=<Count=3><Material=1><Index=0><Index=1><Index=2>>"
                "<P=<Index=0><Material=0><Index=2><Count=3><Index=3>>>>"
                "<AUV=<Count=1><Data=<T=<U=0.5><V=0.25>><T=<U=1>><T><T><T=<U=1><V=3>><T=<U=\"x\"><V=7.0>>>>"
                ">");
    ASSERT_TRUE(zml.ok);
    zGeometry g(&core, "g");
    ASSERT_TRUE(g.FromMetaTag(&zml.document, zml.Root()));
    EXPECT_EQ(g.vertexCount, 4u);
    EXPECT_EQ(g.vertices[3].z, 2.5f);
    EXPECT_EQ(g.vertices[3].w, 1.0f);
    ASSERT_EQ(g.polygonCount, 2u);
    EXPECT_EQ(g.polygons[0].material, 1);
    EXPECT_EQ(std::vector<int32_t>(g.bindingIndices, g.bindingIndices + 6), (std::vector<int32_t>{0, 1, 2, 0, 2, 3}));
    EXPECT_EQ(g.polygons[1].indices, g.bindingIndices + 3);
    ASSERT_EQ(g.uvSetCount, 1u);
    EXPECT_EQ(g.uvSets[0][0].u, 0.5f);
    EXPECT_EQ(g.uvSets[0][0].v, 0.25f);
    EXPECT_EQ(g.uvSets[0][1].u, 0.0f) << "integer U reads as 0";
    EXPECT_EQ(g.uvSets[0][4].v, 0.0f);
    EXPECT_EQ(g.uvSets[0][5].u, 0.0f);
    EXPECT_EQ(g.uvSets[0][5].v, 7.0f);
}

TEST_F(GeometryZMLTest, SkinWeightsAreNormalisedAndCheckedAgainstTheBones)
{
    struct Case {
        const char* weights;
        bool ok;
        float expected[4];
        const char* message;
    };
    const Case cases[] = {
        {"<W=\"0,1,0,0:255,255,0,0\"><W=\"1,0,0,0:51,0,0,0\"><W=\"0,0,0,0:0,0,0,0\">", true, {0.5f, 0.5f, 0, 0}, nullptr},
        {"<W=\" 0 , 1 ,0,0 : 255,255,0,0 \"><W=\"1;0;0;0;51;0;0;0\"><W=\"0,0,0,0:0,0,0,0\">", true,
         {0.5f, 0.5f, 0, 0}, nullptr},
        {"<W=\"0,1,0,0:255,255,0,0\">", true, {0.5f, 0.5f, 0, 0}, "Incoherent weight count (1 for 3 vertice"},
        {"<W=\"0,2,0,0:255,255,0,0\"><W=\"1,0,0,0:51,0,0,0\"><W=\"0,0,0,0:0,0,0,0\">", false, {},
         "names a bone or weight out of range (2 bone(s), weights 0-255)."},
        {"<W=\"0,-1,0,0:255,255,0,0\"><W=\"1,0,0,0:51,0,0,0\"><W=\"0,0,0,0:0,0,0,0\">", false, {}, "out of range"},
        {"<W=\"0,1,0,0:256,255,0,0\"><W=\"1,0,0,0:51,0,0,0\"><W=\"0,0,0,0:0,0,0,0\">", false, {}, "out of range"},
        {"<W=\"0,1,0,0:255,255,0\"><W=\"1,0,0,0:51,0,0,0\"><W=\"0,0,0,0:0,0,0,0\">", false, {},
         "Malformed skin weight '0,1,0,0:255,255,0' for vertex 0"},
        {"<W=\"0,1,0,0:255,255,0,0,\"><W=\"1,0,0,0:51,0,0,0\"><W=5>", false, {}, "Malformed skin weight '' for vertex 2"},
    };
    for (const Case& c : cases) {
        log.lines.clear();
        ZmlText zml(std::string("<Geometry=<Materials=<Material>>"
                                "<AVertex=<Count=3><Data=<V=<X=0><Y=0><Z=0>><V=<X=1><Y=0><Z=0>><V=<X=0><Y=1><Z=0>>>>"
                                "<APolygon=<Count=1><BindingCount=3><Data=<P=<Count=3><Material=0><Index=0><Index=1>"
                                "<Index=2>>>>"
                                "<Skin=<Bones=<Id=\"Hip\"><Id=\"Knee\">><Weights=")
                    + c.weights + ">>>");
        ASSERT_TRUE(zml.ok) << c.weights;
        zGeometry g(&core, "g");
        EXPECT_EQ(g.FromMetaTag(&zml.document, zml.Root()), c.ok) << c.weights;
        if (c.message != nullptr) {
            EXPECT_TRUE(log.Contains(c.message)) << c.weights;
        }
        if (!c.ok) {
            EXPECT_EQ(g.skinWeights, nullptr);
            continue;
        }
        ASSERT_NE(g.skinWeights, nullptr);
        for (int i = 0; i < 4; ++i)
            EXPECT_FLOAT_EQ(g.skinWeights[0].weights[i], c.expected[i]) << c.weights << " " << i;
        EXPECT_EQ(g.skinWeights[0].bones[1], 1);
        for (float w : g.skinWeights[2].weights)
            EXPECT_EQ(w, 0.0f) << "zero weights stay zero, a missing record too";
        EXPECT_EQ(g.boneCount, 2);
    }
}

TEST_F(GeometryZMLTest, AnEmptySkinIsIgnoredWithAWarning)
{
    ZmlText zml("<Geometry=<Materials=<Material>><AVertex=<Count=3><Data=<V=<X=0><Y=0><Z=0>><V=<X=1><Y=0><Z=0>>"
                "<V=<X=0><Y=1><Z=0>>>><APolygon=<Count=1><BindingCount=3><Data=<P=<Count=3><Material=0><Index=0>"
                "<Index=1><Index=2>>>><Skin=<Bones><Weights=<W=\"9,9,9,9:1,1,1,1\">>>>");
    zGeometry g(&core, "g");
    ASSERT_TRUE(g.FromMetaTag(&zml.document, zml.Root()));
    EXPECT_TRUE(log.Contains("[*] zGeometry::ParseSkin ("));
    EXPECT_TRUE(log.Contains("Invalid bone count in skin (0)."));
    EXPECT_EQ(g.boneCount, 0);
    EXPECT_EQ(g.skinWeights, nullptr);
}

TEST_F(GeometryZMLTest, MoreThanThreeUVSetsKeepThree)
{
    zGeometry source(&core, "g");
    FillGeometry(source, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{{0, 1, 2}, 0}});
    source.uvSetCount = 3;
    for (zUV*& set : source.uvSets)
        set = new zUV[3]();
    source.uvSets[2][1].v = 9.0f;
    std::unique_ptr<zMetaTag> tag(source.AsMetaTag(nullptr));
    zMetaTag* uv = tag->GetTag("UV;");
    uv->GetTag("Count;")->SetInteger(5);
    std::vector<uint8_t> extra(24, 0);
    uv->CreateBinary("Data", extra.data(), 24, 1);
    zGeometry g(&core, "g");
    ASSERT_TRUE(g.FromMetaTag(nullptr, tag.get()));
    EXPECT_EQ(g.uvSetCount, 3u);
    EXPECT_EQ(g.uvSets[2][1].v, 9.0f);
    EXPECT_TRUE(log.Contains("'g' requires more UV channels than this build can handle."));
    EXPECT_TRUE(log.Contains("   Please increase zUVMapCount and recompile Tavrin to fully import this object."));
}

// Each case breaks one part of a valid geometry tag; the load must fail with
// its message and leave the geometry it was read into as it was.
struct BadCase {
    const char* name;
    std::function<void(zMetaTag*)> breakIt;
    const char* message;
};

void SetBytes(zMetaTag* tag, const std::vector<uint8_t>& bytes)
{
    tag->SetBinary(bytes.data(), int32_t(bytes.size()), 1);
}

std::vector<uint8_t> Resized(const zMetaTag* tag, int delta)
{
    std::vector<uint8_t> bytes = Decoded(tag);
    bytes.resize(size_t(int(bytes.size()) + delta), 0);
    return bytes;
}

TEST_F(GeometryZMLTest, BadInputFailsAndLeavesTheGeometryAsItWas)
{
    const BadCase cases[] = {
        {"root name", [](zMetaTag* t) { t->SetName("Geometri"); },
         "Could not parse material. Root tag id is incorrect (Geometri)..."},
        {"vertex block short", [](zMetaTag* t) { SetBytes(t->GetTag("Vertex:Data;"), Resized(t->GetTag("Vertex:Data;"), -1)); },
         "Wrong size of the <Vertex> data block of geometry 'g': 95 bytes for 96 expected."},
        {"vertex block long", [](zMetaTag* t) { SetBytes(t->GetTag("Vertex:Data;"), Resized(t->GetTag("Vertex:Data;"), 12)); },
         "108 bytes for 96 expected."},
        {"vertex count above data",
         [](zMetaTag* t) { t->GetTag("Vertex:Count;")->SetInteger(0x15555556); }, "for 4294967304 expected."},
        {"vertex count missing", [](zMetaTag* t) { t->GetTag("Vertex;")->GetChildren().Remove(t->GetTag("Vertex:Count;")); },
         "Incomplete vertex chunk loading 'g', expected vertex count integer tag."},
        {"vertex count after data",
         [](zMetaTag* t) {
             zMetaTag* vertex = t->GetTag("Vertex;");
             zMetaTag* count = t->GetTag("Vertex:Count;");
             vertex->GetChildren().Unlink(count);
             vertex->AddChild(count);
         },
         "Incomplete vertex chunk loading 'g'"},
        {"vertex data not binary", [](zMetaTag* t) { t->GetTag("Vertex:Data;")->SetInteger(3); },
         "Expected a binary <Data> tag in <Vertex> of geometry 'g'."},
        {"no vertices", [](zMetaTag* t) { t->GetChildren().Remove(t->GetTag("Vertex;")); }, "No vertice in geometry 'g'."},
        {"no polygons",
         [](zMetaTag* t) {
             for (const char* name : {"Polygon;", "PNormal;", "VNormal;", "RGB;", "UV;"})
                 t->GetChildren().Remove(t->GetTag(name));
         },
         "No polygon in geometry 'g'."},
        {"no material", [](zMetaTag* t) { t->GetTag("Materials;")->GetChildren().Clear(); },
         "Expected at least one material in geometry 'g'."},
        {"polygon binding count zero", [](zMetaTag* t) { t->GetTag("Polygon:BindingCount;")->SetInteger(0); },
         "Incomplete polygon chunk loading 'g'."},
        {"polygon block size", [](zMetaTag* t) { t->GetTag("Polygon:BindingCount;")->SetInteger(25); },
         "Wrong size of the <Polygon> data block of geometry 'g': 144 bytes for 148 expected."},
        {"polygon with too many corners",
         [](zMetaTag* t) {
             std::vector<uint8_t> bytes = Decoded(t->GetTag("Polygon:Data;"));
             bytes[0] = 30;
             SetBytes(t->GetTag("Polygon:Data;"), bytes);
         },
         "Polygon 0 of 'g' has 30 corner(s), more than its block holds."},
        {"polygon with a negative corner count",
         [](zMetaTag* t) {
             std::vector<uint8_t> bytes = Decoded(t->GetTag("Polygon:Data;"));
             bytes[3] = 0x80;
             SetBytes(t->GetTag("Polygon:Data;"), bytes);
         },
         "Polygon 0 of 'g' has -2147483644 corner(s)"},
        {"corners not adding up",
         [](zMetaTag* t) {
             // First polygon 3 corners + material; the block ends 4 bytes early
             // of what the counts promise, so the walk runs dry.
             std::vector<uint8_t> bytes = Decoded(t->GetTag("Polygon:Data;"));
             bytes[0] = 3;
             SetBytes(t->GetTag("Polygon:Data;"), bytes);
         },
         "do not add up to its binding count 24."},
        {"index beyond the vertices",
         [](zMetaTag* t) {
             std::vector<uint8_t> bytes = Decoded(t->GetTag("Polygon:Data;"));
             bytes[8] = 8;
             SetBytes(t->GetTag("Polygon:Data;"), bytes);
         },
         "Polygon 0 of 'g' refers to vertex 8, beyond the 8 vertice."},
        {"polygon normal count", [](zMetaTag* t) { t->GetTag("PNormal:Count;")->SetInteger(5); },
         "Polygon normal count 5 differs from the 6 polygon(s) of 'g'."},
        {"polygon normal block", [](zMetaTag* t) { SetBytes(t->GetTag("PNormal:Data;"), Resized(t->GetTag("PNormal:Data;"), -3)); },
         "Wrong size of the <PNormal> data block"},
        {"vertex normal count", [](zMetaTag* t) { t->GetTag("VNormal:Count;")->SetInteger(25); },
         "Vertex normal count 25 differs from the binding count 24 of 'g'."},
        {"vertex normal count zero", [](zMetaTag* t) { t->GetTag("VNormal:Count;")->SetInteger(0); },
         "Incomplete vertex normal chunk loading 'g'."},
        {"colour block", [](zMetaTag* t) { SetBytes(t->GetTag("RGB:Data;"), Resized(t->GetTag("RGB:Data;"), 4)); },
         "Wrong size of the <RGB> data block of geometry 'g': 292 bytes for 288 expected."},
        {"colour without data", [](zMetaTag* t) { t->GetTag("RGB;")->GetChildren().Clear(); },
         "Expected <Data> tag under <RGB> tag."},
        {"uv block", [](zMetaTag* t) { SetBytes(t->GetTag("UV:Data;"), Resized(t->GetTag("UV:Data;"), -8)); },
         "Wrong size of the <UV> data block of geometry 'g': 184 bytes for 192 expected."},
        {"uv sets missing", [](zMetaTag* t) { t->GetTag("UV:Count;")->SetInteger(3); },
         "Expected 3 UV set(s) in 'g', found 2."},
        {"uv count missing", [](zMetaTag* t) { t->GetTag("UV;")->GetChildren().Remove(t->GetTag("UV:Count;")); },
         "Could not locate Count tag in UV tag while loading 'g'."},
    };
    for (const BadCase& c : cases) {
        zGeometry cube(&core, "g");
        FillCube(cube);
        std::unique_ptr<zMetaTag> tag(cube.AsMetaTag(nullptr));
        ASSERT_NE(tag, nullptr);

        zGeometry previous(&core, "g");
        FillGeometry(previous, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{{0, 1, 2}, 0}});
        previous.rendererData = &previous;
        const std::string before = Written(previous).text;

        c.breakIt(tag.get());
        log.lines.clear();
        renderer.calls.clear();
        EXPECT_FALSE(previous.FromMetaTag(nullptr, tag.get())) << c.name;
        EXPECT_TRUE(log.Contains(c.message)) << c.name << ": " << (log.lines.empty() ? "" : log.lines.back());
        EXPECT_EQ(Written(previous).text, before) << c.name;
        EXPECT_EQ(previous.rendererData, &previous) << c.name;
        EXPECT_EQ(renderer.Count("FreeGeometry"), 0) << c.name;
    }
}

TEST_F(GeometryZMLTest, BadAsciiPolygonsAreRefused)
{
    struct Case {
        const char* polygon;
        const char* message;
    };
    const Case cases[] = {
        {"<Count=2><BindingCount=3><Data=<P=<Count=3><Material=0><Index=0><Index=1><Index=2>>>",
         "Incomplete <APolygon> tag, fewer polygons or index tags than its counts in 'g'."},
        {"<Count=1><BindingCount=4><Data=<P=<Count=3><Material=0><Index=0><Index=1><Index=2>>>",
         "Incomplete <APolygon> tag"},
        {"<Count=1><BindingCount=3><Data=<P=<Count=2><Material=0><Index=0><Index=1><Index=2>>>",
         "Corrupt <Polygon> tag in <APolygon>, 3 index tag(s) for 2 corner(s)."},
        {"<Count=1><BindingCount=3><Data=<P=<Count=3.0><Material=0><Index=0><Index=1><Index=2>>>",
         "3 index tag(s) for 64537 corner(s)."},
        {"<Count=1><BindingCount=3><Data=<P=<Material=0><Index=0><Index=1><Index=2>>>",
         "Corrupt <Polygon> tag in <APolygon>."},
        {"<Count=2><BindingCount=3><Data=<P=<Count=2><Material=0><Index=0><Index=1>><P=<Count=2><Material=0>"
         "<Index=0><Index=2>>>",
         "Corrupted <APolygon> tag, more index tags than its binding count 3."},
        {"<Count=1><BindingCount=3><Data=<P=<Count=3><Material=0><Index=0><Index=1><Index=\"2\">>>",
         "refers to vertex -999, beyond the 3 vertice."},
        {"<BindingCount=3><Data=<P=<Count=3><Material=0><Index=0><Index=1><Index=2>>>",
         "Incomplete polygon chunk loading 'g'."},
    };
    for (const Case& c : cases) {
        log.lines.clear();
        ZmlText zml(std::string("<Geometry=<Materials=<Material>><AVertex=<Count=3><Data=<V=<X=0><Y=0><Z=0>>"
                                "<V=<X=1><Y=0><Z=0>><V=<X=0><Y=1><Z=0>>>><APolygon=")
                    + c.polygon + ">>");
        ASSERT_TRUE(zml.ok) << c.polygon;
        zGeometry g(&core, "g");
        EXPECT_FALSE(g.FromMetaTag(&zml.document, zml.Root())) << c.polygon;
        EXPECT_TRUE(log.Contains(c.message)) << c.polygon << ": " << (log.lines.empty() ? "" : log.lines.back());
        EXPECT_EQ(g.polygons, nullptr);
    }

    // Extra polygons are ignored with an error line; the rest loads.
    log.lines.clear();
    ZmlText extra("<Geometry=<Materials=<Material>><AVertex=<Count=3><Data=<V=<X=0><Y=0><Z=0>><V=<X=1><Y=0><Z=0>>"
                  "<V=<X=0><Y=1><Z=0>><V=<X=5><Y=5><Z=5>>>><APolygon=<Count=1><BindingCount=3><Data=<P=<Count=3>"
                  "<Material=0><Index=0><Index=1><Index=2>><P=<Count=1><Material=0><Index=0>>>>>");
    zGeometry g(&core, "g");
    EXPECT_TRUE(g.FromMetaTag(&extra.document, extra.Root()));
    EXPECT_TRUE(log.Contains("Corrupted <APolygon> tag, too many polygons."));
    EXPECT_TRUE(log.Contains("Corrupter <AVertex> tag, more vertice than expected."));
    EXPECT_EQ(g.polygonCount, 1u);
}

TEST_F(GeometryZMLTest, WriterRefusesEmptyOrInconsistentGeometries)
{
    zGeometry empty(&core, "empty");
    EXPECT_EQ(empty.AsMetaTag(nullptr), nullptr);
    EXPECT_TRUE(log.Contains("Cannot serialize 'empty', geometry is empty."));

    zGeometry noMaterial(&core, "bare");
    FillGeometry(noMaterial, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{{0, 1, 2}, 0}}, 0);
    EXPECT_EQ(noMaterial.AsMetaTag(nullptr), nullptr);

    zGeometry wrong(&core, "wrong");
    FillGeometry(wrong, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{{0, 1, 2}, 0}});
    wrong.bindingCount = 4;
    EXPECT_EQ(wrong.AsMetaTag(nullptr), nullptr);
    EXPECT_TRUE(log.Contains("Cannot serialize 'wrong', its polygon corners do not add up to its binding count."));
}

TEST_F(GeometryZMLTest, WriterSkipsMissingUVSetsAndKeepsTheFileReadable)
{
    zGeometry g(&core, "g");
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{{0, 1, 2}, 0}});
    g.uvSetCount = 3;
    g.uvSets[0] = new zUV[3]();
    g.uvSets[2] = new zUV[3]();
    Written written(g);
    EXPECT_TRUE(log.Contains("Cannot serialize UV channel as it does not exist."));
    zGeometry back(&core, "g");
    ASSERT_TRUE(back.FromMetaTag(&written.zml->document, written.Root()));
    EXPECT_EQ(back.uvSetCount, 1u);
}

// A geometry file of one triangle whose children end with extra.
std::string TriangleFile(const std::string& extra)
{
    return "<ZML=1>\n<Geometry=<Materials=<Material=<Id=\"m\">>>"
           "<AVertex=<Count=3><Data=<V=<X=0><Y=0><Z=0>><V=<X=1><Y=0><Z=0>><V=<X=0><Y=1><Z=0>>>>"
           "<APolygon=<Count=1><BindingCount=3><Data=<P=<Count=3><Material=0><Index=0><Index=1><Index=2>>>>"
           + extra + ">\n";
}

TEST_F(GeometryZMLTest, ProxiesAreLoadedThroughTheCacheAndWrittenByName)
{
    ResourceFiles files;
    files.Write("near.zml", TriangleFile("<LodProxy=\"far.zml\"><ShadowProxy=\"near.zml\"><LodDistance=30>"));
    files.Write("far.zml", TriangleFile("<LodProxy=\"near.zml\"><ShadowProxy=\"missing.zml\">"));

    zGeometry* near = core.LoadGeometry("near.zml", true, true);
    ASSERT_NE(near, nullptr);
    zGeometry* far = near->lodProxy;
    ASSERT_NE(far, nullptr);
    EXPECT_TRUE(far->id == "far.zml");
    EXPECT_EQ(far->lodProxy, near) << "a proxy naming a geometry being read finds it in the cache";
    EXPECT_EQ(near->shadowProxy, near);
    ASSERT_NE(far->shadowProxy, nullptr);
    EXPECT_EQ(far->shadowProxy->vertexCount, 0u) << "a missing file gives an empty cached geometry";
    EXPECT_EQ(near->lodDistance, 30.0f);
    EXPECT_EQ(core.GetGeometries().GetCount(), 3);
    EXPECT_TRUE(log.Contains("Failed to locate 'missing.zml', could not load geometry."));

    std::unique_ptr<zMetaTag> tag(near->AsMetaTag(nullptr));
    ASSERT_NE(tag, nullptr);
    EXPECT_STREQ(tag->GetTag("LodProxy;")->GetString(), "far.zml");
    EXPECT_STREQ(tag->GetTag("ShadowProxy;")->GetString(), "near.zml");
    EXPECT_EQ(tag->GetTag("LodDistance;")->GetFloat(), 30.0f);

    // Read again, the proxies resolve to the same cached geometries.
    zGeometry again(&core, "again");
    ASSERT_TRUE(again.FromMetaTag(nullptr, tag.get()));
    EXPECT_EQ(again.lodProxy, far);
    EXPECT_EQ(again.shadowProxy, near);
    EXPECT_EQ(core.GetGeometries().GetCount(), 3);
    core.DeleteAllResources();
}

} // namespace
