#include "framework/filesystem/zIODiskFS.h"

#include "platform/PlatformFile.h"
#include "support/FileSystemGuard.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string ReadAll(zIODiskFS& fs, zIOHandle* handle)
{
    std::string text(fs.GetSize(handle), '\0');
    fs.Rewind(handle);
    text.resize(fs.Read(handle, text.data(), uint32_t(text.size())));
    return text;
}

std::vector<std::string> Names(ztLinkedList<zString*>& list)
{
    std::vector<std::string> names;
    for (auto* node = list.GetFirst(); node != nullptr; node = node->next) {
        names.emplace_back(node->value->Get());
        delete node->value;
    }
    list.Clear();
    return names;
}

} // namespace

TEST(zIODiskFS, ModeStringFollowsTheOpenFlags)
{
    struct Case {
        bool read, write, append;
        const char* mode;
    } const cases[] = {
        {true, false, false, "rb"},  {false, true, false, "wb"}, {true, true, false, "r+b"},
        {true, false, true, "a+"},   {false, true, true, "a+"},  {true, true, true, "a+"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(zIODiskFS::ModeFor(c.read, c.write, c.append), c.mode) << c.read << c.write << c.append;
}

TEST(zIODiskFS, ReadWriteOpenUpdatesTheFileInPlace)
{
    TempDir dir;
    const std::string path = dir.Write("f.bin", "hello");
    zIODiskFS fs;
    zIOHandle* handle = fs.OpenDirect(path.c_str(), true, true, false);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(ReadAll(fs, handle), "hello");
    ASSERT_TRUE(fs.Seek(handle, 0, 0));
    EXPECT_EQ(fs.Write(handle, "J", 1), 1u);
    EXPECT_TRUE(fs.Close(handle));
    EXPECT_EQ(dir.Read("f.bin"), "Jello");

    // Update mode never creates a file.
    EXPECT_EQ(fs.OpenDirect(dir.Path("missing.bin").c_str(), true, true, false), nullptr);
}

TEST(zIODiskFS, AppendWritesAtTheEndWhateverTheOtherFlags)
{
    TempDir dir;
    const std::string path = dir.Write("f.txt", "ab");
    zIODiskFS fs;
    zIOHandle* handle = fs.OpenDirect(path.c_str(), true, false, true);
    ASSERT_NE(handle, nullptr);
    fs.Seek(handle, 0, 0);
    EXPECT_EQ(fs.Write(handle, "cd", 2), 2u);
    EXPECT_TRUE(fs.Close(handle));
    EXPECT_EQ(dir.Read("f.txt"), "abcd");
}

TEST(zIODiskFS, SeekTellAndSizeFollowTheFile)
{
    TempDir dir;
    const std::string path = dir.Write("f.bin", "0123456789");
    zIODiskFS fs;
    zIOHandle* handle = fs.OpenDirect(path.c_str(), true, false, false);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(fs.GetSize(handle), 10u);
    EXPECT_EQ(fs.Tell(handle), 0u);
    ASSERT_TRUE(fs.Seek(handle, 4, 0));
    ASSERT_TRUE(fs.Seek(handle, 2, 1));
    EXPECT_EQ(fs.Tell(handle), 6u);
    EXPECT_EQ(fs.GetSize(handle), 10u);
    EXPECT_EQ(fs.Tell(handle), 6u) << "taking the size keeps the position";
    ASSERT_TRUE(fs.Seek(handle, -3, 2));
    char c = 0;
    EXPECT_EQ(fs.Read(handle, &c, 1), 1u);
    EXPECT_EQ(c, '7');
    EXPECT_FALSE(fs.Seek(handle, -1, 0));
    EXPECT_EQ(fs.Rewind(handle), 0u);
    EXPECT_EQ(fs.Read(handle, &c, 1), 1u);
    EXPECT_EQ(c, '0');
    EXPECT_TRUE(fs.Close(handle));
}

TEST(zIODiskFS, NullHandleGivesZeroOrFalseEverywhere)
{
    zIODiskFS fs;
    char byte = 0;
    EXPECT_EQ(fs.Read(nullptr, &byte, 1), 0u);
    EXPECT_EQ(fs.Write(nullptr, &byte, 1), 0u);
    EXPECT_EQ(fs.GetSize(nullptr), 0u);
    EXPECT_FALSE(fs.Seek(nullptr, 0, 0));
    EXPECT_EQ(fs.Rewind(nullptr), 0u);
    EXPECT_EQ(fs.Tell(nullptr), 0u);
    EXPECT_FALSE(fs.Close(nullptr));
    EXPECT_EQ(fs.OpenDirect(nullptr, true, false, false), nullptr);
}

TEST(zIODiskFS, MissingFilesAndDirectoriesDoNotOpen)
{
    TempDir dir;
    dir.Write("sub/file.txt", "x");
    zIODiskFS fs;
    EXPECT_EQ(fs.OpenDirect(dir.Path("nothing.txt").c_str(), true, false, false), nullptr);
    EXPECT_EQ(fs.OpenDirect(dir.Path("sub").c_str(), true, false, false), nullptr);
    EXPECT_EQ(fs.OpenDirect("", true, false, false), nullptr);
    EXPECT_EQ(fs.GetOpenHandleCount(), 0);
}

// A FIFO would block the open until a writer came; nothing but a regular
// file is read. Writing to a device stays possible.
TEST(zIODiskFS, OnlyRegularFilesOpenForReading)
{
    TempDir dir;
    const std::string fifo = dir.Path("pipe.zml");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    zIODiskFS fs;
    LogCapture log;
    for (const std::string& path : {fifo, dir.Path("PIPE.ZML"), std::string("/dev/null")}) {
        EXPECT_EQ(fs.OpenDirect(path.c_str(), true, false, false), nullptr) << path;
        EXPECT_EQ(fs.OpenDirect(path.c_str(), true, true, false), nullptr) << path;
    }
    EXPECT_TRUE(log.Contains("[!] zIODiskFS::OpenDirect ("));
    EXPECT_TRUE(log.Contains("Cannot read '" + fifo + "', it is not a regular file.\n"));
    EXPECT_TRUE(log.Contains("Cannot read '/dev/null', it is not a regular file.\n"));
    EXPECT_EQ(fs.GetOpenHandleCount(), 0);

    zIOHandle* sink = fs.OpenDirect("/dev/null", false, true, false);
    ASSERT_NE(sink, nullptr);
    EXPECT_EQ(fs.Write(sink, "x", 1), 1u);
    EXPECT_TRUE(fs.Close(sink));
    // A regular file still reads, and is not left in non-blocking mode.
    dir.Write("file.txt", "text");
    zIOHandle* file = fs.OpenDirect(dir.Path("file.txt").c_str(), true, false, false);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(fs, file), "text");
    EXPECT_TRUE(fs.Close(file));
}

TEST(zIODiskFS, PathsAuthoredOnWindowsResolveWithoutRegardToCase)
{
    TempDir dir;
    dir.Write("Data/Textures/Wall.TGA", "wall");
    struct Case {
        const char* relative;
        bool found;
    } const cases[] = {
        {"Data/Textures/Wall.TGA", true},  {"data/textures/wall.tga", true}, {"DATA\\Textures\\wall.Tga", true},
        {"Data//Textures/./Wall.TGA", true}, {"data/textures/../Textures/WALL.tga", true},
        {"data/textures/wall.tg", false},  {"data/texture/wall.tga", false}, {"data/textures/wall.tga/x", false},
    };
    zIODiskFS fs;
    for (const Case& c : cases) {
        const std::string path = dir.Path() + "/" + c.relative;
        zIOHandle* handle = fs.OpenDirect(path.c_str(), true, false, false);
        EXPECT_EQ(handle != nullptr, c.found) << c.relative;
        if (handle != nullptr) {
            EXPECT_EQ(ReadAll(fs, handle), "wall") << c.relative;
            fs.Close(handle);
        }
    }
}

TEST(zIODiskFS, WritesIntoExistingDirectoriesWhateverTheirCase)
{
    TempDir dir;
    dir.Write("Save/Old.txt", "old");
    zIODiskFS fs;
    zIOHandle* created = fs.OpenDirect((dir.Path() + "/SAVE\\new.txt").c_str(), false, true, false);
    ASSERT_NE(created, nullptr);
    fs.Write(created, "new", 3);
    fs.Close(created);
    EXPECT_EQ(dir.Read("Save/new.txt"), "new");

    // An existing file named in another case is the one overwritten, as on Windows.
    zIOHandle* replaced = fs.OpenDirect((dir.Path() + "/save/OLD.TXT").c_str(), false, true, false);
    ASSERT_NE(replaced, nullptr);
    fs.Write(replaced, "NEW", 3);
    fs.Close(replaced);
    EXPECT_EQ(dir.Read("Save/Old.txt"), "NEW");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path("Save")))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Old.txt", "new.txt"}));

    // No directory matches: nothing is created.
    EXPECT_EQ(fs.OpenDirect((dir.Path() + "/nowhere/new.txt").c_str(), false, true, false), nullptr);
}

TEST(zIODiskFS, ClosingAForeignOrClosedHandleIsRefusedAndLogged)
{
    TempDir dir;
    const std::string path = dir.Write("f.txt", "x");
    zIODiskFS fs;
    zIODiskFS other;
    zIOHandle* handle = fs.OpenDirect(path.c_str(), true, false, false);
    ASSERT_NE(handle, nullptr);

    LogCapture capture;
    EXPECT_FALSE(other.Close(handle));
    EXPECT_TRUE(capture.Contains("[!] zIODiskFS::Close ("));
    EXPECT_TRUE(capture.Contains(") that was not opened on this file system.\n"));
    EXPECT_EQ(fs.GetOpenHandleCount(), 1);

    EXPECT_TRUE(fs.Close(handle));
    // The record is gone: a second close must not look inside it.
    EXPECT_FALSE(fs.Close(handle));
    EXPECT_EQ(fs.GetOpenHandleCount(), 0);
}

TEST(zIODiskFS, CloseAllAndTheDestructorCloseEveryOpenFile)
{
    TempDir dir;
    {
        zIODiskFS fs;
        zIOHandle* first = fs.OpenDirect(dir.Path("a.txt").c_str(), false, true, false);
        zIOHandle* second = fs.OpenDirect(dir.Path("b.txt").c_str(), false, true, false);
        ASSERT_NE(first, nullptr);
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(fs.Write(first, "A", 1), 1u);
        EXPECT_EQ(fs.Write(second, "B", 1), 1u);
        // Buffered bytes reach the files only when they are closed.
        EXPECT_EQ(dir.Read("a.txt"), "");
        EXPECT_TRUE(fs.CloseAll());
        EXPECT_EQ(fs.GetOpenHandleCount(), 0);
        EXPECT_EQ(dir.Read("a.txt"), "A");
        EXPECT_EQ(dir.Read("b.txt"), "B");

        zIOHandle* third = fs.OpenDirect(dir.Path("c.txt").c_str(), false, true, false);
        ASSERT_NE(third, nullptr);
        fs.Write(third, "C", 1);
    }
    EXPECT_EQ(dir.Read("c.txt"), "C");
}

TEST(zIODiskFS, ListDirectoryMatchesWindowsPatterns)
{
    TempDir dir;
    dir.Write("b.txt", "");
    dir.Write("A.TXT", "");
    dir.Write("c.dat", "");
    dir.Write("readme", "");
    dir.Write("Sub/x.txt", "");
    struct Case {
        const char* pattern;
        std::vector<std::string> names;
    } const cases[] = {
        {"*.txt", {"A.TXT", "b.txt"}},
        {"?.dat", {"c.dat"}},
        {"*", {".", "..", "A.TXT", "b.txt", "c.dat", "readme", "Sub"}},
        {"*.*", {".", "..", "A.TXT", "b.txt", "c.dat", "readme", "Sub"}},
        {"READ*", {"readme"}},
        {"sub\\*.TXT", {"x.txt"}},
        {"b.txt", {"b.txt"}},
    };
    zIODiskFS fs;
    ztLinkedList<zString*> list;
    for (const Case& c : cases) {
        const std::string pattern = dir.Path() + "/" + c.pattern;
        EXPECT_TRUE(fs.ListDirectory(pattern.c_str(), list)) << c.pattern;
        EXPECT_EQ(Names(list), c.names) << c.pattern;
    }

    // No match: false and an empty list, whatever it held.
    list.Add(nullptr);
    EXPECT_FALSE(fs.ListDirectory((dir.Path() + "/*.png").c_str(), list));
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_FALSE(fs.ListDirectory((dir.Path() + "/missing/*").c_str(), list));
    EXPECT_FALSE(fs.ListDirectory((dir.Path() + "/").c_str(), list));
}

TEST(zIODiskFS, WildcardsMatchWithoutRegardToCase)
{
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    } const cases[] = {
        {"*", "", true},          {"*", "abc", true},         {"a*c", "ABBC", true},     {"a*c", "abcd", false},
        {"?b", "ab", true},       {"?b", "b", false},         {"*.zml", "x.ZML", true},   {"*.zml", "x.zmlx", false},
        {"*.*", "noext", true},   {"name.*", "name", true},   {"name.*", "names", false}, {"*a*b", "xaxbxab", true},
        {"[ab]", "a", false},     {"[ab]", "[AB]", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PlatformMatchPattern(c.pattern, c.name), c.match) << c.pattern << " / " << c.name;
}

TEST(zIODiskFS, SetCurrentPathChangesTheWorkingDirectory)
{
    FileSystemGuard guard;
    TempDir dir;
    dir.Write("Level/file.txt", "x");
    zIODiskFS fs;
    EXPECT_EQ(fs.GetCapabilities(), 0x0Fu);
    ASSERT_TRUE(fs.SetCurrentPath((dir.Path() + "\\LEVEL").c_str()));
    EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::current_path(), dir.Path("Level")));
    zIOHandle* handle = fs.OpenDirect("file.txt", true, false, false);
    EXPECT_NE(handle, nullptr);
    fs.Close(handle);
    EXPECT_TRUE(fs.GetCurrentPath().IsEmpty());

    EXPECT_FALSE(fs.SetCurrentPath((dir.Path() + "/missing").c_str()));
    EXPECT_FALSE(fs.SetCurrentPath(nullptr));
    EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::current_path(), dir.Path("Level")));
}
