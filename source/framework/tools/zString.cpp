#include "framework/tools/zString.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A copy of [text, text + count) with a NUL, or null when out of memory.
char* CopyText(const char* text, size_t count)
{
    char* copy = static_cast<char*>(std::malloc(count + 1));
    if (copy == nullptr)
        return nullptr;
    std::memcpy(copy, text, count);
    copy[count] = '\0';
    return copy;
}

bool IsPathSeparator(char c)
{
    return c == '/' || c == '\\';
}

} // namespace

int32_t HashString(const char* text)
{
    uint32_t h = 0;
    if (text != nullptr) {
        for (const char* p = text; *p != '\0'; ++p)
            h = h * 37u + uint32_t(int32_t(static_cast<signed char>(*p)));
    }
    return int32_t(h);
}

zString::zString(const char* text)
{
    Assign(text);
}

zString::zString(const zString& other)
{
    AssignString(other);
}

zString::zString(zString&& other) noexcept
    : buffer(other.buffer), hash(other.hash), length(other.length)
{
    other.buffer = nullptr;
    other.hash = 0;
    other.length = 0;
}

zString& zString::operator=(const zString& other)
{
    return AssignString(other);
}

zString& zString::operator=(zString&& other) noexcept
{
    if (this != &other) {
        Clear();
        buffer = other.buffer;
        hash = other.hash;
        length = other.length;
        other.buffer = nullptr;
        other.hash = 0;
        other.length = 0;
    }
    return *this;
}

zString& zString::operator=(const char* text)
{
    return Assign(text);
}

zString::~zString()
{
    Clear();
}

void zString::Update()
{
    if (buffer == nullptr) {
        length = 0;
        hash = 0;
        return;
    }
    length = int32_t(std::strlen(buffer));
    hash = HashString(buffer);
}

void zString::Clear()
{
    std::free(buffer);
    buffer = nullptr;
    hash = 0;
    length = 0;
}

// The new buffer is made before the old one is freed, so a source that points
// into this string stays valid while it is copied.
void zString::TakeBuffer(char* newBuffer)
{
    std::free(buffer);
    buffer = newBuffer;
    Update();
}

zString& zString::Assign(const char* text)
{
    TakeBuffer(text != nullptr ? CopyText(text, std::strlen(text)) : nullptr);
    return *this;
}

zString& zString::AssignRange(const char* begin, const char* end)
{
    char* copy = nullptr;
    if (begin != nullptr) {
        const size_t count = end != nullptr ? (end > begin ? size_t(end - begin) : 0) : std::strlen(begin);
        if (count >= 1)
            copy = CopyText(begin, count);
    }
    TakeBuffer(copy);
    return *this;
}

zString& zString::AssignText(const char* text)
{
    if (text == nullptr || *text == '\0')
        TakeBuffer(nullptr);
    else
        TakeBuffer(CopyText(text, std::strlen(text)));
    return *this;
}

zString& zString::AssignString(const zString& other)
{
    if (this == &other)
        return *this;
    TakeBuffer(other.IsEmpty() ? nullptr : CopyText(other.buffer, size_t(other.length)));
    return *this;
}

zString& zString::Append(const char* text)
{
    if (text == nullptr)
        return *this;
    if (buffer == nullptr)
        return Assign(text);
    const size_t extra = std::strlen(text);
    char* joined = static_cast<char*>(std::malloc(size_t(length) + extra + 1));
    if (joined == nullptr)
        return *this;
    std::memcpy(joined, buffer, size_t(length));
    std::memcpy(joined + length, text, extra + 1);
    TakeBuffer(joined);
    return *this;
}

zString zString::Format(const char* format, ...)
{
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return zString(text);
}

zString zString::RemoveChar(char ch) const
{
    zString result;
    if (buffer == nullptr)
        return result;
    char* kept = CopyText(buffer, size_t(length));
    if (kept == nullptr)
        return result;
    char* out = kept;
    for (const char* in = buffer; *in != '\0'; ++in) {
        if (*in != ch)
            *out++ = *in;
    }
    *out = '\0';
    result.TakeBuffer(kept);
    return result;
}

bool zString::NormalizePath()
{
    if (buffer == nullptr)
        return false;
    if (length > 2 && buffer[1] == ':' && buffer[0] >= 'A' && buffer[0] <= 'Z')
        buffer[0] = char(buffer[0] - 'A' + 'a');
    char* out = buffer;
    for (const char* in = buffer; *in != '\0'; ++in) {
        const char c = *in == '\\' ? '/' : *in;
        if (c == '/' && out != buffer && out[-1] == '/')
            continue;
        *out++ = c;
    }
    *out = '\0';
    Update();
    return true;
}

void zString::StripDirectoryAndExtension()
{
    if (buffer == nullptr)
        return;
    PathStripDirectoryAndExtension(buffer);
    Update();
}

bool zString::EqualsString(const zString& other) const
{
    if (IsEmpty())
        return other.IsEmpty();
    if (other.IsEmpty() || hash != other.hash)
        return false;
    return std::strcmp(buffer, other.buffer) == 0;
}

bool zString::EqualsCString(const char* text) const
{
    if (IsEmpty() || text == nullptr)
        return false;
    return std::strcmp(buffer, text) == 0;
}

int32_t ParseInt(const char* text)
{
    if (text == nullptr)
        return 0;
    bool negative = false;
    if (*text == '-') {
        negative = true;
        ++text;
    }
    uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = value * 10u + uint32_t(*text - '0');
    return int32_t(negative ? 0u - value : value);
}

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// 10^exponent in single precision: eight factors of ten at a time, then one.
float PowerOfTen(uint32_t exponent)
{
    float factor = 1.0f;
    for (; exponent >= 8; exponent -= 8)
        factor *= 1e8f;
    for (; exponent > 0; --exponent)
        factor *= 10.0f;
    return factor;
}

float ApplyExponent(float value, const char* position, const char* end)
{
    // The sign character is consumed whatever it is.
    if (position >= end || value == 0.0f)
        return value;
    const bool negative = *position == '-';
    ++position;
    uint32_t exponent = 0;
    for (; position < end && IsDigit(*position); ++position) {
        if (exponent < 1000)
            exponent = exponent * 10u + uint32_t(*position - '0');
    }
    const float factor = PowerOfTen(exponent);
    return negative ? value / factor : value * factor;
}

} // namespace

float ParseFloat(const char* begin, const char* end, bool comma)
{
    if (begin == nullptr)
        return 0.0f;
    if (end == nullptr)
        end = begin + std::strlen(begin);
    const char* p = begin;
    float sign = 1.0f;
    if (p < end && *p == '-') {
        sign = -1.0f;
        ++p;
        if (p >= end)
            return 0.0f;
    }
    float integer = 0.0f;
    for (; p < end; ++p) {
        const char c = *p;
        if (IsDigit(c)) {
            integer = integer * 10.0f + float(c - '0');
        } else if (c == '.' || (comma && c == ',')) {
            break;
        } else if (c == 'e') {
            return ApplyExponent(sign * integer, p + 1, end);
        } else {
            return sign * integer;
        }
    }
    if (p >= end)
        return sign * integer;

    float numerator = 0.0f;
    float divisor = 1.0f;
    for (++p; p < end; ++p) {
        const char c = *p;
        if (IsDigit(c)) {
            numerator = numerator * 10.0f + float(c - '0');
            divisor *= 10.0f;
        } else if (c == 'e') {
            return ApplyExponent(sign * (integer + numerator / divisor), p + 1, end);
        } else {
            break;
        }
    }
    return sign * (integer + numerator / divisor);
}

const char* FindChar(const char* text, char ch, const char* end)
{
    const char* p = text;
    while ((end == nullptr || p < end) && *p != '\0' && *p != ch)
        ++p;
    return p;
}

void PathStripFileName(char* path)
{
    if (path == nullptr)
        return;
    char* cut = nullptr;
    for (char* p = path; *p != '\0'; ++p) {
        if (IsPathSeparator(*p) || *p == ':')
            cut = p + 1;
    }
    *(cut != nullptr ? cut : path) = '\0';
}

void PathStripExtension(char* path)
{
    if (path == nullptr)
        return;
    char* dot = std::strrchr(path, '.');
    if (dot != nullptr)
        *dot = '\0';
}

zString PathGetExtension(const char* path)
{
    zString extension;
    if (path == nullptr)
        return extension;
    const char* dot = std::strrchr(path, '.');
    if (dot != nullptr)
        extension.AssignText(dot + 1);
    return extension;
}

void PathStripDirectory(char* path)
{
    if (path == nullptr)
        return;
    char* start = nullptr;
    for (char* p = path; *p != '\0'; ++p) {
        if (IsPathSeparator(*p))
            start = p + 1;
    }
    if (start != nullptr)
        std::memmove(path, start, std::strlen(start) + 1);
}

void PathStripDirectoryAndExtension(char* path)
{
    PathStripDirectory(path);
    PathStripExtension(path);
}
