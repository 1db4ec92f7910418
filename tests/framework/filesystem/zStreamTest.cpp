#include "framework/filesystem/zStream.h"

#include "framework/filesystem/zIODiskFS.h"
#include "framework/filesystem/zIOHandle.h"
#include "support/FileSystemGuard.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

namespace {

// A file system held in memory: files are written whole and read back.
class MemoryFS : public zIOBaseFS {
public:
    struct Handle : zIOHandle {
        std::string* file = nullptr;
        uint32_t position = 0;
    };

    ~MemoryFS() override { CloseAll(); }

    uint32_t GetCapabilities() override { return 0; }
    zIOHandle* OpenDirect(const char* path, bool read, bool write, bool) override
    {
        ++opens;
        if (path == nullptr || (write && !writable))
            return nullptr;
        auto found = files.find(path);
        if (found == files.end() && !write)
            return nullptr;
        Handle* handle = new Handle;
        handle->name = path;
        handle->file = &files[path];
        if (write && !read)
            handle->file->clear();
        AddHandle(handle);
        return handle;
    }
    uint32_t Read(zIOHandle* h, void* buffer, uint32_t count) override
    {
        Handle* handle = static_cast<Handle*>(h);
        const uint32_t left = uint32_t(handle->file->size()) - handle->position;
        count = count < left ? count : left;
        std::memcpy(buffer, handle->file->data() + handle->position, count);
        handle->position += count;
        return count;
    }
    uint32_t Write(zIOHandle* h, const void* buffer, uint32_t count) override
    {
        Handle* handle = static_cast<Handle*>(h);
        handle->file->append(static_cast<const char*>(buffer), count);
        return count;
    }
    uint32_t GetSize(zIOHandle* h) override { return uint32_t(static_cast<Handle*>(h)->file->size()); }
    bool Seek(zIOHandle*, int32_t, int) override { return false; }
    uint32_t Rewind(zIOHandle* h) override { return static_cast<Handle*>(h)->position = 0; }
    uint32_t Tell(zIOHandle* h) override { return static_cast<Handle*>(h)->position; }
    bool Close(zIOHandle* h) override
    {
        if (!RemoveHandle(h))
            return false;
        delete static_cast<Handle*>(h);
        return !failClose;
    }

    std::map<std::string, std::string> files;
    bool writable = true;
    bool failClose = false;
    int opens = 0;
};

class zStreamFixture : public ::testing::Test {
protected:
    FileSystemGuard guard;
    TempDir dir;
};

} // namespace

TEST_F(zStreamFixture, TypedValuesAreLittleEndianOnDisk)
{
    const std::string path = dir.Path("typed.bin");
    {
        zStream out;
        ASSERT_TRUE(out.Open(path.c_str(), false, true));
        EXPECT_TRUE(out.WriteU8(0xA1));
        EXPECT_TRUE(out.WriteU16(0xB2C3));
        EXPECT_TRUE(out.WriteU32(0xD4E5F607));
    }
    EXPECT_EQ(dir.Read("typed.bin"), std::string("\xA1\xC3\xB2\x07\xF6\xE5\xD4", 7));

    zStream in;
    ASSERT_TRUE(in.Open(path.c_str(), true, false));
    uint8_t u8 = 0;
    uint16_t u16 = 0;
    uint32_t u32 = 0;
    EXPECT_TRUE(in.ReadU8(u8));
    EXPECT_TRUE(in.ReadU16(u16));
    EXPECT_TRUE(in.ReadU32(u32));
    EXPECT_EQ(u8, 0xA1);
    EXPECT_EQ(u16, 0xB2C3);
    EXPECT_EQ(u32, 0xD4E5F607u);
    // Nothing left: a short read reports failure.
    EXPECT_FALSE(in.ReadU8(u8));
}

TEST_F(zStreamFixture, AnotherByteOrderSwapsMultiByteValues)
{
    const std::string path = dir.Write("swapped.bin", std::string("\x01\x02\x03\x04\x05\x06", 6));
    zStream in(0);
    ASSERT_TRUE(in.Open(path.c_str(), true, false));
    uint32_t u32 = 0;
    uint16_t u16 = 0;
    EXPECT_TRUE(in.ReadU32(u32));
    EXPECT_TRUE(in.ReadU16(u16));
    EXPECT_EQ(u32, 0x01020304u);
    EXPECT_EQ(u16, 0x0506);
    // Four bytes are not there any more: the read fails.
    in.Seek(-2, 2);
    EXPECT_FALSE(in.ReadU32(u32));

    zStream out(0);
    ASSERT_TRUE(out.Open(dir.Path("out.bin").c_str(), false, true));
    out.WriteU16(0x0102);
    out.WriteU32(0x03040506);
    out.Close();
    EXPECT_EQ(dir.Read("out.bin"), std::string("\x01\x02\x03\x04\x05\x06", 6));
}

TEST_F(zStreamFixture, ClosedStreamTouchesNoFileSystem)
{
    MemoryFS memory;
    zStream::SetCurrentFS(&memory);
    zStream stream;
    LogCapture capture;
    EXPECT_TRUE(stream.Close());
    EXPECT_FALSE(stream.IsOpen());
    uint32_t value = 0;
    EXPECT_FALSE(stream.ReadU32(value));
    EXPECT_FALSE(stream.WriteU8(1));
    EXPECT_EQ(stream.GetSize(), 0u);
    EXPECT_FALSE(stream.Flush());
    EXPECT_EQ(memory.opens, 0);
    EXPECT_TRUE(capture.lines.empty());

    // A failed open leaves it closed.
    EXPECT_FALSE(stream.Open("missing", true, false));
    EXPECT_FALSE(stream.IsOpen());
    EXPECT_EQ(stream.GetFS(), nullptr);
}

TEST_F(zStreamFixture, FailedCloseIsLoggedAndStillClosesTheStream)
{
    MemoryFS memory;
    memory.files["a"] = "x";
    memory.failClose = true;
    zStream::SetCurrentFS(&memory);
    zStream stream;
    ASSERT_TRUE(stream.Open("a", true, false));
    LogCapture capture;
    EXPECT_FALSE(stream.Close());
    EXPECT_TRUE(capture.Contains("[!] zStream::Close ("));
    EXPECT_TRUE(capture.Contains("File system failed to close handle.\n"));
    EXPECT_FALSE(stream.IsOpen());
    EXPECT_TRUE(stream.Close());
}

// The disk buffers writes: one that cannot reach the device counts as done
// and fails only when the buffer goes out.
TEST_F(zStreamFixture, FlushShowsAWriteTheDiskBuffered)
{
    zStream full;
    ASSERT_TRUE(full.Open("/dev/full", false, true));
    EXPECT_EQ(full.Write("abcd", 4), 4u);
    EXPECT_FALSE(full.Flush());

    zStream file;
    ASSERT_TRUE(file.Open(dir.Path("flushed.bin").c_str(), false, true));
    EXPECT_EQ(file.Write("abcd", 4), 4u);
    EXPECT_TRUE(file.Flush());
    EXPECT_EQ(dir.Read("flushed.bin"), "abcd") << "on the disk before the stream closes";

    // A file system that holds nothing back has nothing to fail.
    MemoryFS memory;
    zStream::SetCurrentFS(&memory);
    zStream memoryStream;
    ASSERT_TRUE(memoryStream.Open("m", false, true));
    EXPECT_TRUE(memoryStream.Flush());
}

TEST_F(zStreamFixture, ReadsFallBackInQueueOrderWritesNever)
{
    dir.Write("disk_only.txt", "from disk");
    const std::string diskPath = dir.Path("disk_only.txt");
    MemoryFS current;
    MemoryFS second;
    current.files["both"] = "current";
    second.files["both"] = "second";
    second.files[diskPath] = "second shadows the disk";
    zStream::SetCurrentFS(&current);
    ASSERT_TRUE(zStream::QueueFallbackFS(&GlobalDiskFS));
    ASSERT_TRUE(zStream::QueueFallbackFS(&second));

    zIOBaseFS* fs = nullptr;
    zIOHandle* handle = zStream::OpenHandle("both", true, false, false, fs);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(fs, &current);
    fs->Close(handle);

    char* buffer = nullptr;
    const uint32_t size = zStream::LoadFile(diskPath.c_str(), buffer);
    EXPECT_EQ(std::string(buffer, size), "from disk");
    delete[] buffer;

    // A write goes to the current file system only, even when it refuses.
    zStream out;
    ASSERT_TRUE(out.Open(diskPath.c_str(), false, true));
    EXPECT_EQ(out.GetFS(), &current);
    out.Close();
    EXPECT_EQ(dir.Read("disk_only.txt"), "from disk");
    current.writable = false;
    EXPECT_FALSE(out.Open(dir.Path("new.txt").c_str(), false, true));
    EXPECT_FALSE(std::filesystem::exists(dir.Path("new.txt")));

    // Read and write together may fall back.
    ASSERT_TRUE(out.Open(diskPath.c_str(), true, true));
    EXPECT_EQ(out.GetFS(), &GlobalDiskFS);
}

TEST_F(zStreamFixture, QueuingAFallbackTwiceKeepsOneEntry)
{
    MemoryFS memory;
    const int32_t before = GlobalFallbackFSList.GetCount();
    LogCapture capture;
    EXPECT_TRUE(zStream::QueueFallbackFS(&memory));
    EXPECT_TRUE(capture.lines.empty());
    EXPECT_TRUE(zStream::QueueFallbackFS(&memory));
    EXPECT_EQ(GlobalFallbackFSList.GetCount(), before + 1);
    EXPECT_TRUE(capture.Contains("[*] zStream::QueueFallbackFS ("));
    EXPECT_TRUE(capture.Contains("Fallback file system already queued.\n"));
    EXPECT_FALSE(zStream::QueueFallbackFS(nullptr));
}

TEST_F(zStreamFixture, SettingNoFileSystemSelectsTheDisk)
{
    MemoryFS memory;
    EXPECT_EQ(zStream::SetCurrentFS(&memory), &memory);
    EXPECT_EQ(zStream::GetCurrentFS(), &memory);
    EXPECT_EQ(zStream::SetCurrentFS(nullptr), nullptr);
    EXPECT_EQ(zStream::GetCurrentFS(), &GlobalDiskFS);
}

TEST_F(zStreamFixture, SearchPathsFindRelativePaths)
{
    dir.Write("base/models/ship.zml", "ship");
    GlobalSearchPathList.Add(zString(dir.Path("nothing").c_str()));
    GlobalSearchPathList.Add(zString(dir.Path("base").c_str()));

    zString path("models\\\\ship.zml");
    ASSERT_TRUE(zStream::LocateFile(path));
    EXPECT_STREQ(path.Get(), (dir.Path("base") + "/models/ship.zml").c_str());

    zString missing("models/boat.zml");
    EXPECT_FALSE(zStream::LocateFile(missing));
    EXPECT_STREQ(missing.Get(), "models/boat.zml");

    EXPECT_TRUE(zStream::Exists("models/ship.zml"));
    EXPECT_FALSE(zStream::Exists("models/boat.zml"));
    EXPECT_EQ(zStream::GetFileSize("models/ship.zml"), 4u);
    EXPECT_EQ(zStream::GetFileSize("models/boat.zml"), 0u);
    zStream stream;
    ASSERT_TRUE(stream.Open("models/ship.zml", true, false));
    EXPECT_EQ(GlobalDiskFS.GetOpenHandleCount(), 1) << "probes close their handles";
}

TEST_F(zStreamFixture, LocatingTriesTheFallbacks)
{
    MemoryFS current;
    MemoryFS fallback;
    fallback.files["a/b.txt"] = "b";
    zStream::SetCurrentFS(&current);
    zStream::QueueFallbackFS(&fallback);
    zString path("a\\b.txt");
    EXPECT_TRUE(zStream::LocateFile(path));
    EXPECT_STREQ(path.Get(), "a/b.txt");
    EXPECT_EQ(fallback.GetOpenHandleCount(), 0);
}

TEST_F(zStreamFixture, LoadFileDeliversTheWholeFileOrNothing)
{
    const std::string bytes("a\0b\xff", 4);
    dir.Write("data.bin", bytes);
    dir.Write("empty.bin", "");

    char* buffer = reinterpret_cast<char*>(1);
    EXPECT_EQ(zStream::LoadFile(dir.Path("data.bin").c_str(), buffer), 4u);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(std::string(buffer, 4), bytes);
    delete[] buffer;

    buffer = nullptr;
    EXPECT_EQ(zStream::LoadFile(dir.Path("empty.bin").c_str(), buffer), 0u);
    EXPECT_NE(buffer, nullptr);
    delete[] buffer;

    buffer = reinterpret_cast<char*>(1);
    EXPECT_EQ(zStream::LoadFile(dir.Path("missing.bin").c_str(), buffer), 0u);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(GlobalDiskFS.GetOpenHandleCount(), 0);
}

TEST_F(zStreamFixture, StripSearchPathNeedsAWholeComponent)
{
    GlobalSearchPathList.Add(zString("data"));
    GlobalSearchPathList.Add(zString("c:/game/base"));
    struct Case {
        const char* path;
        bool stripped;
        const char* result;
    } const cases[] = {
        {"data/x.zml", true, "/x.zml"},       {"data\\sub\\x.zml", true, "/sub/x.zml"},
        {"data", true, ""},                   {"database/x.zml", false, "database/x.zml"},
        {"datax", false, "datax"},            {"C:\\game\\base\\a.tga", true, "/a.tga"},
        {"c:/game/baseline/a", false, "c:/game/baseline/a"}, {"other/data/x", false, "other/data/x"},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        zString path(c.path);
        EXPECT_EQ(StripSearchPath(path), c.stripped) << c.path;
        EXPECT_STREQ(path.Get() ? path.Get() : "", c.result) << c.path;
    }
}
