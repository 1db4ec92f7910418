#pragma once

#include "framework/system/zMutex.h"

#include <cstdint>
#include <thread>
#include <vector>

class zString;

// Where finished lines go instead of standard output (tests capture them).
class zLogSink {
public:
    virtual ~zLogSink() = default;
    // One whole line with its line feed, on the thread that finished it, under
    // the log's lock.
    virtual void Write(const char* line) = 0;
};

// The system's log. A line is composed by a chain of appends and printed when
// a line feed is appended, if its category is enabled in the verbosity mask.
// Each thread composes its own line, so lines from two threads never mix.
class zLogStream {
public:
    static constexpr int LineCapacity = 4096;

    // Category bits of the verbosity mask.
    static constexpr uint8_t Standard = 1;
    static constexpr uint8_t Heading = 2;
    static constexpr uint8_t Warning = 4;
    static constexpr uint8_t Error = 8;
    static constexpr uint8_t Script = 16;

    zLogStream();
    virtual ~zLogStream();
    zLogStream(const zLogStream&) = delete;
    zLogStream& operator=(const zLogStream&) = delete;

    zLogStream& operator<<(const char* text);
    zLogStream& operator<<(const zString& text);
    zLogStream& operator<<(int value);
    zLogStream& operator<<(unsigned int value);
    zLogStream& operator<<(char value);
    zLogStream& operator<<(unsigned char value);
    zLogStream& operator<<(unsigned short value);
    zLogStream& operator<<(float value);
    zLogStream& operator<<(double value);
    zLogStream& operator<<(bool value);

    // Filters a finished line by its category and prints it.
    virtual void Output(const char* line);

    uint8_t VerbosityMask = 0xFF;

    // Builds a mask from the letters of the "-log_level" option.
    static uint8_t MaskFromLetters(const char* letters);

    // Lines go to the sink instead of standard output while one is set; returns
    // the previous sink. The sink is not owned and must outlive its setting.
    zLogSink* SetSink(zLogSink* sink);

private:
    struct Line {
        std::thread::id owner;
        int length = 0;
        char text[LineCapacity];
    };

    void AppendFormatted(const char* format, ...) __attribute__((format(printf, 2, 3)));
    Line& CurrentLine();

    zMutex mutex;
    std::vector<Line*> lines;
    zLogSink* sink = nullptr;
};

extern zLogStream GlobalLog;
extern zLogStream* const GlobalLogStream;

// Line prefixes; lines without one are plain information.
inline constexpr const char* LogErrorPrefix = "[!] ";
inline constexpr const char* LogWarningPrefix = "[*] ";
inline constexpr const char* LogHeadingPrefix = "[H] ";
inline constexpr const char* LogScriptPrefix = "[S] ";

// Starts a line tied to a place in the code:
// prefix, method, " (", file, ":", line, ") ". The caller appends the message.
// The short forms below take the caller's own file and line.
zLogStream& LogAt(const char* prefix, const char* method, const char* file, int line);

inline zLogStream& LogError(const char* method, const char* file = __builtin_FILE(), int line = __builtin_LINE())
{
    return LogAt(LogErrorPrefix, method, file, line);
}

inline zLogStream& LogWarning(const char* method, const char* file = __builtin_FILE(), int line = __builtin_LINE())
{
    return LogAt(LogWarningPrefix, method, file, line);
}

inline zLogStream& LogHeading(const char* method, const char* file = __builtin_FILE(), int line = __builtin_LINE())
{
    return LogAt(LogHeadingPrefix, method, file, line);
}

inline zLogStream& LogInfo(const char* method, const char* file = __builtin_FILE(), int line = __builtin_LINE())
{
    return LogAt("", method, file, line);
}
