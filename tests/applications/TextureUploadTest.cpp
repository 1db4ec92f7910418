// A script replaces a video texture's picture with pictures of other formats
// and uploads it, on the OpenGL renderer off screen: the texture must hold
// what the pictures show, read in their own formats.
#include "applications/skorva/TavrinViewer.h"
#include "bfgt/picture/zPicture.h"
#include "bfgt/picture/zPictureIO.h"
#include "core/resource/TextureStreamInterface.h"
#include "core/resource/zTexture.h"
#include "framework/system/zLogStream.h"
#include "gl3/system/zGL3Renderer.h"
#include "support/FileSystemGuard.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::string Data = std::string(TAVRIN_TEST_DATA) + "/applications/";

zTexture* FindVideoTexture(Tavrin& core)
{
    for (auto* entry = core.GetTextures().GetFirst(); entry != nullptr; entry = entry->next) {
        auto* texture = static_cast<zTexture*>(entry);
        if (texture->streamInterface != nullptr)
            return texture;
    }
    return nullptr;
}

// Level 0 of the texture as RGBA bytes, and its size.
std::vector<uint8_t> ReadTexture(const zTexture* texture, GLint& width, GLint& height)
{
    glBindTexture(GL_TEXTURE_2D, static_cast<const zGL3TextureRecord*>(texture->rendererData)->name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    std::vector<uint8_t> texels(size_t(width) * size_t(height) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return texels;
}

// Channels of the top left picture-sized part of the texture that differ
// from the file's pixels by more than the rounding of float to byte.
int CountDifferingChannels(const zTexture* texture, const char* file)
{
    zPicture expected;
    EXPECT_TRUE(zPictureIO::Load(expected, (Data + file).c_str()));
    EXPECT_TRUE(expected.ConvertTo(PixelFormatABGR32));
    GLint width = 0, height = 0;
    const std::vector<uint8_t> texels = ReadTexture(texture, width, height);
    EXPECT_GE(width, expected.width);
    EXPECT_GE(height, expected.height);
    if (width < expected.width || height < expected.height)
        return -1;
    int differing = 0;
    for (int32_t y = 0; y < expected.height; ++y) {
        for (int32_t x = 0; x < expected.width; ++x) {
            const uint8_t* want = expected.pixels + (size_t(y) * size_t(expected.width) + size_t(x)) * 4;
            const uint8_t* got = texels.data() + (size_t(y) * size_t(width) + size_t(x)) * 4;
            for (int c = 0; c < 3; ++c)
                differing += std::abs(int(want[c]) - int(got[c])) > 1 ? 1 : 0;
        }
    }
    return differing;
}

TEST(TextureUpload, AScriptReloadsAVideoTexturesPictureInOtherFormats)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    FileSystemGuard guard;
    TavrinViewer viewer;
    std::vector<std::string> arguments = {"tavrin", "retexture.zms", "-f", Data, "-S", TAVRIN_BUILD_DATA,
                                          "-r", "gl2", "-m", "none", "-ignore_esc"};
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    viewer.Init();
    viewer.width = 64;
    viewer.height = 48;
    ASSERT_TRUE(viewer.ParseCommandLine(int(argv.size()), argv.data()));
    ASSERT_TRUE(viewer.Setup());
    // Eight bits a channel, so that the texels can be compared exactly.
    ASSERT_NE(viewer.core.renderer, nullptr);
    viewer.core.renderer->optionFlags |= zGL3Renderer::OptionTextureNoCompression;

    struct Case {
        const char* file;
        zPixelFormat loaded;
    };
    for (const Case& c : {Case{"retexture.bmp", PixelFormatBGR24}, Case{"retexture.hdr", PixelFormatRGBFloat}}) {
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(viewer.Frame());
        zTexture* video = FindVideoTexture(viewer.core);
        ASSERT_NE(video, nullptr);
        ASSERT_NE(video->rendererData, nullptr);
        ASSERT_EQ(video->picture.width, 64);
        ASSERT_EQ(video->picture.height, 40);
        // The picture keeps the file's format: the texture is what must cope.
        EXPECT_EQ(video->picture.format.bitsPerPixel, c.loaded.bitsPerPixel);
        EXPECT_EQ(video->picture.format.isFloat, c.loaded.isFloat);
        EXPECT_EQ(CountDifferingChannels(video, c.file), 0);
    }
    viewer.Shutdown();
}

} // namespace
