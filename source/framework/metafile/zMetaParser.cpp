#include "framework/metafile/zMetaParser.h"

#include "framework/filesystem/zStream.h"
#include "framework/metafile/zMetaArena.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "framework/tools/zAsciiEncoder.h"
#include "framework/tools/zString.h"
#include "framework/tools/zTextScanner.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

constexpr const char* ParseMethod = "zMetaParser::ParseTag";
constexpr const char* LoadMethod = "zMetaParser::Load";

} // namespace

// One file being read. "#include" walks the chain to refuse a file that is
// already being read, and counts its length to bound the nesting.
struct zMetaParser::IncludeFrame {
    const char* name = "";
    const IncludeFrame* parent = nullptr;
    int32_t includeDepth = 0;
    // Depth at which the file's root tags sit in the including tree.
    int32_t tagDepth = 0;
    // Set on the outermost file when an include loops or nests too deep, or
    // the load outgrows its bounds: the whole load fails then, not just the
    // one include.
    mutable bool aborted = false;
    // What the whole load has read so far; kept on the outermost file.
    mutable int32_t files = 0;
    mutable int64_t tags = 0;
    mutable int64_t bytes = 0;
    mutable int64_t appended = 0;

    const IncludeFrame& Outermost() const
    {
        const IncludeFrame* f = this;
        while (f->parent != nullptr)
            f = f->parent;
        return *f;
    }

    // The file's name as the file system finds it, so that two spellings of
    // one file compare equal.
    static zString Canonical(const char* fileName)
    {
        zString name(fileName);
        if (name.IsEmpty() || !zStream::LocateFile(name))
            name.NormalizePath();
        return name;
    }

    static IncludeFrame Top(const char* fileName)
    {
        IncludeFrame frame;
        frame.name = fileName != nullptr ? fileName : "";
        return frame;
    }
};

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The writer's form, "-123.456" with an optional "f", is read correctly
// rounded so that every float written reads back as the same float; other
// tokens go through ParseFloat as they always did.
float ReadFloat(const char* begin, const char* end)
{
    const char* digitsEnd = end > begin && end[-1] == 'f' ? end - 1 : end;
    const char* p = begin < digitsEnd && *begin == '-' ? begin + 1 : begin;
    int32_t dots = 0;
    int32_t digits = 0;
    for (; p < digitsEnd; ++p) {
        if (*p == '.')
            ++dots;
        else if (IsDigit(*p))
            ++digits;
        else
            break;
    }
    if (p == digitsEnd && dots <= 1 && digits > 0) {
        float value = 0.0f;
        const auto result = std::from_chars(begin, digitsEnd, value, std::chars_format::fixed);
        if (result.ec == std::errc() && result.ptr == digitsEnd)
            return value;
    }
    return ParseFloat(begin, end, true);
}

char* CopyRange(const char* begin, const char* end)
{
    const size_t length = size_t(end - begin);
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (copy != nullptr) {
        std::memcpy(copy, begin, length);
        copy[length] = '\0';
    }
    return copy;
}

// Decimal digits as a non-negative int32; overflow is flagged, not wrapped.
const char* ReadSize(const char* p, const char* end, int32_t& value, bool& overflow)
{
    int64_t v = 0;
    for (; p < end && IsDigit(*p); ++p) {
        v = v * 10 + (*p - '0');
        if (v > INT32_MAX) {
            overflow = true;
            v = INT32_MAX;
        }
    }
    value = int32_t(v);
    return p;
}

} // namespace

// Parses the tags of one text. Every method returns false after logging.
class zMetaParser::TagReader {
public:
    TagReader(const char* end, const char* fileName, zMetaFile* document, const zMetaFile* including,
              const IncludeFrame& frame, zMetaArena* arena)
        : end(end), fileName(fileName != nullptr ? fileName : ""), document(document), including(including),
          frame(frame), top(frame.Outermost()), arena(arena)
    {
    }

    // inArena: the tag lives in the reader's arena, so its values may too.
    bool Parse(zMetaTag* tag, const char*& cursor, int32_t depth, bool inArena);
    // A new unset tag in the arena (or on the heap without one), or null.
    zMetaTag* NewTag() { return arena != nullptr ? new (arena) zMetaTag() : new (std::nothrow) zMetaTag(); }

private:
    // Messages that name a tag carry the file they come from.
    zLogStream& NamedError()
    {
        LogError(ParseMethod) << "In file '" << fileName << "': ";
        return LogError(ParseMethod);
    }
    bool Mangled(const zMetaTag* tag)
    {
        NamedError() << "Mangled definition, metatag '" << tag->id << "'.\n";
        return false;
    }
    bool Incoherent(const zMetaTag* tag)
    {
        NamedError() << "Incoherent type in tag '" << tag->id << "' declaration.\n";
        return false;
    }

    bool ParseChild(zMetaTag* tag, const char*& p, int32_t depth);
    bool ParseNumber(zMetaTag* tag, const char*& p);
    bool ParseString(zMetaTag* tag, const char*& p, bool inArena);
    bool ParseShortcut(zMetaTag* tag, const char*& p, bool inArena);
    bool ParseBinary(zMetaTag* tag, const char*& p, bool inArena);
    char* CopyValue(const char* begin, const char* end, bool inArena)
    {
        return inArena ? arena->CopyText(begin, end) : CopyRange(begin, end);
    }
    bool ParseDirective(zMetaTag* tag, const char*& p, int32_t depth);
    bool ParseInclude(zMetaTag* tag, const char*& p, int32_t depth);
    bool Include(zMetaTag* tag, const zString& name, int32_t depth);
    bool ParseAppend(zMetaTag* tag, const char*& p);

    const char* end;
    const char* fileName;
    zMetaFile* document;
    const zMetaFile* including;
    const IncludeFrame& frame;
    const IncludeFrame& top;
    zMetaArena* arena;
};

bool zMetaParser::TagReader::Parse(zMetaTag* tag, const char*& cursor, int32_t depth, bool inArena)
{
    if (tag == nullptr) {
        LogError(ParseMethod) << "No tag to parse in file '" << fileName << "'.\n";
        return false;
    }
    if (++top.tags > zMetaParser::MaxLoadTags) {
        LogError(ParseMethod) << "More than " << zMetaParser::MaxLoadTags << " tags in one load, in file '"
                              << fileName << "'.\n";
        top.aborted = true;
        return false;
    }
    const char* p = SkipBlanksAndComments(cursor, end);
    if (p >= end || *p != '<') {
        LogError(ParseMethod) << "Expected metatag, none found in file '" << fileName << "'.\n";
        return false;
    }
    ++p;
    const char* nameEnd = FindTokenEnd(p, end, false);
    tag->id.AssignRange(p, nameEnd);
    p = SkipBlanksAndComments(nameEnd, end);
    if (p >= end)
        return Mangled(tag);
    if (*p != '=') {
        // Anything but an assignment ends a pure tag; only '>' is consumed.
        tag->type = zMetaTag::TypePure;
        cursor = *p == '>' ? p + 1 : p;
        return true;
    }
    ++p;
    for (;;) {
        p = SkipBlanksAndComments(p, end);
        if (p >= end)
            return Mangled(tag);
        const char c = *p;
        if (c == '>') {
            if (tag->type == zMetaTag::TypeUnset)
                tag->type = zMetaTag::TypePure;
            cursor = p + 1;
            return true;
        }
        bool parsed;
        if (c == '#') {
            parsed = ParseDirective(tag, p, depth);
        } else if (c == '<') {
            parsed = ParseChild(tag, p, depth);
        } else if (tag->type != zMetaTag::TypeUnset) {
            return Incoherent(tag);
        } else if (c == '=') {
            parsed = ParseBinary(tag, p, inArena);
        } else if (IsDigit(c) || c == '.' || c == '-') {
            parsed = ParseNumber(tag, p);
        } else if (c == '"') {
            parsed = ParseString(tag, p, inArena);
        } else if (c == '@') {
            parsed = ParseShortcut(tag, p, inArena);
        } else {
            const char character[2] = {c, '\0'};
            NamedError() << "Unexpected '" << character << "' in assignation, metatag '" << tag->id << "'.\n";
            return false;
        }
        if (!parsed)
            return false;
    }
}

bool zMetaParser::TagReader::ParseChild(zMetaTag* tag, const char*& p, int32_t depth)
{
    if (tag->type != zMetaTag::TypeUnset && tag->type != zMetaTag::TypeNode)
        return Incoherent(tag);
    if (depth >= zMetaParser::MaxTagDepth) {
        NamedError() << "Tags nested deeper than " << zMetaParser::MaxTagDepth << " levels, metatag '" << tag->id
                     << "'.\n";
        return false;
    }
    tag->type = zMetaTag::TypeNode;
    zMetaTag* child = NewTag();
    if (child != nullptr)
        tag->children.Append(child);
    if (!Parse(child, p, depth + 1, arena != nullptr)) {
        LogError(ParseMethod) << "In file '" << fileName << "': in metatag '" << tag->id << "'.\n";
        return false;
    }
    return true;
}

bool zMetaParser::TagReader::ParseNumber(zMetaTag* tag, const char*& p)
{
    const char* start = p;
    const char* digits = *p == '-' ? p + 1 : p;
    const char* tokenEnd = FindTokenEnd(digits, end, false);
    if (tokenEnd >= end)
        return Mangled(tag);
    if (*tokenEnd != '>') {
        NamedError() << "Unexpected trailing expression following value, metatag '" << tag->id << "'.\n";
        return false;
    }
    bool isFloat = false;
    bool digitsOnly = digits < tokenEnd;
    for (const char* q = digits; q < tokenEnd; ++q) {
        if (*q == '.' || *q == 'f')
            isFloat = true;
        else if (!IsDigit(*q))
            digitsOnly = false;
    }
    if (isFloat) {
        tag->SetFloat(ReadFloat(start, tokenEnd));
    } else if (digitsOnly) {
        // Exact, unlike a reading through a 32-bit float.
        int64_t magnitude = 0;
        for (const char* q = digits; q < tokenEnd && magnitude <= int64_t(INT32_MAX) + 1; ++q)
            magnitude = magnitude * 10 + (*q - '0');
        int64_t value = start == digits ? magnitude : -magnitude;
        if (value > INT32_MAX || value < INT32_MIN) {
            value = value > 0 ? INT32_MAX : INT32_MIN;
            LogWarning(ParseMethod) << "In file '" << fileName << "': integer out of range, clamped to " << int(value)
                                    << ", metatag '" << tag->id << "'.\n";
        }
        tag->SetInteger(int32_t(value));
    } else {
        // Other tokens ("1e3", "-") read through the float, truncated toward zero.
        const float number = ParseFloat(start, tokenEnd, true);
        int32_t value = 0;
        if (number >= 2147483647.0f)
            value = INT32_MAX;
        else if (number <= -2147483648.0f)
            value = INT32_MIN;
        else if (number == number)
            value = int32_t(number);
        tag->SetInteger(value);
    }
    p = tokenEnd;
    return true;
}

bool zMetaParser::TagReader::ParseString(zMetaTag* tag, const char*& p, bool inArena)
{
    const char* close = FindClosingQuote(p + 1, end);
    if (close >= end) {
        NamedError() << "Mangled string declaration, metatag '" << tag->id << "'.\n";
        return false;
    }
    char* text = CopyValue(p + 1, close, inArena);
    if (text == nullptr) {
        NamedError() << "Failed to allocate string buffer, metatag '" << tag->id << "'.\n";
        return false;
    }
    tag->TakeText(text, zMetaTag::TypeString, inArena);
    p = SkipBlanksAndComments(close + 1, end);
    if (p >= end) {
        NamedError() << "Unexpected EOF after string declaration, metatag '" << tag->id << "'.\n";
        return false;
    }
    if (*p != '>') {
        NamedError() << "Unexpected trailing expression following string object, metatag '" << tag->id << "'.\n";
        return false;
    }
    return true;
}

bool zMetaParser::TagReader::ParseShortcut(zMetaTag* tag, const char*& p, bool inArena)
{
    if (end - p < 2 || p[1] != '"') {
        NamedError() << "Expected string as shortcut adress, metatag '" << tag->id << "'.\n";
        return false;
    }
    const char* close = FindClosingQuote(p + 2, end);
    if (close >= end) {
        NamedError() << "Mangled shortcut declaration, metatag '" << tag->id << "'.\n";
        return false;
    }
    char* text = CopyValue(p + 2, close, inArena);
    if (text == nullptr) {
        NamedError() << "Failed to allocate string buffer, metatag '" << tag->id << "'.\n";
        return false;
    }
    tag->TakeText(text, zMetaTag::TypeShortcut, inArena);
    p = close + 1;
    if (p >= end) {
        NamedError() << "Unexpected EOF after shortcut declaration, metatag '" << tag->id << "'.\n";
        return false;
    }
    if (*p != '>') {
        NamedError() << "Unexpected trailing expression following shortcut object, metatag '" << tag->id << "'.\n";
        return false;
    }
    return true;
}

bool zMetaParser::TagReader::ParseBinary(zMetaTag* tag, const char*& p, bool inArena)
{
    ++p;
    if (p >= end || !IsDigit(*p)) {
        NamedError() << "Expected encoded size in binary tag '" << tag->id << "' declaration.\n";
        return false;
    }
    int32_t encoded = 0;
    int32_t raw = 0;
    bool overflow = false;
    p = ReadSize(p, end, encoded, overflow);
    if (p >= end || *p != ':') {
        NamedError() << "Expected size delimiter in binary tag '" << tag->id << "' declaration.\n";
        return false;
    }
    ++p;
    if (p >= end || !IsDigit(*p)) {
        NamedError() << "Expected binary size in binary tag '" << tag->id << "' declaration.\n";
        return false;
    }
    bool rawOverflow = false;
    p = ReadSize(p, end, raw, rawOverflow);
    int32_t encoding = zAsciiEncoder::EncodingUU;
    if (p < end && *p == '@') {
        encoding = zAsciiEncoder::EncodingYEnc;
        ++p;
    }
    if (p >= end || *p != '\n') {
        NamedError() << "Expected EOL following binary size in binary tag '" << tag->id << "' declaration.\n";
        return false;
    }
    ++p;
    // Sizes come from the file: neither may reach past the text or promise
    // more bytes than the data can decode to.
    if (overflow || encoded > end - p) {
        NamedError() << "Encoded size exceeds the text left in binary tag '" << tag->id << "' declaration.\n";
        return false;
    }
    if (rawOverflow || raw > zAsciiEncoder::MaxDecodedLength(encoding, encoded)) {
        NamedError() << "Binary size exceeds what the encoded data holds in binary tag '" << tag->id
                     << "' declaration.\n";
        return false;
    }
    if (encoded == end - p || p[encoded] != '>') {
        NamedError() << "Expected closing tag in tag '" << tag->id << "'.\n";
        return false;
    }
    char* data = nullptr;
    if (encoded > 0) {
        data = static_cast<char*>(inArena ? arena->Allocate(size_t(encoded)) : std::malloc(size_t(encoded)));
        if (data == nullptr) {
            NamedError() << "Failed to allocate binary buffer in binary tag '" << tag->id << "'.\n";
            return false;
        }
        std::memcpy(data, p, size_t(encoded));
    }
    tag->TakeBinary(data, encoded, raw, encoding, inArena);
    p += encoded;
    return true;
}

bool zMetaParser::TagReader::ParseDirective(zMetaTag* tag, const char*& p, int32_t depth)
{
    const char* word = p + 1;
    const ptrdiff_t left = end - word;
    if (left >= 7 && std::memcmp(word, "include", 7) == 0) {
        if (tag->type != zMetaTag::TypeUnset && tag->type != zMetaTag::TypeNode)
            return Incoherent(tag);
        p = word + 7;
        return ParseInclude(tag, p, depth);
    }
    if (left >= 6 && std::memcmp(word, "append", 6) == 0) {
        if (tag->type != zMetaTag::TypeUnset)
            return Incoherent(tag);
        p = word + 6;
        return ParseAppend(tag, p);
    }
    NamedError() << "Unknown preprocessor directive, metatag '" << tag->id << "'.\n";
    return false;
}

bool zMetaParser::TagReader::ParseInclude(zMetaTag* tag, const char*& p, int32_t depth)
{
    p = SkipBlanksAndComments(p, end);
    zString includeName;
    if (p >= end || *p != '(') {
        LogError(ParseMethod) << "Mangled #include directive in file '" << fileName << "'.\n";
        return false;
    }
    for (;;) {
        if (p >= end) {
            LogError(ParseMethod) << "Mangled #include directive in file '" << fileName << "'.\n";
            return false;
        }
        if (*p == ')')
            break;
        p = SkipBlanksAndComments(p + 1, end);
        if (p >= end || *p != '"') {
            LogError(ParseMethod) << "Unexpected character in #include directive.\n";
            return false;
        }
        const char* close = FindClosingQuote(p + 1, end);
        if (close >= end) {
            LogError(ParseMethod) << "Mangled #include directive in file '" << fileName << "'.\n";
            return false;
        }
        includeName.AssignRange(p + 1, close);
        p = SkipBlanksAndComments(close + 1, end);
    }
    ++p;
    return Include(tag, includeName, depth);
}

bool zMetaParser::TagReader::Include(zMetaTag* tag, const zString& name, int32_t depth)
{
    // Names are compared as the file system finds them, only when an include
    // happens, so that reading text from memory never touches the disk.
    const zString canonical = IncludeFrame::Canonical(name.Get());
    for (const IncludeFrame* f = &frame; f != nullptr; f = f->parent) {
        if (!canonical.IsEmpty() && IncludeFrame::Canonical(f->name) == canonical) {
            LogError(ParseMethod) << "Recursive #include of ZML file '" << name << "' in file '" << fileName
                                  << "'.\n";
            frame.Outermost().aborted = true;
            return false;
        }
    }
    if (frame.includeDepth >= zMetaParser::MaxIncludeDepth || depth >= zMetaParser::MaxTagDepth) {
        LogError(ParseMethod) << "#include nested deeper than " << zMetaParser::MaxIncludeDepth
                              << " files or " << zMetaParser::MaxTagDepth << " tags in file '" << fileName
                              << "'.\n";
        frame.Outermost().aborted = true;
        return false;
    }
    if (top.files >= zMetaParser::MaxLoadFiles) {
        LogError(ParseMethod) << "#include of ZML file '" << name << "' in file '" << fileName << "' goes past "
                              << zMetaParser::MaxLoadFiles << " files in one load.\n";
        top.aborted = true;
        return false;
    }
    IncludeFrame inner;
    inner.name = name.Get();
    inner.parent = &frame;
    inner.includeDepth = frame.includeDepth + 1;
    inner.tagDepth = depth + 1;
    zMetaFile included;
    if (!LoadFile(name.Get(), &included, document, inner)) {
        LogError(ParseMethod) << "Failed to include external ZML file '" << name << "' from file '" << fileName
                              << "'.\n";
        return !frame.Outermost().aborted;
    }
    tag->type = zMetaTag::TypeNode;
    while (auto* root = included.GetFirstRootTag()) {
        included.Unlink(root);
        tag->children.Append(root);
    }
    return true;
}

bool zMetaParser::TagReader::ParseAppend(zMetaTag* tag, const char*& p)
{
    p = SkipBlanksAndComments(p, end);
    if (p >= end || *p != '(') {
        NamedError() << "Mangled preprocessor directive, metatag '" << tag->id << "'.\n";
        return false;
    }
    std::string text;
    for (;;) {
        // Steps over the '(' or over the end of the previous argument.
        p = SkipBlanksAndComments(p + 1, end);
        if (p < end && *p == ',')
            p = SkipBlanksAndComments(p + 1, end);
        if (p >= end) {
            NamedError() << "Mangled preprocessor directive, metatag '" << tag->id << "'.\n";
            return false;
        }
        if (*p == ')')
            break;
        if (*p == '"') {
            const char* close = FindClosingQuote(p + 1, end);
            if (close >= end) {
                NamedError() << "Mangled shortcut declaration, metatag '" << tag->id << "'.\n";
                return false;
            }
            text.append(p + 1, close);
            p = close;
        } else if (*p == '<') {
            const char* close = FindDelimiter(p + 1, end, '>');
            if (close == nullptr) {
                NamedError() << "Mangled tag declaration in preprocessor directive, metatag '" << tag->id << "'.\n";
                return false;
            }
            zString path;
            path.AssignRange(p + 1, close);
            zMetaTag* found = document != nullptr ? zMetaTag::GetTagEx(document, path.Get(), document, false) : nullptr;
            if (found == nullptr && including != nullptr)
                found = zMetaTag::GetTagEx(including, path.Get(), including, false);
            if (found == nullptr) {
                NamedError() << "Preprocessor argument tag '" << path << "' not found, metatag '" << tag->id
                             << "'.\n";
                return false;
            }
            if (found->GetType() != zMetaTag::TypeString) {
                NamedError() << "Preprocessor directive #append only support string, metatag '" << found->GetName()
                             << "'.\n";
                return false;
            }
            text.append(found->GetString());
            p = close;
            // Each "#append" may double the text of an earlier one.
            if (top.appended + int64_t(text.size()) > zMetaParser::MaxAppendBytes) {
                NamedError() << "#append builds more than " << zMetaParser::MaxAppendBytes
                             << " bytes in one load, metatag '" << tag->id << "'.\n";
                top.aborted = true;
                return false;
            }
        } else {
            NamedError() << "Unexpected character in preprocessor directive, metatag '" << tag->id << "'.\n";
            return false;
        }
    }
    if (!tag->SetString(text.c_str()))
        return false;
    top.appended += int64_t(text.size());
    p = SkipBlanksAndComments(p + 1, end);
    if (p >= end || *p != '>') {
        NamedError() << "Unexpected trailing expression following string object, metatag '" << tag->id << "'.\n";
        return false;
    }
    return true;
}

namespace {

// The reader's own hold on its arena; the tags placed there hold the rest.
class ArenaReference {
public:
    ArenaReference() : arena(zMetaArena::Create()) {}
    ~ArenaReference()
    {
        if (arena != nullptr)
            arena->Release();
    }
    ArenaReference(const ArenaReference&) = delete;
    ArenaReference& operator=(const ArenaReference&) = delete;

    zMetaArena* Get() const { return arena; }

private:
    zMetaArena* arena;
};

void CheckVersion(const zMetaTag& header, const char* fileName)
{
    if (header.GetType() == zMetaTag::TypeInteger) {
        if (header.GetInteger() > 1) {
            LogWarning(LoadMethod) << "Newer version ZML header found (" << int(header.GetInteger()) << ">" << "1"
                                   << " in file '" << fileName << "').\n";
        }
    } else if (header.GetType() == zMetaTag::TypeFloat) {
        if (header.GetFloat() > 1.0f) {
            LogWarning(LoadMethod) << "Newer version ZML header found (" << header.GetFloat() << ">" << "1"
                                   << ") in file '" << fileName << "'.\n";
        }
    } else {
        LogWarning(LoadMethod) << "Unknown ZML header version identification method in file '" << fileName
                               << "'.\n";
    }
}

} // namespace

bool zMetaParser::LoadBuffer(const char* text, size_t size, zMetaFile* document, const char* fileName,
                             const zMetaFile* including, const IncludeFrame& frame)
{
    if (fileName == nullptr)
        fileName = "";
    const IncludeFrame& top = frame.Outermost();
    ++top.files;
    top.bytes += int64_t(size);
    if (top.bytes > MaxLoadBytes) {
        LogError(LoadMethod) << "ZML file '" << fileName << "' goes past " << MaxLoadBytes
                             << " bytes in one load.\n";
        top.aborted = true;
        return false;
    }
    const ArenaReference arena;
    // Read into a document of our own, so a failure leaves the caller's as it was.
    zMetaFile parsed(fileName);
    const char* end = text + size;
    TagReader reader(end, fileName, &parsed, including, frame, arena.Get());
    const char* p = text;
    zMetaTag header;
    if (text == nullptr || !reader.Parse(&header, p, frame.tagDepth, false)) {
        LogError(LoadMethod) << "Invalid ZML file '" << fileName << "'.\n";
        return false;
    }
    if (!(header.GetName() == "ZML")) {
        LogError(LoadMethod) << "Unknown ZML variant in file '" << fileName << "'.\n";
        return false;
    }
    CheckVersion(header, fileName);
    for (p = SkipBlanksAndComments(p, end); p < end; p = SkipBlanksAndComments(p, end)) {
        zMetaTag* tag = reader.NewTag();
        parsed.AddRootTag(tag);
        if (!reader.Parse(tag, p, frame.tagDepth, arena.Get() != nullptr))
            return false;
    }
    document->Swap(parsed);
    return true;
}

bool zMetaParser::LoadFile(const char* fileName, zMetaFile* document, const zMetaFile* including,
                           const IncludeFrame& frame)
{
    if (fileName == nullptr || *fileName == '\0') {
        LogError(LoadMethod) << "No filename specified.\n";
        return false;
    }
    char* text = nullptr;
    const uint32_t size = zStream::LoadFile(fileName, text);
    if (text == nullptr) {
        LogError(LoadMethod) << "Could not access file '" << fileName << "'.\n";
        return false;
    }
    const bool loaded = LoadBuffer(text, size, document, fileName, including, frame);
    delete[] text;
    return loaded;
}

bool zMetaParser::LoadText(const char* text, size_t size, zMetaFile* document, const char* fileName,
                           const zMetaFile* includingDocument)
{
    if (document == nullptr) {
        LogError(LoadMethod) << "No document to load '" << (fileName != nullptr ? fileName : "") << "' into.\n";
        return false;
    }
    return LoadBuffer(text, size, document, fileName, includingDocument, IncludeFrame::Top(fileName));
}

bool zMetaParser::Load(const char* fileName, zMetaFile* document, const zMetaFile* includingDocument)
{
    if (fileName == nullptr || *fileName == '\0') {
        LogError(LoadMethod) << "No filename specified.\n";
        return false;
    }
    if (document == nullptr) {
        LogError(LoadMethod) << "No document to load '" << fileName << "' into.\n";
        return false;
    }
    return LoadFile(fileName, document, includingDocument, IncludeFrame::Top(fileName));
}

zMetaFile* zMetaParser::LoadNew(const char* fileName)
{
    auto* document = new (std::nothrow) zMetaFile();
    if (document == nullptr) {
        LogError(LoadMethod) << "Failed to allocate MLFile holder.\n";
        return nullptr;
    }
    if (!Load(fileName, document, nullptr)) {
        delete document;
        return nullptr;
    }
    return document;
}

bool zMetaParser::ParseTag(zMetaTag* tag, zMetaFile* document, const char* start, const char* end,
                           const char*& cursor, const zMetaFile* includingDocument)
{
    const IncludeFrame frame = IncludeFrame::Top(document != nullptr ? document->GetFileName().Get() : nullptr);
    const ArenaReference arena;
    TagReader reader(end, frame.name, document, includingDocument, frame, arena.Get());
    const char* p = start;
    // The caller's tag is not in the arena; its children are.
    if (!reader.Parse(tag, p, 0, false))
        return false;
    cursor = p;
    return true;
}
