#pragma once

#include <cstdint>

// The one string type of the system. It caches its length and a 32-bit hash so
// that lookups by name compare one integer before touching any bytes. The
// buffer is malloc'ed and owned; a failed allocation leaves the string as it
// was (Append) or without a buffer.
class zString {
public:
    zString() = default;
    zString(const char* text);
    zString(const zString& other);
    zString(zString&& other) noexcept;
    zString& operator=(const zString& other);
    zString& operator=(zString&& other) noexcept;
    zString& operator=(const char* text);
    ~zString();

    // Null when the string holds no buffer (default-made, assigned null or
    // cleared): check IsEmpty, or pass it only where null is allowed.
    const char* Get() const { return buffer; }
    int32_t GetLength() const { return length; }
    int32_t GetHash() const { return hash; }

    // Recomputes length and hash after the buffer was edited in place.
    void Update();
    // Frees the buffer.
    void Clear();
    bool IsEmpty() const { return buffer == nullptr || length == 0; }

    // Null leaves no buffer; an empty text keeps a one-byte buffer.
    zString& Assign(const char* text);
    // Copies [begin, end); a null end copies up to the NUL. Fewer than one
    // character leaves no buffer.
    zString& AssignRange(const char* begin, const char* end);
    // Like Assign, but an empty text leaves no buffer.
    zString& AssignText(const char* text);
    zString& AssignString(const zString& other);
    zString& Append(const char* text);

    // printf-style; the result is cut to 1023 characters.
    static zString Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

    zString RemoveChar(char ch) const;
    // '\\' becomes '/', runs of '/' become one, a drive letter goes lower
    // case. False without a buffer.
    bool NormalizePath();
    void StripDirectoryAndExtension();

    // Byte for byte, case counts; two empty strings (with or without a
    // buffer) are equal.
    bool EqualsString(const zString& other) const;
    // False when this string is empty or text is null, even for "".
    bool EqualsCString(const char* text) const;
    bool CompareCString(const char* text) const { return !EqualsCString(text); }

    bool operator==(const zString& other) const { return EqualsString(other); }
    bool operator==(const char* text) const { return EqualsCString(text); }
    bool operator!=(const char* text) const { return CompareCString(text); }

private:
    void TakeBuffer(char* newBuffer);

    char* buffer = nullptr;
    int32_t hash = 0;
    int32_t length = 0;
};

// h = h * 37 + c over the bytes taken as signed chars, wrapping at 32 bits.
int32_t HashString(const char* text);

// An optional '-' and the decimal digits that follow; 0 for null or no
// digits. Wraps at 32 bits instead of failing.
int32_t ParseInt(const char* text);
// Parses [begin, end) (end null: up to the NUL); ',' is the decimal separator
// only when comma is true.
float ParseFloat(const char* begin, const char* end = nullptr, bool comma = false);
// First occurrence of ch, stopping at end (when given) or at the NUL, which is
// then the result.
const char* FindChar(const char* text, char ch, const char* end = nullptr);

// In-place path edits: each writes a shorter NUL-terminated text into path.
void PathStripFileName(char* path);
void PathStripExtension(char* path);
zString PathGetExtension(const char* path);
void PathStripDirectory(char* path);
void PathStripDirectoryAndExtension(char* path);
