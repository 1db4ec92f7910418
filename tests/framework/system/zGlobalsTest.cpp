#include "framework/system/zGlobals.h"

#include "framework/filesystem/zArchive.h"
#include "framework/filesystem/zIOArchiveFS.h"
#include "framework/filesystem/zIODiskFS.h"
#include "framework/system/zLogStream.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

TEST(zGlobals, ProgramStartsOnTheDiskWithEmptyLists)
{
    EXPECT_EQ(GlobalCurrentFS, &GlobalDiskFS);
    EXPECT_EQ(zStream::GetCurrentFS(), &GlobalDiskFS);
    EXPECT_EQ(GlobalFallbackFSList.GetCount(), 0);
    EXPECT_EQ(GlobalSearchPathList.GetCount(), 0);
    EXPECT_EQ(GlobalDiskFS.GetOpenHandleCount(), 0);
    EXPECT_FALSE(GlobalArchiveStream.IsOpen());
    EXPECT_EQ(GlobalArchiveStream.GetByteOrder(), 1);
    EXPECT_EQ(GlobalLog.VerbosityMask, 0xFF);
    EXPECT_EQ(GlobalNoneTagName.GetHash(), HashString("None"));
    const char* const names[16] = {"m00", "m10", "m20", "m30", "m01", "m11", "m21", "m31",
                                   "m02", "m12", "m22", "m32", "m03", "m13", "m23", "m33"};
    for (int i = 0; i < 16; ++i) {
        EXPECT_STREQ(MatrixElementNames[i].Get(), names[i]);
        EXPECT_EQ(MatrixElementNames[i].GetHash(), HashString(names[i])) << "hash built once, with the name";
    }
}

namespace {

// What a program may leave behind at exit: function-local statics (torn down
// before the globals) holding a stream and an archive still being written,
// whose closing writes through the disk and logs; a raw disk handle; an archive
// mounted with the disk as fallback, and a search path.
[[noreturn]] void ExitWithEverythingOpen(const std::string& directory)
{
    static zStream lateStream;
    lateStream.Open((directory + "/late.txt").c_str(), false, true);
    lateStream.Write("late", 4);

    zIOHandle* raw = GlobalDiskFS.OpenDirect((directory + "/raw.txt").c_str(), false, true, false);
    GlobalDiskFS.Write(raw, "raw", 3);

    static zArchive pending;
    pending.CreateNew((directory + "/pending.zar").c_str(), nullptr);
    pending.MemoryBlockWrite("p", "2", 1, 6);

    zArchive writer;
    writer.CreateNew((directory + "/mount.zar").c_str(), nullptr);
    writer.MemoryBlockWrite("a", "1", 1, 6);
    writer.Close();
    static zIOArchiveFS mounted;
    mounted.Connect((directory + "/mount.zar").c_str(), false, false, nullptr, false);
    zStream::SetCurrentFS(&mounted);
    zStream::QueueFallbackFS(&GlobalDiskFS);
    GlobalSearchPathList.Add(zString(directory.c_str()));
    static zStream fromArchive;
    fromArchive.Open("a", true, false);

    std::exit(fromArchive.IsOpen() && lateStream.IsOpen() && raw != nullptr ? 0 : 1);
}

} // namespace

TEST(zGlobalsDeathTest, ProgramEndsCleanlyWithFilesStillOpen)
{
    TempDir dir;
    EXPECT_EXIT(ExitWithEverythingOpen(dir.Path()), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(dir.Read("late.txt"), "late");
    EXPECT_EQ(dir.Read("raw.txt"), "raw");
    zArchive finished;
    ASSERT_TRUE(finished.OpenRead(dir.Path("pending.zar").c_str(), false, nullptr));
    char byte = 0;
    EXPECT_TRUE(finished.FileRead("p", &byte, 1));
    EXPECT_EQ(byte, '2');
    EXPECT_EQ(dir.Read("pending.zar").substr(dir.Read("pending.zar").size() - 4), "\xFF\xFF\xFF\xFF");
}
