// Geometry, texture and line uploads against a live context.

#include "GL3TestSupport.h"
#include "support/LogCapture.h"

namespace {

using GLUpload = GLRendererTest;

// A renderer whose texture records cannot be allocated.
class NoMemoryRenderer : public zGL3Renderer {
public:
    using zGL3Renderer::zGL3Renderer;

protected:
    zGL3TextureRecord* AllocateTextureRecord() override { return nullptr; }
};

zTexture* PictureTexture(Tavrin& core, const char* name, int32_t w, int32_t h, uint32_t rgba)
{
    zTexture* texture = zTexture::New(&core, name, 0, 0, false, 0.5f);
    texture->picture.AllocAs(w, h, PixelFormatABGR32);
    auto* p = reinterpret_cast<uint32_t*>(texture->picture.pixels);
    for (int32_t i = 0; i < w * h; ++i)
        p[i] = rgba;
    return texture;
}

GLint UploadedSide(zTexture* texture, GLenum which)
{
    glBindTexture(GL_TEXTURE_2D, static_cast<zGL3TextureRecord*>(texture->rendererData)->name);
    GLint value = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, which, &value);
    glBindTexture(GL_TEXTURE_2D, 0);
    return value;
}

TEST_F(GLUpload, AFailedRecordAllocationReturnsFalse)
{
    renderer.reset();
    renderer = std::make_unique<NoMemoryRenderer>(&core);
    ASSERT_TRUE(Open());
    zTexture* texture = PictureTexture(core, "t", 4, 4, 0xFF0000FFu);
    LogCapture log;
    EXPECT_FALSE(renderer->SetupTexture(texture));
    EXPECT_TRUE(log.Contains("Failed to allocate texture data structure."));
    EXPECT_EQ(texture->rendererData, nullptr);
    EXPECT_EQ(renderer->textureMemory, 0u);
    delete texture;
}

TEST_F(GLUpload, TexturesAreSizedByTheRulesAndSetUpOnce)
{
    // Safe mode: no G-buffer in the video-memory total.
    renderer->optionFlags |= zGL3Renderer::OptionOptimizeVideoRam | zGL3Renderer::OptionTextureNoCompression |
        zGL3Renderer::OptionDisableShader;
    ASSERT_TRUE(Open());
    zTexture* reducible = PictureTexture(core, "reducible", 300, 200, 0xFF0000FFu);
    zTexture* kept = PictureTexture(core, "kept", 300, 200, 0xFF0000FFu);
    kept->priority = 0.6f;
    ASSERT_TRUE(renderer->SetupTexture(reducible));
    ASSERT_TRUE(renderer->SetupTexture(kept));
    EXPECT_EQ(UploadedSide(reducible, GL_TEXTURE_WIDTH), 128);
    EXPECT_EQ(UploadedSide(reducible, GL_TEXTURE_HEIGHT), 128);
    EXPECT_EQ(UploadedSide(kept, GL_TEXTURE_WIDTH), 512);
    EXPECT_EQ(UploadedSide(kept, GL_TEXTURE_HEIGHT), 256);
    // RGBA8: 4 bytes a texel, counted once.
    EXPECT_EQ(renderer->textureMemory, uint64_t(128 * 128 * 4 + 512 * 256 * 4));
    const uint64_t total = renderer->textureMemory;
    const GLuint name = static_cast<zGL3TextureRecord*>(kept->rendererData)->name;
    EXPECT_TRUE(renderer->SetupTexture(kept));
    EXPECT_EQ(renderer->textureMemory, total);
    EXPECT_EQ(static_cast<zGL3TextureRecord*>(kept->rendererData)->name, name);
    // The CPU copies are released after upload: width and height stay.
    EXPECT_EQ(kept->picture.pixels, nullptr);
    EXPECT_EQ(kept->picture.width, 512);
    renderer->FreeTexture(kept);
    renderer->FreeTexture(reducible);
    EXPECT_EQ(renderer->textureMemory, 0u);
    delete kept;
    delete reducible;
}

TEST_F(GLUpload, AnEmptyPictureGetsTheErrorTexel)
{
    ASSERT_TRUE(Open());
    zTexture* texture = zTexture::New(&core, "empty", 0, 0, false, 0.5f);
    LogCapture log;
    ASSERT_TRUE(renderer->SetupTexture(texture));
    EXPECT_TRUE(log.Contains("Invalid texture 'empty'. Uploading error bitmap."));
    EXPECT_EQ(static_cast<zGL3TextureRecord*>(texture->rendererData)->bytes, 4u);
    EXPECT_EQ(UploadedSide(texture, GL_TEXTURE_WIDTH), 1);
    delete texture;
}

TEST_F(GLUpload, UpdateTextureSkipsPixelsThatWereFreed)
{
    ASSERT_TRUE(Open());
    zTexture* texture = PictureTexture(core, "stream", 4, 4, 0xFF00FF00u);
    texture->usage = 1;
    texture->flags |= GL3TextureRaw;
    ASSERT_TRUE(renderer->SetupTexture(texture));
    ASSERT_EQ(texture->picture.pixels, nullptr);
    // The picture's pixels are gone: the update has nothing to send.
    renderer->UpdateTexture(texture, texture->picture.pixels, 4, 4, 0, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    std::vector<uint32_t> texels(16);
    glBindTexture(GL_TEXTURE_2D, static_cast<zGL3TextureRecord*>(texture->rendererData)->name);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_EQ(texels[5], 0xFF00FF00u);
    // Real pixels do replace the rectangle.
    const uint32_t red[4] = {0xFF0000FFu, 0xFF0000FFu, 0xFF0000FFu, 0xFF0000FFu};
    renderer->UpdateTexture(texture, reinterpret_cast<const uint8_t*>(red), 2, 2, 1, 1);
    glBindTexture(GL_TEXTURE_2D, static_cast<zGL3TextureRecord*>(texture->rendererData)->name);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_EQ(texels[5], 0xFF0000FFu);
    EXPECT_EQ(texels[0], 0xFF00FF00u);
    glBindTexture(GL_TEXTURE_2D, 0);
    delete texture;
}

// A window's cache: an ARGB picture kept for redrawing and re-sent whole.
// Its colours must arrive as they were drawn, red as red.
TEST_F(GLUpload, AKeptARGBPictureIsResentInItsOwnLayout)
{
    ASSERT_TRUE(Open());
    zTexture* texture = zTexture::New(&core, "cache", 0, 0, false, 0.5f);
    texture->flags |= zTexture::FlagDynamic;
    ASSERT_TRUE(texture->picture.AllocAs(4, 4, PixelFormatARGB32));
    auto* words = reinterpret_cast<uint32_t*>(texture->picture.pixels);
    for (int i = 0; i < 16; ++i)
        words[i] = 0xFF0000FFu; // opaque blue
    ASSERT_TRUE(renderer->SetupTexture(texture));
    ASSERT_NE(texture->picture.pixels, nullptr);
    EXPECT_FALSE(texture->picture.format.IsDifferent(PixelFormatARGB32));
    words[5] = 0xFFFF0000u; // opaque red
    renderer->UpdateTexture(texture, texture->picture.pixels, 4, 4, 0, 0);
    std::vector<uint8_t> texels(16 * 4);
    glBindTexture(GL_TEXTURE_2D, static_cast<zGL3TextureRecord*>(texture->rendererData)->name);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(std::vector<uint8_t>(texels.begin() + 20, texels.begin() + 24), (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(std::vector<uint8_t>(texels.begin(), texels.begin() + 4), (std::vector<uint8_t>{0, 0, 255, 255}));
    delete texture;
}

// Scripts can load a picture of any format into a texture's picture and
// re-send it: each is read in its own format, never as 4-byte texels.
TEST_F(GLUpload, AKeptPictureOfAnyFormatIsResentAsItsColours)
{
    struct Case {
        const char* name;
        zPixelFormat format;
    };
    const Case cases[] = {
        {"BGR24", PixelFormatBGR24}, {"RGB24", PixelFormatRGB24}, {"BGR565", PixelFormatBGR565},
        {"BGRA32", PixelFormatBGRA32}, {"RGB floats", PixelFormatRGBFloat},
    };
    ASSERT_TRUE(Open());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        zTexture* texture = zTexture::New(&core, "reloaded", 0, 0, false, 0.5f);
        texture->flags |= zTexture::FlagDynamic;
        ASSERT_TRUE(texture->picture.AllocAs(4, 4, PixelFormatARGB32));
        auto* words = reinterpret_cast<uint32_t*>(texture->picture.pixels);
        std::fill(words, words + 16, 0xFF808080u);
        ASSERT_TRUE(renderer->SetupTexture(texture));
        // Eight colours of full and empty channels, which every format holds exactly.
        auto full = [](uint32_t i, uint32_t bit) { return (i & bit) != 0 ? 0xFFu : 0u; };
        for (uint32_t i = 0; i < 16; ++i)
            words[i] = 0xFF000000u | full(i, 1) << 16 | full(i, 2) << 8 | full(i, 4);
        ASSERT_TRUE(texture->picture.ConvertTo(c.format));
        renderer->UpdateTexture(texture, texture->picture.pixels, 4, 4, 0, 0);
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        std::vector<uint8_t> texels(16 * 4);
        glBindTexture(GL_TEXTURE_2D, static_cast<zGL3TextureRecord*>(texture->rendererData)->name);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        for (uint32_t i = 0; i < 16; ++i) {
            const std::vector<uint8_t> expected = {uint8_t(full(i, 1)), uint8_t(full(i, 2)), uint8_t(full(i, 4))};
            const auto texel = texels.begin() + i * 4;
            EXPECT_EQ(std::vector<uint8_t>(texel, texel + 3), expected) << "texel " << i;
        }
        delete texture;
    }
}

TEST_F(GLUpload, APictureThatCannotBeBroughtToAnUploadFormatIsNotSetUp)
{
    ASSERT_TRUE(Open());
    // Floats of 4 bytes a pixel: read as three floats a texel, the upload
    // would read three times past the pixels.
    const zPixelFormat narrowFloats{1, 0, 0, 1, 2, 32, 1};
    zTexture* texture = zTexture::New(&core, "narrow", 0, 0, false, 0.5f);
    ASSERT_TRUE(texture->picture.AllocAs(4, 4, narrowFloats));
    const uint64_t before = renderer->textureMemory;
    LogCapture log;
    EXPECT_FALSE(renderer->SetupTexture(texture));
    EXPECT_TRUE(log.Contains("Could not convert the picture of texture 'narrow' for upload."));
    EXPECT_EQ(texture->rendererData, nullptr);
    EXPECT_EQ(renderer->textureMemory, before);
    delete texture;
}

TEST_F(GLUpload, AnUpdateLargerThanTheTexturesPictureIsRefused)
{
    ASSERT_TRUE(Open());
    // A 3x3 picture in 4x4 texels: an update of 4x4 would read past its pixels.
    zTexture* texture = PictureTexture(core, "small", 3, 3, 0xFF00FF00u);
    texture->flags |= zTexture::FlagDynamic;
    ASSERT_TRUE(renderer->SetupTexture(texture));
    ASSERT_EQ(UploadedSide(texture, GL_TEXTURE_WIDTH), 4);
    LogCapture log;
    renderer->UpdateTexture(texture, texture->picture.pixels, 4, 4, 0, 0);
    EXPECT_TRUE(log.Contains("Texture 'small': an update of 4x4 is larger than its 3x3 picture."));
    delete texture;
}

TEST_F(GLUpload, GeometryBecomesOneBatchPerListAndIsFreedWhole)
{
    ASSERT_TRUE(Open());
    zGeometry* g = zGeometry::New(&core, "quad");
    FillQuad(*g, 0.0f, 0.0f, 1.0f, 5.0f);
    g->materials[0]->flags = zMaterial::FlagLit;
    g->Setup();
    auto* record = static_cast<zGL3GeometryRecord*>(g->rendererData);
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(record->batchCount, 1);
    const zGL3Batch& batch = record->batches[0];
    EXPECT_EQ(batch.indexCount, 6);
    EXPECT_NE(batch.vertexBuffer, 0u);
    EXPECT_NE(batch.indexBuffer, 0u);
    EXPECT_EQ(batch.material, g->materials[0]);
    // Positions and normals for the quad's 4 corners; no stage reads the UVs.
    EXPECT_EQ(batch.normals, 12 * 4);
    EXPECT_EQ(batch.uvSets[0], -1);
    EXPECT_EQ(batch.vertexSize, 24 * 4);
    EXPECT_EQ(renderer->geometryMemory, uint64_t(24 * 4));
    // Setting up again keeps the record.
    EXPECT_TRUE(renderer->SetupGeometry(g));
    EXPECT_EQ(g->rendererData, record);
    renderer->FreeGeometry(g);
    EXPECT_EQ(g->rendererData, nullptr);
    EXPECT_EQ(renderer->geometryMemory, 0u);
    delete g;
}

TEST_F(GLUpload, GeometryIsRefusedWhenEmptyOrBeforeVideo)
{
    zGeometry* early = zGeometry::New(&core, "early");
    FillQuad(*early, 0.0f, 0.0f, 1.0f, 5.0f);
    {
        LogCapture log;
        EXPECT_FALSE(renderer->SetupGeometry(early));
        EXPECT_TRUE(log.Contains("cannot setup geometry 'early', system not ready."));
    }
    ASSERT_TRUE(Open());
    zGeometry* empty = zGeometry::New(&core, "empty");
    LogCapture log;
    EXPECT_FALSE(renderer->SetupGeometry(empty));
    EXPECT_TRUE(log.Contains("cannot setup geometry 'empty', geometry is empty."));
    EXPECT_EQ(empty->rendererData, nullptr);
    delete empty;
    delete early;
}

TEST_F(GLUpload, TheLineListHolds4096LinesAndSaysSoOnce)
{
    ASSERT_TRUE(Open());
    LogCapture log;
    for (int i = 0; i < 4097; ++i)
        renderer->Line3D(zVector(0, 0, 0), zVector(1, 1, 1), nullptr);
    EXPECT_EQ(renderer->lineCount, 4096u);
    EXPECT_EQ(renderer->lines[0].colour[0], 1.0f);
    EXPECT_EQ(renderer->lines[0].colour[2], 0.0f);
    renderer->Line3D(zVector(0, 0, 0), zVector(1, 1, 1), nullptr);
    int reports = 0;
    for (const std::string& line : log.lines)
        reports += line.find("The line display list is full") != std::string::npos ? 1 : 0;
    EXPECT_EQ(reports, 1);
    renderer->FlushLines();
    EXPECT_EQ(renderer->lineCount, 0u);
    renderer->Line3D(zVector(0, 0, 0), zVector(1, 1, 1), nullptr);
    EXPECT_EQ(renderer->lineCount, 1u);
}

} // namespace
