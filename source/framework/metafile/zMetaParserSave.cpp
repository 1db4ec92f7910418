#include "framework/metafile/zMetaParser.h"

#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "framework/tools/zAsciiEncoder.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

constexpr const char* SaveTagMethod = "zMetaParser::SaveTag";

// The characters that end a name when it is read back.
struct NameStops {
    constexpr NameStops()
    {
        for (const char* c = " \t\r\n\"()*+,/:;<=>-"; *c != '\0'; ++c)
            stop[uint8_t(*c)] = true;
    }
    bool stop[256] = {};
};
constexpr NameStops Stops;

bool IsNameStop(char c)
{
    return Stops.stop[uint8_t(c)];
}

// A quoted text reads back whole only when the reader's closing-quote search
// stops at the quote written after it: no bare '"', no '\' escaping that quote.
bool IsQuotable(const char* text)
{
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '"')
            return false;
        if (*p == '\\' && *++p == '\0')
            return false;
    }
    return true;
}

void AppendNumber(std::string& text, int32_t value)
{
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    text.append(buffer, result.ptr);
}

// "%f" without the locale's separator: six decimals and '.'.
void AppendNumber(std::string& text, float value)
{
    char buffer[256];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, double(value), std::chars_format::fixed, 6);
    text.append(buffer, result.ptr);
}

// Refuses, before anything of the tag is written, what the reader could not
// read back as it was.
bool IsWritable(const zMetaTag* tag)
{
    const zString& name = tag->GetName();
    for (int32_t i = 0; i < name.GetLength(); ++i) {
        if (IsNameStop(name.Get()[i])) {
            LogError(SaveTagMethod) << "tag name '" << name << "' holds a character that ends a name, not written.\n";
            return false;
        }
    }
    switch (tag->GetType()) {
    case zMetaTag::TypeFloat:
        if (!std::isfinite(tag->GetFloat())) {
            LogError(SaveTagMethod) << "float tag '" << name << "' holds no finite number, not written.\n";
            return false;
        }
        break;
    case zMetaTag::TypeString:
        if (!IsQuotable(tag->GetString())) {
            LogError(SaveTagMethod) << "string tag '" << name
                                    << "' holds an unescaped double quote or ends in a backslash, not written.\n";
            return false;
        }
        break;
    case zMetaTag::TypeShortcut:
        if (!IsQuotable(tag->GetShortcut())) {
            LogError(SaveTagMethod) << "shortcut tag '" << name
                                    << "' holds an unescaped double quote or ends in a backslash, not written.\n";
            return false;
        }
        break;
    default:
        break;
    }
    return true;
}

} // namespace

bool zMetaParser::SaveTag(std::string& text, const zMetaFile* document, const zMetaTag* tag, int32_t depth)
{
    if (tag == nullptr)
        return false;
    const int32_t type = tag->GetType();
    if (type == zMetaTag::TypeUnset) {
        LogWarning(SaveTagMethod) << "Ignoring invalid metatag '" << tag->GetName() << "'.\n";
        return true;
    }
    if (!IsWritable(tag))
        return false;
    text.append(size_t(depth > 0 ? depth : 0), '\t');
    text += '<';
    if (!tag->GetName().IsEmpty())
        text.append(tag->GetName().Get(), size_t(tag->GetName().GetLength()));
    switch (type) {
    case zMetaTag::TypePure:
        text.append(">\n");
        return true;
    case zMetaTag::TypeNode:
        text.append("=\n");
        for (const zMetaTag* child = tag->GetFirstChild(); child != nullptr; child = child->GetNextSibling()) {
            if (!SaveTag(text, document, child, depth + 1))
                return false;
        }
        text.append(size_t(depth > 0 ? depth : 0), '\t');
        text.append(">\n");
        return true;
    case zMetaTag::TypeInteger:
        text += '=';
        AppendNumber(text, tag->GetInteger());
        text.append(">\n");
        return true;
    case zMetaTag::TypeFloat:
        text += '=';
        AppendNumber(text, tag->GetFloat());
        text.append(">\n");
        return true;
    case zMetaTag::TypeString:
        text.append("=\"");
        text.append(tag->GetString());
        text.append("\">\n");
        return true;
    case zMetaTag::TypeBinary:
        text.append("==");
        AppendNumber(text, tag->GetEncodedSize());
        text += ':';
        AppendNumber(text, tag->GetRawSize());
        if (tag->GetEncoding() == zAsciiEncoder::EncodingYEnc)
            text += '@';
        text += '\n';
        if (tag->GetEncodedSize() > 0)
            text.append(tag->GetEncodedData(), size_t(tag->GetEncodedSize()));
        text.append(">\n");
        return true;
    case zMetaTag::TypeShortcut:
        text.append("=@\"");
        text.append(tag->GetShortcut());
        text.append("\">\n");
        return true;
    default:
        LogError(SaveTagMethod) << "No method to output tag '" << tag->GetName() << "' type.\n";
        return false;
    }
}

bool zMetaParser::SaveText(const zMetaFile* document, std::string& text)
{
    if (document == nullptr)
        return false;
    text.append("<ZML=1.0>\n");
    for (auto* tag = document->GetFirstRootTag(); tag != nullptr; tag = tag->GetNextSibling()) {
        if (!SaveTag(text, document, tag, 0))
            return false;
    }
    return true;
}
