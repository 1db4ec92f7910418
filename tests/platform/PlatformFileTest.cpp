#include "platform/PlatformFile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

// Links and ".." are resolved to the directory itself; anything that is not a
// directory is refused and leaves the result alone.
TEST(PlatformRealDirectory, ResolvesExistingDirectoriesOnly)
{
    TempDir dir;
    const std::string base = std::filesystem::canonical(dir.Path()).string();
    std::filesystem::create_directories(dir.Path("share/tavrin"));
    std::filesystem::create_directories(dir.Path("bin"));
    std::filesystem::create_directory_symlink(dir.Path("share"), dir.Path("link"));
    dir.Write("share/file.txt", "x");
    std::filesystem::create_symlink(dir.Path("share/file.txt"), dir.Path("filelink"));

    const struct {
        const char* path;
        const char* real; // relative to the base; null when refused
    } cases[] = {
        {"share/tavrin", "share/tavrin"},
        {"share/tavrin/", "share/tavrin"},
        {"bin/../share/tavrin", "share/tavrin"},
        {"bin/./../share//tavrin/.", "share/tavrin"},
        {"link/tavrin", "share/tavrin"},
        {"link", "share"},
        {"share/file.txt", nullptr},
        {"filelink", nullptr},
        {"share/absent", nullptr},
        {"absent/../share", nullptr},
    };
    for (const auto& c : cases) {
        std::string real = "untouched";
        const bool found = PlatformRealDirectory(dir.Path(c.path).c_str(), real);
        EXPECT_EQ(found, c.real != nullptr) << c.path;
        EXPECT_EQ(real, c.real != nullptr ? base + "/" + c.real : std::string("untouched")) << c.path;
    }
    std::string real = "untouched";
    EXPECT_FALSE(PlatformRealDirectory("", real));
    EXPECT_FALSE(PlatformRealDirectory(nullptr, real));
    EXPECT_EQ(real, "untouched");
}

} // namespace
