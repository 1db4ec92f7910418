#include "ResourceTestSupport.h"

#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> progressSteps;

void RecordProgress(const char* step)
{
    progressSteps.emplace_back(step);
}

class TextureTest : public ::testing::Test {
protected:
    TextureTest() : renderer(&core, true) { progressSteps.clear(); }

    ResourceGlobalsGuard globals;
    Tavrin core;
    ResourceRecordingRenderer renderer;
};

TEST_F(TextureTest, NewAppendsToTheCacheWithTheGivenFieldsAndNamesAnUnnamedTextureTx)
{
    zTexture* first = zTexture::New(&core, "a", 3, 7, true, 0.8f);
    zTexture* unnamed = zTexture::New(&core, nullptr, 0, 0, false, 0.5f);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(unnamed, nullptr);
    EXPECT_EQ(core.GetTextures().GetFirst(), first);
    EXPECT_EQ(core.GetTextures().GetLast(), unnamed);
    EXPECT_EQ(first->mode, 3);
    EXPECT_EQ(first->usage, 7);
    EXPECT_EQ(first->flags, zTexture::FlagCreation);
    EXPECT_FLOAT_EQ(first->priority, 0.8f);
    EXPECT_EQ(first->core, &core);
    EXPECT_EQ(unnamed->flags, 0u);
    EXPECT_EQ(unnamed->id, "tx");
}

TEST_F(TextureTest, ConstructionDefaults)
{
    zTexture texture(&core, "t");
    EXPECT_EQ(texture.mode, 5);
    EXPECT_FLOAT_EQ(texture.priority, 0.5f);
    EXPECT_EQ(texture.rendererData, nullptr);
    EXPECT_EQ(texture.streamInterface, nullptr);
    EXPECT_FALSE(texture.picture.HasBuffer());
    EXPECT_FALSE(texture.picture.format.IsDifferent(PixelFormatARGB32));
}

TEST_F(TextureTest, DeletingATextureFreesItOnTheRendererAndLeavesTheCache)
{
    zTexture* doomed = zTexture::New(&core, "doomed", 0, 0, false, 0.5f);
    zTexture* kept = zTexture::New(&core, "kept", 0, 0, false, 0.5f);
    delete doomed;
    ASSERT_EQ(renderer.frees.size(), 1u);
    EXPECT_EQ(renderer.frees[0], doomed);
    EXPECT_EQ(core.GetTextures().GetCount(), 1);
    EXPECT_EQ(core.GetTextures().GetFirst(), kept);
    core.DeleteAllResources();
    EXPECT_EQ(core.GetTextures().GetCount(), 0);
    EXPECT_EQ(renderer.frees.size(), 2u);
}

TEST_F(TextureTest, SetupReportsItsStepOnlyWhenAHookIsSet)
{
    zTexture* texture = zTexture::New(&core, "t", 0, 0, false, 0.5f);
    EXPECT_TRUE(texture->Setup());
    EXPECT_TRUE(progressSteps.empty());
    GlobalSetupProgressHook = RecordProgress;
    EXPECT_TRUE(texture->Setup());
    EXPECT_EQ(progressSteps, std::vector<std::string>{"Texture Setup"});
    EXPECT_EQ(renderer.CountSetups(texture), 2);
}

TEST_F(TextureTest, PathEqualsNameOnlyForATextureLoadedFromItsName)
{
    EXPECT_FALSE(zTexture::IsPathEqualToName(nullptr));
    zTexture texture(&core, "pic.tga");
    EXPECT_FALSE(zTexture::IsPathEqualToName(&texture));
    texture.path = "data/pic.tga";
    EXPECT_FALSE(zTexture::IsPathEqualToName(&texture));
    texture.path = "pic.tga";
    EXPECT_TRUE(zTexture::IsPathEqualToName(&texture));
}

} // namespace
