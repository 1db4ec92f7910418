#include "GeometryTestSupport.h"
#include "support/LogCapture.h"

#include "core/geometry/zGeometry.h"
#include "core/material/zMaterial.h"
#include "core/zad/Tavrin.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

// The files under tests/data/geometry are written by the geometry writer
// itself. Setting TAVRIN_WRITE_TEST_DATA=1 rewrites them; otherwise the tests
// check that the writer still produces them byte for byte and that they load.

namespace {

std::string DataPath(const std::string& name)
{
    return std::string(TAVRIN_TEST_DATA) + "/geometry/" + name;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Rewriting()
{
    const char* value = std::getenv("TAVRIN_WRITE_TEST_DATA");
    return value != nullptr && *value == '1';
}

struct GeometryFile {
    const char* name;
    std::function<void(zGeometry&)> fill;
    uint32_t vertices;
    uint32_t polygons;
    uint32_t materials;
    int32_t bones;
};

class GeometryFilesTest : public ::testing::Test {
protected:
    GeometryFilesTest() : renderer(&core) {}

    Tavrin core;
    ResourceRenderer renderer;
    LogCapture log;
};

TEST_F(GeometryFilesTest, TheWriterStillWritesTheDataFilesAndTheyLoad)
{
    const GeometryFile files[] = {
        {"cube.zml", FillCube, 8, 6, 2, 2},
        {"skinned_strip.zml", FillSkinnedStrip, 6, 2, 1, 2},
        {"multi_material.zml", FillMultiMaterial, 6, 4, 3, 0},
    };
    for (const GeometryFile& file : files) {
        const std::string path = DataPath(file.name);
        zGeometry made(&core, file.name);
        file.fill(made);
        if (Rewriting()) {
            ASSERT_TRUE(made.SaveToFile(path.c_str())) << path;
        }

        const std::string written = ReadFile(path);
        ASSERT_FALSE(written.empty()) << path;
        zMetaFile document;
        ASSERT_TRUE(document.AddRootTag(made.AsMetaTag(&document)) != nullptr);
        std::string text;
        ASSERT_TRUE(zMetaParser::SaveText(&document, text));
        EXPECT_EQ(text, written) << file.name << ": the writer's output changed";

        zGeometry loaded(&core, file.name);
        ASSERT_TRUE(loaded.LoadFromFile(path.c_str())) << path;
        EXPECT_EQ(loaded.vertexCount, file.vertices) << file.name;
        EXPECT_EQ(loaded.polygonCount, file.polygons) << file.name;
        EXPECT_EQ(loaded.materialCount, file.materials) << file.name;
        EXPECT_EQ(loaded.boneCount, file.bones) << file.name;
        for (uint32_t i = 0; i < file.materials; ++i)
            EXPECT_TRUE(loaded.materials[i]->name == made.materials[i]->name.Get()) << file.name << " " << i;
        EXPECT_TRUE(log.Contains("Loading geometry '" + path + "'.")) << file.name;
    }
}

TEST_F(GeometryFilesTest, AMaterialFileLoadsWithItsStagesAndFlags)
{
    zMetaFile document;
    ASSERT_TRUE(zMetaParser::Load(DataPath("stone_material.zml").c_str(), &document));
    zMaterial material(&core);
    ASSERT_TRUE(material.FromMetaTag(&document, document.GetFirstRootTag()));
    EXPECT_TRUE(material.name == "Stone");
    EXPECT_EQ(material.flags, zMaterial::FlagLit | zMaterial::FlagSmoothing | zMaterial::FlagVertexColor);
    EXPECT_EQ(material.glossiness, 16.0f);
    EXPECT_FLOAT_EQ(material.diffuse.g, 0.45f);
    EXPECT_EQ(material.physicMaterial.mass, 80.0f);
    EXPECT_EQ(material.physicMaterial.torsion, 0.0f);
    EXPECT_EQ(material.stages[1].channel, zMaterial::ChannelReflection);
    EXPECT_EQ(material.stages[1].uvSource, zMaterial::UVSourceLSNormal);
    EXPECT_EQ(material.stages[1].active, 1);
    EXPECT_EQ(material.channels[zMaterial::ChannelReflection], &material.stages[1]);
    EXPECT_TRUE(log.Contains("Unknown tag 'Sparkle' in material 'Stone'."));
}

} // namespace
