#include "framework/system/zLogStream.h"

#include "framework/tools/zString.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

zLogStream* const GlobalLogStream = &GlobalLog;

zLogStream::zLogStream() = default;

zLogStream::~zLogStream()
{
    for (Line* line : lines)
        delete line;
}

zLogStream::Line& zLogStream::CurrentLine()
{
    const std::thread::id self = std::this_thread::get_id();
    Line* reusable = nullptr;
    for (Line* line : lines) {
        if (line->owner == self)
            return *line;
        // An empty line carries no state: any thread may take it over.
        if (reusable == nullptr && line->length == 0)
            reusable = line;
    }
    if (reusable == nullptr) {
        reusable = new Line;
        lines.push_back(reusable);
    }
    reusable->owner = self;
    reusable->length = 0;
    reusable->text[0] = '\0';
    return *reusable;
}

void zLogStream::AppendFormatted(const char* format, ...)
{
    zMutexLock lock(mutex);
    Line& line = CurrentLine();
    const int room = LineCapacity - line.length;
    if (room > 1) {
        va_list arguments;
        va_start(arguments, format);
        const int written = std::vsnprintf(line.text + line.length, size_t(room), format, arguments);
        va_end(arguments);
        if (written > 0)
            line.length += written < room ? written : room - 1;
    }
}

zLogStream& zLogStream::operator<<(const char* text)
{
    if (text == nullptr)
        return *this;
    zMutexLock lock(mutex);
    AppendFormatted("%s", text);
    // Every line feed in the piece finishes the line composed so far, including
    // whatever followed the line feed in the same piece.
    for (const char* p = std::strchr(text, '\n'); p != nullptr; p = std::strchr(p + 1, '\n')) {
        Line& line = CurrentLine();
        Output(line.text);
        line.length = 0;
        line.text[0] = '\0';
    }
    return *this;
}

zLogStream& zLogStream::operator<<(const zString& text)
{
    return *this << text.Get();
}

zLogStream& zLogStream::operator<<(int value)
{
    AppendFormatted("%d", value);
    return *this;
}

zLogStream& zLogStream::operator<<(unsigned int value)
{
    AppendFormatted("%u", value);
    return *this;
}

zLogStream& zLogStream::operator<<(char value)
{
    AppendFormatted("%d", int(static_cast<signed char>(value)));
    return *this;
}

zLogStream& zLogStream::operator<<(unsigned char value)
{
    AppendFormatted("%d", int(value));
    return *this;
}

zLogStream& zLogStream::operator<<(unsigned short value)
{
    AppendFormatted("%d", int(value));
    return *this;
}

zLogStream& zLogStream::operator<<(float value)
{
    AppendFormatted("%.3f", double(value));
    return *this;
}

zLogStream& zLogStream::operator<<(double value)
{
    AppendFormatted("%.3f", value);
    return *this;
}

zLogStream& zLogStream::operator<<(bool value)
{
    AppendFormatted("%s", value ? "TRUE" : "FALSE");
    return *this;
}

void zLogStream::Output(const char* line)
{
    uint8_t category = Standard;
    if (std::strlen(line) >= 3 && line[0] == '[' && line[2] == ']') {
        switch (line[1]) {
        case '!': category = Error; break;
        case '*': category = Warning; break;
        case 'H': category = Heading; break;
        case 'S': category = Script; break;
        default: category = 0; break; // bracketed markers are always printed
        }
    }
    if (category != 0 && (VerbosityMask & category) == 0)
        return;
    if (*line == '\0')
        return;
    if (sink != nullptr)
        sink->Write(line);
    else
        std::fputs(line, stdout);
}

uint8_t zLogStream::MaskFromLetters(const char* letters)
{
    uint8_t mask = 0;
    for (const char* p = letters; p != nullptr && *p != '\0'; ++p) {
        switch (*p) {
        case '!': mask |= Error; break;
        case '*': mask |= Warning; break;
        case 'H': mask |= Heading; break;
        case 'S': mask |= Script; break;
        case 's': mask |= Standard; break;
        case 'a': mask = 0xFF; break;
        case 'n': mask = 0; break;
        default: break;
        }
    }
    return mask;
}

zLogSink* zLogStream::SetSink(zLogSink* newSink)
{
    zMutexLock lock(mutex);
    zLogSink* previous = sink;
    sink = newSink;
    return previous;
}

zLogStream& LogAt(const char* prefix, const char* method, const char* file, int line)
{
    return *GlobalLogStream << prefix << method << " (" << file << ":" << line << ") ";
}
