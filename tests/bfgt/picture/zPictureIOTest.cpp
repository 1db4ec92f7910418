#include "bfgt/picture/zPictureIO.h"

#include "bfgt/picture/JpegCodec.h"
#include "PictureTestSupport.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

int CountNamed(const char* name)
{
    int count = 0;
    zLinkedListCursor cursor;
    while (zPictureIOCodec* codec = zPictureIO::GetCodecList().NextAs<zPictureIOCodec>(cursor))
        count += codec->GetName() == name ? 1 : 0;
    return count;
}

// A codec that claims every file and hands back what it was told to.
class StubCodec : public zPictureIOCodec {
public:
    StubCodec(const char* name, int32_t w, int32_t h) : zPictureIOCodec(name, "Test codec.", 0), width(w), height(h) {}

    bool Decode(const char*, int32_t& w, int32_t& h, void*& pixels) override
    {
        w = width;
        h = height;
        pixels = std::calloc(4, 4);
        return true;
    }
    bool FreeBuffer(void** pixels) override
    {
        ++freed;
        std::free(*pixels);
        *pixels = nullptr;
        return true;
    }

    int32_t width, height;
    int freed = 0;
};

// Registers a codec for one test and takes it out of the program-wide list afterwards.
class ScopedCodec {
public:
    explicit ScopedCodec(zPictureIOCodec* c) : codec(c) { registered = zPictureIO::RegisterIOCodec(codec, false); }
    ~ScopedCodec()
    {
        if (registered)
            zPictureIO::GetCodecList().Remove(codec);
        else
            delete codec;
    }
    zPictureIOCodec* codec;
    bool registered;
};

Bytes SmallTga()
{
    Bytes file(18, 0);
    file[2] = 2, file[12] = 1, file[14] = 1, file[16] = 24, file[17] = 0x20;
    file.insert(file.end(), {1, 2, 3});
    return file;
}

} // namespace

TEST(zPictureIO, RegistersEachCodecNameOnce)
{
    RegisterPictureCodecs(false);
    ASSERT_EQ(CountNamed("Jpeglib"), 1);
    ASSERT_EQ(CountNamed("HDR"), 1);

    LogCapture capture;
    RegisterPictureCodecs(true);
    auto* second = new JpegCodec();
    EXPECT_FALSE(zPictureIO::RegisterIOCodec(second, true));
    delete second;
    EXPECT_EQ(CountNamed("Jpeglib"), 1);
    EXPECT_EQ(CountNamed("HDR"), 1);
    EXPECT_TRUE(capture.Contains("Beginning picture I/O codec registration sequence...\n"));
    EXPECT_TRUE(capture.Contains("[*] zPictureIO::RegisterIOCodec ("));
    EXPECT_TRUE(capture.Contains(") Codec 'Jpeglib' is already registered.\n"));
    EXPECT_TRUE(capture.Contains("All codec registered.\n"));

    // The start-up codecs come in the order HDR, Jpeglib.
    int hdr = -1, jpeg = -1;
    for (int i = 0; i < zPictureIO::GetCodecList().GetCount(); ++i) {
        const zString& name = zPictureIO::GetCodecList().GetAs<zPictureIOCodec>(i)->GetName();
        hdr = name == "HDR" ? i : hdr;
        jpeg = name == "Jpeglib" ? i : jpeg;
    }
    EXPECT_LT(hdr, jpeg);

    EXPECT_FALSE(zPictureIO::RegisterIOCodec(nullptr, true));
}

TEST(zPictureIO, VerboseRegistrationLogsThePlainLine)
{
    LogCapture capture;
    auto* codec = new StubCodec("VerboseStub", 1, 1);
    ASSERT_TRUE(zPictureIO::RegisterIOCodec(codec, true));
    EXPECT_EQ(capture.lines.back(), "Codec ('VerboseStub') registered successfully.\n");
    zPictureIO::GetCodecList().Remove(codec);
}

TEST(zPictureIO, LoadsEachFormatIntoItsPixelFormat)
{
    RegisterPictureCodecs(false);
    TempDir dir;
    Bytes jpeg;
    const Bytes rgb(8 * 8 * 3, 200);
    ASSERT_TRUE(JpegCodec::EncodeMemory(8, 8, rgb.data(), jpeg));
    Bytes bmp{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0};
    bmp.resize(54, 0);
    bmp.insert(bmp.end(), {7, 8, 9, 0});
    const std::string hdr = "#?RADIANCE\n\n-Y 1 +X 2\n";
    Bytes hdrFile(hdr.begin(), hdr.end());
    hdrFile.insert(hdrFile.end(), {1, 2, 3, 136, 4, 5, 6, 137});

    struct Case {
        const char* file;
        Bytes bytes;
        zPixelFormat format;
        int32_t width;
    } cases[] = {
        {"a.tga", SmallTga(), PixelFormatARGB32, 1},
        {"b.bmp", bmp, PixelFormatRGB24, 1},
        {"c.jpg", jpeg, PixelFormatARGB32, 8},
        {"d.hdr", hdrFile, PixelFormatRGBFloat, 2},
    };
    for (const Case& c : cases) {
        const std::string path = dir.Write(c.file, AsString(c.bytes));
        zPicture picture;
        ASSERT_TRUE(zPictureIO::Load(picture, path.c_str())) << c.file;
        EXPECT_FALSE(picture.format.IsDifferent(c.format)) << c.file;
        EXPECT_EQ(picture.width, c.width) << c.file;
    }

    zPicture floating;
    ASSERT_TRUE(zPictureIO::Load(floating, dir.Path("d.hdr").c_str()));
    EXPECT_EQ(PixelBytes(floating), FloatBytes({1, 2, 3, 8, 10, 12}));
}

TEST(zPictureIO, LoadKeepsTheBufferOfAPictureOfTheSameSize)
{
    TempDir dir;
    const std::string path = dir.Write("a.tga", AsString(SmallTga()));
    uint8_t lent[4] = {9, 9, 9, 9};
    zPicture picture;
    picture.SetExternalBuffer(lent, 1, 1, PixelFormatABGR32);
    ASSERT_TRUE(zPictureIO::Load(picture, path.c_str()));
    EXPECT_EQ(picture.pixels, lent);
    EXPECT_EQ(PixelBytes(picture), (Bytes{1, 2, 3, 255}));
    EXPECT_FALSE(picture.format.IsDifferent(PixelFormatARGB32));
}

TEST(zPictureIO, FilesNothingDecodesFailAndLeaveThePicture)
{
    RegisterPictureCodecs(false);
    TempDir dir;
    zPicture picture = MakePicture(1, 1, PixelFormatBGR565, {0x34, 0x12});

    LogCapture capture;
    EXPECT_FALSE(zPictureIO::Load(picture, dir.Path("missing.tga").c_str()));
    EXPECT_TRUE(capture.lines.empty());

    // A PNG is no TGA (image type word 0x474E), no BMP, and no codec's.
    const std::string png = dir.Write("p.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    EXPECT_FALSE(zPictureIO::Load(picture, png.c_str()));
    ASSERT_EQ(capture.lines.size(), 1u);
    EXPECT_NE(capture.lines[0].find("[!] zPictureIO::Load ("), std::string::npos);
    EXPECT_NE(capture.lines[0].find(") No picture decoder for '" + png + "'.\n"), std::string::npos);

    const std::string empty = dir.Write("empty.tga", "");
    EXPECT_FALSE(zPictureIO::Load(picture, empty.c_str()));
    EXPECT_EQ(PixelBytes(picture), (Bytes{0x34, 0x12}));
    EXPECT_FALSE(picture.format.IsDifferent(PixelFormatBGR565));
}

TEST(zPictureIO, CodecBufferThatCannotBecomeAPictureIsReleased)
{
    TempDir dir;
    const std::string path = dir.Write("x.raw", "raw");
    for (int32_t size : {0, -1, 1 << 20}) {
        auto* stub = new StubCodec("HugeStub", size, size);
        ScopedCodec scoped(stub);
        ASSERT_TRUE(scoped.registered);
        // Put the stub first so that nothing else can answer.
        zPictureIO::GetCodecList().Unlink(stub);
        zPictureIO::GetCodecList().Add(stub, false);

        LogCapture capture;
        zPicture picture = MakePicture(1, 1, PixelFormatBGR565, {0x34, 0x12});
        EXPECT_FALSE(zPictureIO::Load(picture, path.c_str()));
        EXPECT_EQ(stub->freed, 1);
        EXPECT_TRUE(capture.Contains("Could not allocate picture object."));
        EXPECT_TRUE(capture.Contains("No picture decoder for '" + path + "'."));
        EXPECT_EQ(PixelBytes(picture), (Bytes{0x34, 0x12}));
    }
}
