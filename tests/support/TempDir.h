#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

// A uniquely named directory under the system's temporary directory, removed
// with everything in it when the object goes.
class TempDir {
public:
    TempDir()
    {
        static std::atomic<unsigned> counter{0};
        std::random_device random;
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (;;) {
            path = base / ("tavrin-test-" + std::to_string(random()) + "-" + std::to_string(counter++));
            if (std::filesystem::create_directory(path))
                break;
        }
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory, or a path below it.
    std::string Path(const std::string& relative = std::string()) const
    {
        return relative.empty() ? path.string() : (path / relative).string();
    }

    // Writes a file below the directory, creating its parent directories.
    std::string Write(const std::string& relative, const std::string& bytes) const
    {
        const std::filesystem::path file = path / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
        return file.string();
    }

    // The whole file, or an empty string when it cannot be read.
    std::string Read(const std::string& relative) const
    {
        std::ifstream in(path / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path path;
};
