#pragma once

#include "framework/filesystem/zIOBaseFS.h"
#include "framework/filesystem/zStream.h"

#include <filesystem>
#include <vector>

// Saves the current file system, the fallback file systems, the search paths
// and the working directory, and puts them all back when it goes.
class FileSystemGuard {
public:
    FileSystemGuard() : currentFS(GlobalCurrentFS), workingDirectory(std::filesystem::current_path())
    {
        for (auto* node = GlobalFallbackFSList.GetFirst(); node != nullptr; node = node->next)
            fallbacks.push_back(node->value);
        for (auto* node = GlobalSearchPathList.GetFirst(); node != nullptr; node = node->next)
            searchPaths.push_back(node->value);
    }
    ~FileSystemGuard()
    {
        zStream::SetCurrentFS(currentFS);
        GlobalFallbackFSList.Clear();
        for (zIOBaseFS* fs : fallbacks)
            GlobalFallbackFSList.Add(fs);
        GlobalSearchPathList.Clear();
        for (const zString& path : searchPaths)
            GlobalSearchPathList.Add(path);
        std::error_code ignored;
        std::filesystem::current_path(workingDirectory, ignored);
    }
    FileSystemGuard(const FileSystemGuard&) = delete;
    FileSystemGuard& operator=(const FileSystemGuard&) = delete;

private:
    zIOBaseFS* currentFS;
    std::filesystem::path workingDirectory;
    std::vector<zIOBaseFS*> fallbacks;
    std::vector<zString> searchPaths;
};
