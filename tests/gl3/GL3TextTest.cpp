// Raster-font text drawn over the frame.

#include "GL3TestSupport.h"
#include "core/ResourceTestSupport.h"

#include "core/font/zRasterFont.h"

namespace {

constexpr int32_t Width = 64;
constexpr int32_t Height = 48;

// A font whose 'A' is its whole 4 x 4 white page, one unit wide and high.
class GLText : public GLRendererTest {
protected:
    void SetUp() override
    {
        GLRendererTest::SetUp();
        ASSERT_TRUE(Open(Width, Height));
        zPicture page;
        page.AllocAs(4, 4, PixelFormatARGB32);
        for (int32_t i = 0; i < 16 * 4; ++i)
            page.pixels[i] = 0xFF;
        std::vector<uint8_t> tga;
        ASSERT_TRUE(lowlevel_tga_encode(page, tga));
        files.Write("font_00.tga", std::string(tga.begin(), tga.end()));
        files.Write("font.zml", "<ZML=1.0>\n<Font=\n<Common=\n<Height=1.0>\n<BaseLine=1.0>\n<PageCount=1>\n>\n"
                                "<Char=<Id=65>\n<U=0.0>\n<V=0.0>\n<W=1.0>\n<H=1.0>\n<Step=1.0>>\n>\n");
        font = std::make_unique<zRasterFont>(&core);
        ASSERT_TRUE(font->Load("font.zml", "font"));
        ASSERT_NE(font->GetPageTexture(0), nullptr);
        ASSERT_NE(font->GetPageTexture(0)->rendererData, nullptr);
        renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, 0);
    }
    void TearDown() override
    {
        font.reset();
        GLRendererTest::TearDown();
    }

    // Red channel of a pixel counted from the top-left corner.
    int RedAt(const std::vector<uint8_t>& image, int32_t x, int32_t yFromTop)
    {
        return image[(size_t(Height - 1 - yFromTop) * Width + x) * 3];
    }

    ResourceFiles files;
    std::unique_ptr<zRasterFont> font;
};

TEST_F(GLText, LeftAlignedTextStartsAtItsPosition)
{
    const float red[4] = {1.0f, 0.0f, 0.0f, 1.0f};
    // Size 0.5: a glyph a quarter of the output wide and high, at the top left.
    renderer->Write(font.get(), "A", 0.0f, 0.0f, 0.5f, false, 0, red);
    const std::vector<uint8_t> image = ReadBack(Width, Height);
    EXPECT_GT(RedAt(image, 4, 4), 200);
    EXPECT_GT(RedAt(image, 12, 8), 200);
    EXPECT_LT(RedAt(image, 24, 4), 20);
    EXPECT_LT(RedAt(image, 4, 20), 20);
    EXPECT_EQ(renderer->FindFreeTextureUnit(), 0);
}

TEST_F(GLText, RightAlignedTextAtZeroEndsAtTheRightEdge)
{
    renderer->Write(font.get(), "A", 0.0f, 0.0f, 0.5f, false, 2, nullptr);
    const std::vector<uint8_t> image = ReadBack(Width, Height);
    EXPECT_GT(RedAt(image, Width - 2, 4), 200);
    EXPECT_GT(RedAt(image, Width - 14, 4), 200);
    EXPECT_LT(RedAt(image, Width - 20, 4), 20);
}

TEST_F(GLText, ANewLineMovesDownByTheLineHeight)
{
    renderer->Write(font.get(), "A\nA", 0.0f, 0.0f, 0.5f, false, 0, nullptr);
    const std::vector<uint8_t> image = ReadBack(Width, Height);
    // Line height 1 x size 0.5 x 0.5: a quarter of the output lower.
    EXPECT_GT(RedAt(image, 4, 4), 200);
    EXPECT_GT(RedAt(image, 4, Height / 4 + 4), 200);
    EXPECT_LT(RedAt(image, 4, Height / 2 + 4), 20);
}

} // namespace
