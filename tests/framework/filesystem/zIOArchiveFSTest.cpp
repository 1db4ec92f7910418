#include "framework/filesystem/zIOArchiveFS.h"

#include "framework/filesystem/zIODiskFS.h"
#include "support/FileSystemGuard.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class zIOArchiveFSFixture : public ::testing::Test {
protected:
    // An archive of a stored and a deflated file, written through the file system itself.
    std::string MakeArchive()
    {
        const std::string file = dir.Path("data.zar");
        zIOArchiveFS writer;
        EXPECT_TRUE(writer.Connect(file.c_str(), false, true, nullptr, false));
        EXPECT_TRUE(writer.GetArchive().MemoryBlockWrite("raw.txt", "0123456789", 10, -1));
        zIOHandle* handle = writer.OpenDirect("packed.txt", false, true, false);
        EXPECT_NE(handle, nullptr);
        EXPECT_EQ(writer.Write(handle, packed.data(), uint32_t(packed.size())), packed.size());
        EXPECT_TRUE(writer.Close(handle));
        return file;
    }

    FileSystemGuard guard;
    TempDir dir;
    const std::string packed = std::string(400, 'p') + "end";
};

std::string ReadWhole(zStream& stream)
{
    std::string text(stream.GetSize(), '\0');
    text.resize(stream.Read(text.data(), uint32_t(text.size())));
    return text;
}

} // namespace

TEST_F(zIOArchiveFSFixture, FilesReadBackThroughStreams)
{
    const std::string file = MakeArchive();
    zIOArchiveFS fs;
    LogCapture capture;
    ASSERT_TRUE(fs.Connect(file.c_str(), false, false, nullptr, true));
    EXPECT_TRUE(capture.Contains("[H] zIOArchiveFS::Connect (") &&
                capture.Contains("Filesystem connecting to archive '" + file + "'...\n"));
    EXPECT_TRUE(capture.Contains("New entry: 'packed.txt'\n"));
    EXPECT_EQ(fs.GetCapabilities(), 0x4Bu);
    EXPECT_TRUE(fs.GetCurrentPath().IsEmpty());
    EXPECT_FALSE(fs.SetCurrentPath("/"));
    ztLinkedList<zString*> names;
    EXPECT_FALSE(fs.ListDirectory("*", names));

    zStream::SetCurrentFS(&fs);
    zStream raw;
    zStream deflated;
    ASSERT_TRUE(raw.Open("raw.txt", true, false));
    ASSERT_TRUE(deflated.Open("packed.txt", true, false));
    EXPECT_EQ(ReadWhole(deflated), packed);
    // Interleaved reads of a stored entry keep their own position.
    char part[4] = {};
    EXPECT_EQ(raw.Read(part, 3), 3u);
    EXPECT_EQ(std::string(part, 3), "012");
    EXPECT_TRUE(deflated.Seek(-3, 2));
    EXPECT_EQ(deflated.Read(part, 4), 3u);
    EXPECT_EQ(std::string(part, 3), "end");
    EXPECT_EQ(raw.Read(part, 4), 4u);
    EXPECT_EQ(std::string(part, 4), "3456");
    EXPECT_EQ(raw.Tell(), 7u);
    EXPECT_EQ(raw.Read(part, 4), 3u) << "reads stop at the entry's end";
    EXPECT_EQ(raw.Read(part, 4), 0u);
    EXPECT_EQ(raw.Rewind(), 0u);
    EXPECT_EQ(raw.Read(part, 1), 1u);
    EXPECT_EQ(part[0], '0');
    EXPECT_EQ(fs.GetOpenHandleCount(), 2);

    char* buffer = nullptr;
    EXPECT_EQ(zStream::LoadFile("raw.txt", buffer), 10u);
    EXPECT_EQ(std::string(buffer, 10), "0123456789");
    delete[] buffer;
}

TEST_F(zIOArchiveFSFixture, SeekStaysInsideTheEntry)
{
    const std::string file = MakeArchive();
    zIOArchiveFS fs;
    ASSERT_TRUE(fs.Connect(file.c_str(), false, false, nullptr, false));
    zIOHandle* handle = fs.OpenDirect("raw.txt", true, false, false);
    ASSERT_NE(handle, nullptr);
    struct Case {
        uint32_t from;
        int32_t offset;
        int mode;
        bool accepted;
        uint32_t position;
    } const cases[] = {
        {3, 10, 0, true, 10}, {3, 11, 0, false, 3}, {3, -1, 0, false, 3}, {3, 0, 0, true, 0},
        {3, 7, 1, true, 10},  {3, 8, 1, false, 3},  {3, -3, 1, true, 0},  {3, -4, 1, false, 3},
        {3, 0, 2, true, 10},  {3, -10, 2, true, 0}, {3, -11, 2, false, 3}, {3, 1, 2, false, 3},
        {3, 5, 7, true, 3},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(fs.Seek(handle, int32_t(c.from), 0));
        EXPECT_EQ(fs.Seek(handle, c.offset, c.mode), c.accepted) << c.offset << " mode " << c.mode;
        EXPECT_EQ(fs.Tell(handle), c.position) << c.offset << " mode " << c.mode;
    }
    EXPECT_EQ(fs.GetSize(handle), 10u);
    EXPECT_TRUE(fs.Close(handle));
}

TEST_F(zIOArchiveFSFixture, HandlesFollowTheMountMode)
{
    const std::string file = MakeArchive();
    zIOArchiveFS fs;
    ASSERT_TRUE(fs.Connect(file.c_str(), false, false, nullptr, false));
    struct Case {
        bool read, write, append;
        const char* message;
    } const readModeCases[] = {
        {false, true, false, "Cannot create write handle (r/w mode error).\n"},
        {true, true, false, "Cannot create write handle (r/w mode error).\n"},
        {true, false, true, "Append mode is not supported.\n"},
    };
    for (const Case& c : readModeCases) {
        LogCapture capture;
        EXPECT_EQ(fs.OpenDirect("raw.txt", c.read, c.write, c.append), nullptr);
        EXPECT_TRUE(capture.Contains("[!] zIOArchiveFS::OpenDirect (") && capture.Contains(c.message)) << c.message;
    }
    {
        LogCapture capture;
        EXPECT_EQ(fs.OpenDirect("Raw.txt", true, false, false), nullptr);
        EXPECT_EQ(fs.OpenDirect(nullptr, true, false, false), nullptr);
        EXPECT_TRUE(capture.lines.empty()) << "a missing entry is not an error";
    }
    EXPECT_EQ(fs.GetOpenHandleCount(), 0);

    zIOArchiveFS writer;
    ASSERT_TRUE(writer.Connect(dir.Path("new.zar").c_str(), false, true, nullptr, false));
    EXPECT_TRUE(writer.IsWriteMode());
    LogCapture capture;
    EXPECT_EQ(writer.OpenDirect("x", true, false, false), nullptr);
    EXPECT_TRUE(capture.Contains("Cannot create read handle (r/w mode error).\n"));
}

TEST_F(zIOArchiveFSFixture, EachWriteHandleWritesOnce)
{
    const std::string file = dir.Path("written.zar");
    {
        zIOArchiveFS fs;
        ASSERT_TRUE(fs.Connect(file.c_str(), false, true, nullptr, false));
        zStream::SetCurrentFS(&fs);
        zStream out;
        ASSERT_TRUE(out.Open("scene.zml", false, true));
        EXPECT_EQ(out.GetSize(), 0u);
        EXPECT_EQ(out.Write("<ZML=1.0>", 9), 9u);
        EXPECT_EQ(out.GetSize(), 9u);
        LogCapture capture;
        EXPECT_EQ(out.Write("more", 4), 0u);
        EXPECT_TRUE(capture.Contains("[!] zIOArchiveFS::Write (") &&
                    capture.Contains("Cannot perform subsequent write to file, this file system does not support streaming.\n"));
        char byte = 0;
        EXPECT_EQ(out.Read(&byte, 1), 0u);

        zStream again;
        ASSERT_TRUE(again.Open("scene.zml", false, true));
        EXPECT_EQ(again.Write("x", 1), 0u);
        EXPECT_TRUE(capture.Contains("An entry with alias 'scene.zml' already exists.\n"));
        EXPECT_TRUE(capture.Contains("Failed to compress data to archive.\n"));
        zStream::SetCurrentFS(nullptr);
    }
    zIOArchiveFS fs;
    ASSERT_TRUE(fs.Connect(file.c_str(), false, false, nullptr, false));
    EXPECT_EQ(fs.GetArchive().directory.GetCount(), 1);
    char text[9];
    ASSERT_TRUE(fs.GetArchive().FileRead("scene.zml", text, 9));
    EXPECT_EQ(std::string(text, 9), "<ZML=1.0>");
}

TEST_F(zIOArchiveFSFixture, MountedArchiveFallsBackToTheDiskForReadsOnly)
{
    const std::string file = MakeArchive();
    dir.Write("disk.txt", "on disk");
    zIOArchiveFS fs;
    ASSERT_TRUE(fs.Connect(file.c_str(), false, false, nullptr, true));
    zStream::SetCurrentFS(&fs);
    zStream::QueueFallbackFS(&GlobalDiskFS);
    GlobalSearchPathList.Add(zString(dir.Path().c_str()));

    zStream in;
    ASSERT_TRUE(in.Open("disk.txt", true, false));
    EXPECT_EQ(in.GetFS(), &GlobalDiskFS);
    EXPECT_EQ(ReadWhole(in), "on disk");
    ASSERT_TRUE(in.Open("packed.txt", true, false));
    EXPECT_EQ(in.GetFS(), &fs);
    in.Close();

    LogCapture capture;
    zStream out;
    EXPECT_FALSE(out.Open(dir.Path("disk.txt").c_str(), false, true));
    EXPECT_TRUE(capture.Contains("Cannot create write handle (r/w mode error).\n"));
    EXPECT_EQ(dir.Read("disk.txt"), "on disk");
}

// An entry the loader refuses is reported once, by the loader, with the true
// reason: no failed allocation is claimed for it.
TEST_F(zIOArchiveFSFixture, BrokenEntriesAreRefusedWithOneTrueLine)
{
    const std::string file = MakeArchive();
    struct Case {
        const char* name;
        void (*damage)(zArchiveEntry& entry);
        const char* line;
    } const cases[] = {
        {"inflates to fewer bytes than its size", [](zArchiveEntry& e) { e.size += 10; },
         "[!] zArchive::FileRead Failed to decompress 'packed.txt' (zlib error "},
        {"inflates to more bytes than its size", [](zArchiveEntry& e) { e.size -= 10; },
         "[!] zArchive::FileRead Failed to decompress 'packed.txt' (zlib error "},
        {"unknown storage method", [](zArchiveEntry& e) { e.compressed = 2; },
         "[!] zArchive::FileRead Unknown storage method (2) for 'packed.txt'.\n"},
        {"data cut short", [](zArchiveEntry& e) { e.compressedSize -= 4; },
         "[!] zArchive::FileRead Failed to decompress 'packed.txt' (zlib error "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        zIOArchiveFS fs;
        ASSERT_TRUE(fs.Connect(file.c_str(), false, false, nullptr, false));
        c.damage(*fs.GetArchive().FindEntry("packed.txt"));
        LogCapture capture;
        EXPECT_EQ(fs.OpenDirect("packed.txt", true, false, false), nullptr);
        EXPECT_EQ(fs.GetOpenHandleCount(), 0);
        ASSERT_EQ(capture.lines.size(), 1u);
        // The place in the code is left out of the comparison.
        std::string line = capture.lines[0];
        const size_t open = line.find(" (");
        const size_t close = line.find(") ", open);
        ASSERT_NE(close, std::string::npos) << line;
        line.erase(open, close + 1 - open);
        EXPECT_EQ(line.rfind(c.line, 0), 0u) << line;
    }
}

TEST_F(zIOArchiveFSFixture, ForeignHandlesAreRefused)
{
    const std::string file = MakeArchive();
    zIOArchiveFS fs;
    ASSERT_TRUE(fs.Connect(file.c_str(), false, false, nullptr, false));
    LogCapture capture;
    zIOHandle* handle = fs.OpenDirect("raw.txt", true, false, false);
    ASSERT_NE(handle, nullptr);
    zIOArchiveFS other;
    EXPECT_FALSE(other.Close(handle));
    EXPECT_TRUE(capture.Contains("[!] zIOArchiveFS::Close (") && capture.Contains(") that was not opened on this file system.\n"));
    EXPECT_TRUE(fs.Close(handle));
    EXPECT_FALSE(fs.Close(handle));
    EXPECT_FALSE(fs.Close(nullptr));

    // A failed connection leaves no archive behind.
    EXPECT_FALSE(fs.Connect(dir.Path("missing.zar").c_str(), false, false, nullptr, false));
    EXPECT_EQ(fs.OpenDirect("raw.txt", true, false, false), nullptr);
}

TEST_F(zIOArchiveFSFixture, ReconnectingAndDestroyingCloseEveryHandle)
{
    const std::string file = MakeArchive();
    zIOArchiveFS* fs = new zIOArchiveFS;
    ASSERT_TRUE(fs->Connect(file.c_str(), false, false, nullptr, false));
    ASSERT_NE(fs->OpenDirect("packed.txt", true, false, false), nullptr);
    ASSERT_TRUE(fs->Connect(file.c_str(), false, false, nullptr, false));
    EXPECT_EQ(fs->GetOpenHandleCount(), 0);
    ASSERT_NE(fs->OpenDirect("packed.txt", true, false, false), nullptr);
    ASSERT_NE(fs->OpenDirect("raw.txt", true, false, false), nullptr);
    delete fs; // the handles and their buffers go with it (checked by the leak sanitizer)
    EXPECT_EQ(GlobalDiskFS.GetOpenHandleCount(), 0);
}
