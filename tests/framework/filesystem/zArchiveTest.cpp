#include "framework/filesystem/zArchive.h"

#include "framework/filesystem/zIODiskFS.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

namespace {

// Archive bytes built by hand, little-endian.
struct Bytes {
    std::string data;
    Bytes& U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            data.push_back(char((v >> (8 * i)) & 0xFF));
        return *this;
    }
    Bytes& U8(uint8_t v)
    {
        data.push_back(char(v));
        return *this;
    }
    Bytes& Text(const std::string& s)
    {
        data += s;
        return *this;
    }
    Bytes& Stored(const std::string& name, const std::string& content)
    {
        return U32(uint32_t(name.size())).Text(name).U8(0).U32(uint32_t(content.size())).Text(content);
    }
    Bytes& Deflated(const std::string& name, const std::string& packed, uint32_t size, uint8_t flags = 1)
    {
        return U32(uint32_t(name.size())).Text(name).U8(flags).U32(size).U32(uint32_t(packed.size())).Text(packed);
    }
};

std::string Deflate(const std::string& text)
{
    std::string packed(compressBound(uLong(text.size())), '\0');
    uLongf size = uLongf(packed.size());
    compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(text.data()), uLong(text.size()), 6);
    packed.resize(size);
    return packed;
}

Bytes Zard(uint32_t alignment = 0, uint32_t blockSize = 0)
{
    return Bytes().U32(zArchive::MagicWithHeader).U32(alignment).U32(blockSize);
}

std::string ReadEntry(zArchive& archive, const char* name)
{
    const zArchiveEntry* entry = archive.FindEntry(name);
    if (entry == nullptr)
        return "<missing>";
    std::string data(entry->size, '\0');
    if (!archive.FileRead(name, data.data(), uint32_t(data.size())))
        return "<failed>";
    return data;
}

std::string Noise(size_t size)
{
    std::string data(size, '\0');
    uint32_t state = 12345;
    for (char& c : data) {
        state = state * 1664525u + 1013904223u;
        c = char(state >> 24);
    }
    return data;
}

class zArchiveFixture : public ::testing::Test {
protected:
    std::string Write(const std::string& bytes) { return dir.Write("test.zar", bytes); }
    TempDir dir;
};

} // namespace

TEST_F(zArchiveFixture, UnalignedArchiveIsHeaderEntriesAndTerminator)
{
    const std::string file = dir.Path("out.zar");
    {
        zArchive archive;
        ASSERT_TRUE(archive.CreateNew(file.c_str(), nullptr));
        ASSERT_TRUE(archive.MemoryBlockWrite("a.txt", "hello", 5, -1));
        ASSERT_TRUE(archive.MemoryBlockWrite("b", "", 0, -1));
        EXPECT_EQ(archive.directory.GetCount(), 2);
        EXPECT_EQ(archive.FindEntry("a.txt")->compressedSize, 0u);
        EXPECT_EQ(archive.FindEntry("a.txt")->offset, 12 + 4 + 5 + 1 + 4);
        LogCapture capture;
        EXPECT_TRUE(archive.Close());
        EXPECT_EQ(capture.lines, std::vector<std::string>{"Archive complete, closing.\n"});
    }
    EXPECT_EQ(dir.Read("out.zar"), Zard().Stored("a.txt", "hello").Stored("b", "").U32(0xFFFFFFFF).data);
}

TEST_F(zArchiveFixture, BlockSizePadsTheEndWithWholeBlocks)
{
    // 12 header + 9 entry fields + 1 name byte + 4 terminator: content of 2022
    // bytes ends the terminator exactly on the block, so a whole block follows.
    for (const size_t contentSize : {size_t(0), size_t(100), size_t(2022), size_t(2023)}) {
        const std::string file = dir.Path("blocks.zar");
        zArchive archive;
        ASSERT_TRUE(archive.SetBlockSize(2048));
        ASSERT_TRUE(archive.CreateNew(file.c_str(), nullptr));
        const std::string content(contentSize, 'x');
        ASSERT_TRUE(archive.MemoryBlockWrite("x", content.data(), uint32_t(content.size()), -1));
        ASSERT_TRUE(archive.Close());

        const std::string bytes = dir.Read("blocks.zar");
        const std::string body = Zard(0, 2048).Stored("x", content).U32(0xFFFFFFFF).data;
        const size_t expectedSize = (body.size() / 2048 + 1) * 2048;
        ASSERT_EQ(bytes.size(), expectedSize) << contentSize;
        EXPECT_EQ(bytes.substr(0, body.size()), body);
        EXPECT_EQ(bytes.substr(body.size()), std::string(expectedSize - body.size(), '\xFF'));
        if (contentSize == 2022) {
            EXPECT_EQ(bytes.size(), 4096u);
        }

        // The padding does not disturb reading.
        ASSERT_TRUE(archive.OpenRead(file.c_str(), false, nullptr));
        EXPECT_EQ(archive.GetBlockSize(), 2048);
        EXPECT_EQ(ReadEntry(archive, "x"), content);
    }
}

TEST_F(zArchiveFixture, WrittenEntriesReadBackAtEveryLevelAndAlignment)
{
    const std::string text(3000, 'a');
    const std::string noise = Noise(1000);
    for (const int32_t alignment : {0, 1, 2, 4, 3, 8, 16}) {
        const std::string file = dir.Path("round.zar");
        zArchive archive;
        ASSERT_TRUE(archive.SetAlignment(alignment));
        ASSERT_TRUE(archive.CreateNew(file.c_str(), nullptr));
        struct Entry {
            const char* name;
            const std::string* data;
            int level;
        } const entries[] = {
            {"stored.txt", &text, -1}, {"fast.txt", &text, 0}, {"default.txt", &text, 6},
            {"best.bin", &noise, 9},   {"dir/sub/n.bin", &noise, 6},
        };
        for (const Entry& e : entries)
            ASSERT_TRUE(archive.MemoryBlockWrite(e.name, e.data->data(), uint32_t(e.data->size()), e.level)) << e.name;
        ASSERT_TRUE(archive.MemoryBlockWrite("empty", "", 0, 6));
        ASSERT_TRUE(archive.Close());

        ASSERT_TRUE(archive.OpenRead(file.c_str(), false, nullptr)) << alignment;
        EXPECT_EQ(archive.GetAlignment(), alignment);
        EXPECT_TRUE(archive.HasHeader());
        ASSERT_EQ(archive.directory.GetCount(), 6) << alignment;
        for (const Entry& e : entries) {
            EXPECT_EQ(ReadEntry(archive, e.name), *e.data) << e.name << " A=" << alignment;
            const zArchiveEntry* entry = archive.FindEntry(e.name);
            EXPECT_EQ(entry->compressed, e.level >= 0 ? 1 : 0);
            if (alignment > 0) {
                EXPECT_EQ(entry->offset % alignment, 0) << e.name;
            }
        }
        EXPECT_EQ(ReadEntry(archive, "empty"), "");
        EXPECT_LT(archive.FindEntry("default.txt")->compressedSize, 100u);
        EXPECT_EQ(archive.FindEntry("stored.txt")->compressedSize, 3000u) << "stored entries read back their size";
    }
}

TEST_F(zArchiveFixture, PlainArchivesHaveNoHeaderWords)
{
    const std::string packed = Deflate("deflated text");
    const std::string file = Write(Bytes().U32(zArchive::MagicPlain).Stored("one", "1").Deflated("two", packed, 13).U32(0xFFFFFFFF).data);
    zArchive archive;
    ASSERT_TRUE(archive.OpenRead(file.c_str(), false, nullptr));
    EXPECT_FALSE(archive.HasHeader());
    EXPECT_EQ(archive.GetAlignment(), 0);
    EXPECT_EQ(ReadEntry(archive, "one"), "1");
    EXPECT_EQ(ReadEntry(archive, "two"), "deflated text");
    EXPECT_EQ(archive.FindEntry("One"), nullptr) << "names are case-sensitive";

    // Without the scan the directory stays empty.
    ASSERT_TRUE(archive.OpenRead(file.c_str(), true, nullptr));
    EXPECT_EQ(archive.directory.GetCount(), 0);
}

TEST_F(zArchiveFixture, OverlongNameLengthEndsTheDirectory)
{
    const std::string file = Write(Zard().Stored("kept", "k").U32(512).Text(std::string(512, 'n')).U8(0).U32(1).Text("z").data);
    zArchive archive;
    ASSERT_TRUE(archive.OpenRead(file.c_str(), false, nullptr));
    EXPECT_EQ(archive.directory.GetCount(), 1);
    EXPECT_EQ(ReadEntry(archive, "kept"), "k");

    // A file that simply ends after its last entry needs no terminator.
    ASSERT_TRUE(archive.OpenRead(Write(Zard().Stored("a", "1").Stored("b", "2").data).c_str(), false, nullptr));
    EXPECT_EQ(archive.directory.GetCount(), 2);
}

TEST_F(zArchiveFixture, MalformedArchivesFailCleanly)
{
    const std::string packed = Deflate("abc");
    struct Case {
        const char* what;
        std::string bytes;
        const char* message;
    } const cases[] = {
        {"empty file", "", "Invalid archive type '"},
        {"wrong magic", Bytes().U32(0x5A415245).Stored("a", "1").data, "Invalid archive type '"},
        {"short magic", "DRA", "Invalid archive type '"},
        {"header cut", Bytes().U32(zArchive::MagicWithHeader).U32(0).data, "Invalid archive header '"},
        {"negative alignment", Zard(0xFFFFFFFC).data, "Invalid archive header '"},
        {"huge alignment", Zard(0x7FFFFFFF).data, "Invalid archive header '"},
        {"negative block size", Zard(0, 0x80000000).data, "Invalid archive header '"},
        {"name cut", Zard().U32(10).Text("abc").data, "Truncated archive directory in '"},
        {"flags cut", Zard().U32(1).Text("a").data, "Truncated archive directory in '"},
        {"size cut", Zard().U32(1).Text("a").U8(0).U8(5).data, "Truncated archive directory in '"},
        {"compressed size cut", Zard().U32(1).Text("a").U8(1).U32(3).data, "Truncated archive directory in '"},
        {"data past the end", Zard().Stored("a", "1").U32(1).Text("b").U8(0).U32(0xFFFFFFF0).Text("xyz").data,
         "Truncated archive directory in '"},
        {"packed data past the end", Zard().U32(1).Text("a").U8(1).U32(3).U32(1000).Text(packed).data,
         "Truncated archive directory in '"},
        {"absurd inflated size", Zard().Deflated("a", packed, 0xFFFFFFFF).data, "Corrupt entry 'a' in archive '"},
        {"alignment past the end", Zard(16).data, "Invalid archive header '"},
    };
    for (const Case& c : cases) {
        const std::string file = Write(c.bytes);
        zArchive archive;
        LogCapture capture;
        EXPECT_FALSE(archive.OpenRead(file.c_str(), false, nullptr)) << c.what;
        EXPECT_TRUE(capture.Contains(std::string("[!] zArchive::OpenRead (")) && capture.Contains(c.message)) << c.what;
        EXPECT_FALSE(archive.IsOpen()) << c.what;
        EXPECT_EQ(archive.directory.GetCount(), 0) << c.what;
        EXPECT_EQ(archive.GetStream(), &GlobalArchiveStream) << c.what;
    }
    EXPECT_EQ(GlobalDiskFS.GetOpenHandleCount(), 0);
}

TEST_F(zArchiveFixture, OpeningWithoutASourceFails)
{
    zArchive archive;
    LogCapture capture;
    EXPECT_FALSE(archive.OpenRead(nullptr, false, nullptr));
    EXPECT_TRUE(capture.Contains("No archive to open.\n"));
    EXPECT_FALSE(archive.OpenRead(dir.Path("missing.zar").c_str(), false, nullptr));
    EXPECT_TRUE(capture.Contains("Failed to open archive '" + dir.Path("missing.zar") + "'.\n"));
    zStream closed;
    EXPECT_FALSE(archive.OpenRead("x", false, &closed));
    EXPECT_TRUE(capture.Contains("Cannot open archive for reading, user stream is not open.\n"));
    EXPECT_FALSE(archive.CreateNew("x", &closed));
    EXPECT_TRUE(capture.Contains("[!] zArchive::CreateNew (") && capture.Contains("Cannot open archive for writing, user stream is not open.\n"));
    EXPECT_FALSE(archive.CreateNew(dir.Path("no/such/dir/x.zar").c_str(), nullptr));
    EXPECT_TRUE(capture.Contains("Failed to open '" + dir.Path("no/such/dir/x.zar") + "' as output archive.\n"));
    EXPECT_FALSE(archive.SetAlignment(-1));
    EXPECT_FALSE(archive.SetBlockSize(zArchive::MaxAlignment + 1));
}

TEST_F(zArchiveFixture, CorruptDeflatedDataIsNotReportedAsRead)
{
    const std::string text = "some text that deflates, some text that deflates";
    std::string damaged = Deflate(text);
    damaged[damaged.size() / 2] ^= 0x55;
    const std::string good = Deflate(text);
    const std::string file = Write(Zard()
                                       .Deflated("damaged", damaged, uint32_t(text.size()))
                                       .Deflated("claims more", good, uint32_t(text.size() + 10))
                                       .Deflated("claims less", good, uint32_t(text.size() - 10))
                                       .U32(6).Text("flag 2").U8(2).U32(uint32_t(text.size())).Text(text)
                                       .Deflated("flag 3", good, uint32_t(text.size()), 3)
                                       .Deflated("good", good, uint32_t(text.size()))
                                       .data);
    zArchive archive;
    ASSERT_TRUE(archive.OpenRead(file.c_str(), false, nullptr));
    std::vector<char> buffer(text.size() + 10, '\0');
    struct Case {
        const char* name;
        const char* message;
    } const cases[] = {
        {"damaged", "Failed to decompress 'damaged' (zlib error "},
        {"claims more", "Failed to decompress 'claims more' (zlib error "},
        {"claims less", "Failed to decompress 'claims less' (zlib error "},
        {"flag 3", "Unknown storage method (3) for 'flag 3'.\n"},
        {"missing", "Could not find 'missing'.\n"},
    };
    for (const Case& c : cases) {
        LogCapture capture;
        EXPECT_FALSE(archive.FileRead(c.name, buffer.data(), uint32_t(buffer.size()))) << c.name;
        EXPECT_TRUE(capture.Contains("[!] zArchive::FileRead (") && capture.Contains(c.message)) << c.name;
    }
    // Flag 2 has bit 0 clear: its sizes read like a stored entry's, and it is refused too.
    LogCapture capture;
    EXPECT_FALSE(archive.FileRead("flag 2", buffer.data(), uint32_t(buffer.size())));
    EXPECT_TRUE(capture.Contains("Unknown storage method (2) for 'flag 2'.\n"));
    EXPECT_FALSE(archive.FileRead("good", buffer.data(), uint32_t(text.size() - 1)));
    EXPECT_TRUE(capture.Contains("Buffer too small for 'good'"));
    EXPECT_EQ(ReadEntry(archive, "good"), text);
}

TEST_F(zArchiveFixture, CompressedSizeNearTheTopOfTheRangeIsRefused)
{
    const std::string file = Write(Zard().Stored("a", "1").data);
    zArchive archive;
    ASSERT_TRUE(archive.OpenRead(file.c_str(), false, nullptr));
    zArchiveEntry* entry = archive.FindEntry("a");
    entry->compressed = 1;
    entry->compressedSize = 0xFFFFFFF8u; // + 16 would wrap to 8
    char buffer[1];
    LogCapture capture;
    EXPECT_FALSE(archive.FileRead("a", buffer, 1));
    EXPECT_TRUE(capture.Contains("Compressed size of 'a' is out of range.\n"));
}

TEST_F(zArchiveFixture, WriterRefusesWhatCouldNotBeReadBack)
{
    const std::string file = dir.Path("names.zar");
    zArchive archive;
    ASSERT_TRUE(archive.CreateNew(file.c_str(), nullptr));
    ASSERT_TRUE(archive.MemoryBlockWrite("first", "1", 1, 6));
    const std::string longest(511, 'n');
    const std::string tooLong(512, 'n');
    LogCapture capture;
    EXPECT_FALSE(archive.MemoryBlockWrite(tooLong.c_str(), "2", 1, 6));
    EXPECT_TRUE(capture.Contains("[!] zArchive::MemoryBlockWrite (") && capture.Contains("Invalid entry name '"));
    EXPECT_FALSE(archive.MemoryBlockWrite("", "2", 1, 6));
    EXPECT_FALSE(archive.MemoryBlockWrite(nullptr, "2", 1, 6));
    EXPECT_FALSE(archive.MemoryBlockWrite("first", "2", 1, 6));
    EXPECT_TRUE(capture.Contains("An entry with alias 'first' already exists.\n"));
    EXPECT_FALSE(archive.MemoryBlockWrite("no data", nullptr, 4, 6));
    char buffer[4];
    EXPECT_FALSE(archive.FileRead("first", buffer, 4));
    EXPECT_TRUE(capture.Contains("Cannot load 'first' (r/w mode error).\n"));
    ASSERT_TRUE(archive.MemoryBlockWrite(longest.c_str(), "3", 1, -1));
    ASSERT_TRUE(archive.MemoryBlockWrite("last", "4", 1, 6));
    EXPECT_EQ(archive.directory.GetCount(), 3);
    ASSERT_TRUE(archive.Close());

    ASSERT_TRUE(archive.OpenRead(file.c_str(), false, nullptr));
    EXPECT_EQ(ReadEntry(archive, "first"), "1");
    EXPECT_EQ(ReadEntry(archive, longest.c_str()), "3");
    EXPECT_EQ(ReadEntry(archive, "last"), "4");
    EXPECT_FALSE(archive.MemoryBlockWrite("late", "5", 1, 6));
    EXPECT_TRUE(capture.Contains("Cannot write 'late' (r/w mode error).\n"));
}

TEST_F(zArchiveFixture, IncompressibleDataIsStillDeflatedWhenZlibSucceeds)
{
    const std::string noise = Noise(100);
    const std::string file = dir.Path("noise.zar");
    zArchive archive;
    ASSERT_TRUE(archive.CreateNew(file.c_str(), nullptr));
    ASSERT_TRUE(archive.MemoryBlockWrite("noise", noise.data(), 100, 9));
    const zArchiveEntry* entry = archive.FindEntry("noise");
    EXPECT_EQ(entry->compressed, 1);
    EXPECT_GT(entry->compressedSize, 100u);
    // An invalid level makes compress2 fail: the entry is stored.
    ASSERT_TRUE(archive.MemoryBlockWrite("bad level", noise.data(), 100, 42));
    EXPECT_EQ(archive.FindEntry("bad level")->compressed, 0);
    ASSERT_TRUE(archive.Close());
    ASSERT_TRUE(archive.OpenRead(file.c_str(), false, nullptr));
    EXPECT_EQ(ReadEntry(archive, "noise"), noise);
    EXPECT_EQ(ReadEntry(archive, "bad level"), noise);
}

TEST_F(zArchiveFixture, VerboseArchivesLogTheirWork)
{
    const std::string file = dir.Path("verbose.zar");
    zArchive archive;
    archive.verbose = true;
    LogCapture capture;
    ASSERT_TRUE(archive.CreateNew(file.c_str(), nullptr));
    const std::string text(5000, 'v');
    ASSERT_TRUE(archive.MemoryBlockWrite("v.txt", text.data(), 5000, 6));
    ASSERT_TRUE(archive.MemoryBlockWrite("empty", "", 0, 6));
    ASSERT_TRUE(archive.MemoryBlockWrite("bad level", "x", 1, 42));
    ASSERT_TRUE(archive.Close());
    EXPECT_TRUE(capture.Contains("[H] zArchive::MemoryBlockWrite (") && capture.Contains("Adding 'v.txt' to archive...\n"));
    EXPECT_TRUE(capture.Contains("Was 5 KB, is now 0 KB ("));
    EXPECT_TRUE(capture.Contains("Was 0 KB, is now 0 KB (0%).\n"));
    EXPECT_TRUE(capture.Contains("No compression achieved for 'bad level', adding uncompressed.\n"));

    capture.lines.clear();
    ASSERT_TRUE(archive.OpenRead(file.c_str(), false, nullptr));
    EXPECT_TRUE(capture.Contains("No index provided, please wait while scanning archive...\n"));
    EXPECT_TRUE(capture.Contains("New entry: 'v.txt'\n"));
    EXPECT_TRUE(capture.Contains("[method = 1, len = 5000, clen = "));
    EXPECT_TRUE(capture.Contains("[method = 0, len = 1, clen = 1, offset = "));
    EXPECT_TRUE(capture.Contains("Done, index table built.\n"));
}

TEST_F(zArchiveFixture, UserStreamIsUsedInPlaceAndLeftOpen)
{
    const std::string file = dir.Path("user.zar");
    zStream out;
    ASSERT_TRUE(out.Open(file.c_str(), false, true));
    out.Write("junk", 4);
    zArchive archive;
    ASSERT_TRUE(archive.CreateNew(nullptr, &out));
    ASSERT_TRUE(archive.MemoryBlockWrite("a", "1", 1, -1));
    ASSERT_TRUE(archive.Close());
    EXPECT_TRUE(out.IsOpen());
    out.Close();
    EXPECT_EQ(dir.Read("user.zar"), Zard().Stored("a", "1").U32(0xFFFFFFFF).data);

    zStream in;
    ASSERT_TRUE(in.Open(file.c_str(), true, false));
    in.Seek(5, 0);
    ASSERT_TRUE(archive.OpenRead(nullptr, false, &in));
    EXPECT_EQ(ReadEntry(archive, "a"), "1");
    archive.Close();
    EXPECT_TRUE(in.IsOpen());
}

TEST_F(zArchiveFixture, TwoOpenArchivesKeepTheirOwnFiles)
{
    const std::string first = dir.Write("first.zar", Zard().Stored("a", "first").data);
    const std::string second = dir.Write("second.zar", Zard().Stored("a", "other").data);
    zArchive one;
    zArchive two;
    ASSERT_TRUE(one.OpenRead(first.c_str(), false, nullptr));
    ASSERT_TRUE(two.OpenRead(second.c_str(), false, nullptr));
    EXPECT_EQ(ReadEntry(one, "a"), "first");
    EXPECT_EQ(ReadEntry(two, "a"), "other");
    EXPECT_FALSE(GlobalArchiveStream.IsOpen());
}
