#include "platform/PlatformFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string NativePath(const char* path)
{
    std::string native(path);
    std::replace(native.begin(), native.end(), '\\', '/');
    return native;
}

bool PathExists(const std::string& path)
{
    struct stat info{};
    return stat(path.c_str(), &info) == 0;
}

std::string JoinPath(const std::string& directory, const std::string& name)
{
    if (directory.empty())
        return name;
    if (directory.back() == '/')
        return directory + name;
    return directory + "/" + name;
}

// Opens a path as given; a directory is not a file here, as on Windows.
// Reading takes only regular files: a FIFO named by content would block the
// open until some writer came, and a device is no file to read. The open
// itself does not wait (O_NONBLOCK), so the check sees what was opened.
FILE* OpenRegularFile(const std::string& path, const char* mode)
{
    if (mode[0] == 'r') {
        const int access = std::strchr(mode, '+') != nullptr ? O_RDWR : O_RDONLY;
        const int fd = open(path.c_str(), access | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return nullptr;
        struct stat info{};
        const int error = fstat(fd, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR
                                                       : !S_ISREG(info.st_mode) ? PlatformNotRegularFile
                                                                                : 0;
        const int flags = error == 0 ? fcntl(fd, F_GETFL) : -1;
        FILE* file = error == 0 && flags != -1 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 ? fdopen(fd, mode)
                                                                                             : nullptr;
        if (file == nullptr) {
            const int reported = error != 0 ? error : errno;
            close(fd);
            errno = reported;
        }
        return file;
    }
    FILE* file = std::fopen(path.c_str(), mode);
    if (file == nullptr)
        return nullptr;
    struct stat info{};
    if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(file);
        errno = EISDIR;
        return nullptr;
    }
    return file;
}

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool MatchWildcards(const char* pattern, const char* name)
{
    // Greedy match with one backtrack point: the last '*' seen.
    const char* starPattern = nullptr;
    const char* starName = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            starPattern = ++pattern;
            starName = name;
        } else if (*pattern != '\0' && (*pattern == '?' || LowerAscii(*pattern) == LowerAscii(*name))) {
            ++pattern;
            ++name;
        } else if (starPattern != nullptr) {
            pattern = starPattern;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

bool LessIgnoringCase(const std::string& a, const std::string& b)
{
    const int order = strcasecmp(a.c_str(), b.c_str());
    return order != 0 ? order < 0 : a < b;
}

} // namespace

bool PlatformMatchPattern(const char* pattern, const char* name)
{
    if (pattern == nullptr || name == nullptr)
        return false;
    if (MatchWildcards(pattern, name))
        return true;
    // Windows lets "x.*" match a name without any extension.
    const size_t length = std::strlen(pattern);
    if (length >= 2 && std::strcmp(pattern + length - 2, ".*") == 0 && std::strchr(name, '.') == nullptr)
        return MatchWildcards(std::string(pattern, length - 2).c_str(), name);
    return false;
}

bool PlatformResolvePath(const char* path, bool missingLastOk, std::string& resolved)
{
    if (path == nullptr || *path == '\0')
        return false;
    const std::string native = NativePath(path);
    if (PathExists(native)) {
        resolved = native;
        return true;
    }

    std::vector<std::string> components;
    for (size_t begin = 0; begin < native.size();) {
        size_t end = native.find('/', begin);
        if (end == std::string::npos)
            end = native.size();
        if (end > begin)
            components.push_back(native.substr(begin, end - begin));
        begin = end + 1;
    }

    std::string current = native[0] == '/' ? "/" : "";
    for (size_t i = 0; i < components.size(); ++i) {
        const std::string& component = components[i];
        const std::string exact = JoinPath(current, component);
        if (component == "." || component == ".." || PathExists(exact)) {
            current = exact;
            continue;
        }
        std::string match;
        if (DIR* directory = opendir(current.empty() ? "." : current.c_str())) {
            while (const dirent* entry = readdir(directory)) {
                if (strcasecmp(entry->d_name, component.c_str()) == 0 && (match.empty() || std::strcmp(entry->d_name, match.c_str()) < 0))
                    match = entry->d_name;
            }
            closedir(directory);
        }
        if (!match.empty())
            current = JoinPath(current, match);
        else if (missingLastOk && i + 1 == components.size())
            current = exact;
        else
            return false;
    }
    if (current.empty())
        return false;
    resolved = current;
    return true;
}

FILE* PlatformOpenFile(const char* path, const char* mode)
{
    if (path == nullptr || mode == nullptr)
        return nullptr;
    const std::string native = NativePath(path);
    FILE* file = OpenRegularFile(native, mode);
    if (file != nullptr || errno != ENOENT)
        return file;
    std::string resolved;
    if (!PlatformResolvePath(native.c_str(), mode[0] != 'r', resolved) || resolved == native)
        return nullptr;
    return OpenRegularFile(resolved, mode);
}

bool PlatformSetCurrentDirectory(const char* path)
{
    std::string resolved;
    return PlatformResolvePath(path, false, resolved) && chdir(resolved.c_str()) == 0;
}

bool PlatformListDirectory(const char* pattern, std::vector<std::string>& names)
{
    names.clear();
    if (pattern == nullptr || *pattern == '\0')
        return false;
    const std::string native = NativePath(pattern);
    const size_t slash = native.rfind('/');
    std::string directory = ".";
    std::string namePattern = native;
    if (slash != std::string::npos) {
        directory = slash == 0 ? "/" : native.substr(0, slash);
        namePattern = native.substr(slash + 1);
    }
    if (namePattern.empty())
        return false;
    std::string resolved;
    if (!PlatformResolvePath(directory.c_str(), false, resolved))
        return false;

    DIR* handle = opendir(resolved.c_str());
    if (handle == nullptr)
        return false;
    while (const dirent* entry = readdir(handle)) {
        if (PlatformMatchPattern(namePattern.c_str(), entry->d_name))
            names.emplace_back(entry->d_name);
    }
    closedir(handle);
    std::sort(names.begin(), names.end(), LessIgnoringCase);
    return !names.empty();
}

bool PlatformExecutableDirectory(std::string& directory)
{
    char buffer[4096];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (length <= 0)
        return false;
    buffer[length] = '\0';
    std::string path(buffer);
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return false;
    directory = path.substr(0, slash + 1);
    return true;
}

bool PlatformRealDirectory(const char* path, std::string& real)
{
    if (path == nullptr || *path == '\0')
        return false;
    char* resolved = realpath(NativePath(path).c_str(), nullptr);
    if (resolved == nullptr)
        return false;
    std::string candidate(resolved);
    free(resolved);
    struct stat info{};
    if (stat(candidate.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    real = candidate;
    return true;
}

namespace {

void OnBrokenPipe(int) {}

} // namespace

bool PlatformReportBrokenPipes()
{
    struct sigaction action{};
    action.sa_handler = OnBrokenPipe;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGPIPE, &action, nullptr) == 0;
}
