#include "CoreTestSupport.h"
#include "support/TempDir.h"

#include "core/render/zRendererSettings.h"
#include "core/zad/Tavrin.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct FlagKey {
    const char* key;
    bool effect;
    uint32_t bit;
};

// Names the case in test listings and failure messages.
void PrintTo(const FlagKey& c, std::ostream* out)
{
    *out << c.key;
}

class RendererSettingsTest : public ::testing::Test {
protected:
    ~RendererSettingsTest() override { GlobalDebugChannel = -1; }

    Tavrin core;
};

class RendererSettingsKeyTest : public RendererSettingsTest, public ::testing::WithParamInterface<FlagKey> {};

TEST_P(RendererSettingsKeyTest, EachKeySetsOnlyItsBitAndItsAbsenceClearsIt)
{
    const FlagKey& c = GetParam();
    zMetaFile settings;
    settings.AddRootTag(new zMetaTag(c.key, 1));
    ASSERT_TRUE(core.LoadRendererSettings(nullptr, &settings));
    EXPECT_EQ(core.renderer->optionFlags, c.effect ? 0u : c.bit);
    EXPECT_EQ(core.renderer->effectFlags, c.effect ? c.bit : 0u);

    // Every other bit set before is cleared by the keys it lacks; zero is false.
    core.renderer->optionFlags = ~0u;
    core.renderer->effectFlags = ~0u;
    zMetaFile off;
    off.AddRootTag(new zMetaTag(c.key, 0));
    ASSERT_TRUE(core.LoadRendererSettings(nullptr, &off));
    EXPECT_EQ(core.renderer->optionFlags, ~0u & (64u | ~2047u));
    EXPECT_EQ(core.renderer->effectFlags, ~0u & (4u | ~1023u));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, RendererSettingsKeyTest,
    ::testing::Values(FlagKey{"EnableDebug", false, 1}, FlagKey{"Antialiasing", false, 2},
                      FlagKey{"UseFloatTarget", false, 4}, FlagKey{"OptimizeVideoRam", false, 8},
                      FlagKey{"DisableShader", false, 16}, FlagKey{"DisableMultipleRenderTarget", false, 32},
                      FlagKey{"TextureNoDownscale", false, 128}, FlagKey{"TextureForceTrueColor", false, 256},
                      FlagKey{"TextureNoCompression", false, 512}, FlagKey{"TextureForceSquare", false, 1024},
                      FlagKey{"MotionBlur", true, 1}, FlagKey{"ShadowMapping", true, 2}, FlagKey{"Bloom", true, 8},
                      FlagKey{"Exposure", true, 16}, FlagKey{"DepthOfField", true, 32},
                      FlagKey{"LinearShadow", true, 64}, FlagKey{"AmbientOcclusion", true, 128},
                      FlagKey{"FramebufferAsTexture", true, 256}, FlagKey{"LowResolutionFx", true, 512}),
    [](const ::testing::TestParamInfo<FlagKey>& info) { return std::string(info.param.key); });

TEST_F(RendererSettingsTest, OnlyNonZeroIntegersAreTrue)
{
    zMetaFile settings;
    settings.AddRootTag(new zMetaTag("Bloom", -5));
    settings.AddRootTag(new zMetaTag("Exposure", 1.0f));
    settings.AddRootTag(new zMetaTag("MotionBlur", "1"));
    settings.AddRootTag(new zMetaTag("DebugChannel", 3));
    ASSERT_TRUE(core.LoadRendererSettings(nullptr, &settings));
    EXPECT_EQ(core.renderer->effectFlags, zRendererEffect::Bloom);
    EXPECT_EQ(GlobalDebugChannel, 3);
}

TEST_F(RendererSettingsTest, TheDebugChannelIsOffWithoutItsKey)
{
    GlobalDebugChannel = 2;
    zMetaFile settings;
    settings.AddRootTag(new zMetaTag("DebugChannel", 2.0f));
    ASSERT_TRUE(core.LoadRendererSettings(nullptr, &settings));
    EXPECT_EQ(GlobalDebugChannel, -1);
}

TEST_F(RendererSettingsTest, ReadsTheFileWhenNoSettingsAreGiven)
{
    TempDir dir;
    const std::string path = dir.Write("tavrin.conf", "<ZML=1.0>\n<Bloom=1>\n<DisableShader=1>\n<DebugChannel=4>\n");
    ASSERT_TRUE(core.LoadRendererSettings(path.c_str(), nullptr));
    EXPECT_EQ(core.renderer->effectFlags, zRendererEffect::Bloom);
    EXPECT_EQ(core.renderer->optionFlags, zRendererOption::DisableShader);
    EXPECT_EQ(GlobalDebugChannel, 4);
}

TEST_F(RendererSettingsTest, AnUnreadableFileChangesNothing)
{
    TempDir dir;
    const std::string broken = dir.Write("broken.conf", "<ZML=1.0>\n<Bloom=1");
    core.renderer->effectFlags = zRendererEffect::Bloom;
    core.renderer->optionFlags = zRendererOption::Antialiasing;
    GlobalDebugChannel = 1;
    const std::string missing = dir.Path("missing.conf");
    for (const char* path : {broken.c_str(), missing.c_str(), static_cast<const char*>(nullptr)}) {
        EXPECT_FALSE(core.LoadRendererSettings(path, nullptr));
        EXPECT_EQ(core.renderer->effectFlags, zRendererEffect::Bloom);
        EXPECT_EQ(core.renderer->optionFlags, zRendererOption::Antialiasing);
        EXPECT_EQ(GlobalDebugChannel, 1);
    }
}

} // namespace
