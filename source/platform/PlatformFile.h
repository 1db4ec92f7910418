#pragma once

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

// Files and directories for the disk file system. Paths may use '\\' as well
// as '/', and content authored on Windows names files without regard to case:
// a path that does not exist with its exact case is resolved one component at
// a time against the names actually on disk.

// Opens a regular file with a C stdio mode; null when it cannot be opened or
// names a directory. For reading ("r" modes) anything else that is not a
// regular file (a FIFO, a device, a socket) is refused too, without waiting
// for a writer, and errno is then PlatformNotRegularFile.
FILE* PlatformOpenFile(const char* path, const char* mode);
inline constexpr int PlatformNotRegularFile = ENODEV;

// The path as it exists on disk: each component that is missing with its exact
// case takes the name that matches it without regard to case (the smallest such
// name when several do). With missingLastOk a last component that matches
// nothing is kept as given, so that a new file can be created. False when a
// component cannot be resolved.
bool PlatformResolvePath(const char* path, bool missingLastOk, std::string& resolved);

// Resolves the path like PlatformResolvePath; true when the directory changed.
bool PlatformSetCurrentDirectory(const char* path);

// The names in a directory that match a Windows-style pattern ("dir/*.txt":
// '*' and '?' wildcards, no case distinction, "*.*" matching every name),
// sorted without regard to case. "." and ".." are listed when they match.
// False when the directory cannot be read or nothing matches.
bool PlatformListDirectory(const char* pattern, std::vector<std::string>& names);

// Windows-style wildcard match of one name, without regard to case.
bool PlatformMatchPattern(const char* pattern, const char* name);

// The directory of the running executable with a trailing '/', read from the
// operating system (not from argv[0]); false when it cannot be found.
bool PlatformExecutableDirectory(std::string& directory);

// The absolute form of an existing directory, with every symbolic link, "."
// and ".." resolved and no trailing '/' (but for "/" itself); false when the path does not name a
// directory (or cannot be resolved). Unlike PlatformResolvePath, case counts.
bool PlatformRealDirectory(const char* path, std::string& real);

// A write to a pipe or socket whose reader has gone then fails with EPIPE,
// for the writer to report, instead of ending the process on SIGPIPE. The
// signal gets a handler that does nothing, not SIG_IGN, which programs the
// process starts would inherit. Once per process; false when the handler
// cannot be installed.
bool PlatformReportBrokenPipes();
