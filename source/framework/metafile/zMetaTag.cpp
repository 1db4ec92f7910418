#include "framework/metafile/zMetaTag.h"

#include "framework/metafile/zMetaFile.h"
#include "framework/system/zLogStream.h"
#include "framework/tools/zAsciiEncoder.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

char* CopyText(const char* text)
{
    const size_t length = std::strlen(text);
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (copy != nullptr)
        std::memcpy(copy, text, length + 1);
    return copy;
}

// The hash zString keeps, over [begin, end).
int32_t HashRange(const char* begin, const char* end)
{
    uint32_t h = 0;
    for (const char* p = begin; p < end; ++p)
        h = h * 37u + uint32_t(int32_t(static_cast<signed char>(*p)));
    return int32_t(h);
}

// First tag named [begin, end) in the list, without building a zString.
zMetaTag* FindRange(const zLinkedListId* list, const char* begin, const char* end)
{
    const int32_t length = int32_t(end - begin);
    const int32_t hash = HashRange(begin, end);
    for (zLinkedListEntry* e = list->GetFirst(); e != nullptr; e = e->next) {
        auto* tag = static_cast<zMetaTag*>(e);
        const zString& name = tag->GetName();
        if (name.GetLength() != length)
            continue;
        if (length == 0 || (name.GetHash() == hash && std::memcmp(name.Get(), begin, size_t(length)) == 0))
            return tag;
    }
    return nullptr;
}

} // namespace

zMetaTag::zMetaTag()
{
    Init();
}

zMetaTag::zMetaTag(const char* name) : zLinkedListIdEntry(name)
{
    Init();
    type = TypePure;
}

zMetaTag::zMetaTag(const zString& name)
{
    id = name;
    Init();
    type = TypePure;
}

zMetaTag::zMetaTag(const char* name, int32_t integer) : zLinkedListIdEntry(name)
{
    Init();
    SetInteger(integer);
}

zMetaTag::zMetaTag(const char* name, float number) : zLinkedListIdEntry(name)
{
    Init();
    SetFloat(number);
}

zMetaTag::zMetaTag(const char* name, const char* text) : zLinkedListIdEntry(name)
{
    Init();
    SetString(text);
}

zMetaTag::~zMetaTag()
{
    ClearValue();
}

void zMetaTag::InitBool(const char* name, bool flag)
{
    id.Assign(name);
    SetInteger(flag ? 1 : 0);
}

void zMetaTag::Init()
{
    type = TypeUnset;
    value.text = nullptr;
    arenaValue = false;
    encoding = 0;
}

void zMetaTag::ClearValue()
{
    if ((type == TypeString || type == TypeBinary || type == TypeShortcut) && !arenaValue)
        std::free(value.text);
    value.text = nullptr;
    arenaValue = false;
    encodedSize = 0;
    rawSize = 0;
    type = TypeUnset;
}

void zMetaTag::SetInteger(int32_t integer)
{
    ClearValue();
    value.integer = integer;
    type = TypeInteger;
}

void zMetaTag::SetFloat(float number)
{
    ClearValue();
    value.number = number;
    type = TypeFloat;
}

bool zMetaTag::SetString(const char* text)
{
    ClearValue();
    char* copy = CopyText(text != nullptr ? text : "");
    if (copy == nullptr) {
        LogError("zMetaTag::SetString") << "tag '" << id << "' failed to allocate internal string buffer!\n";
        return false;
    }
    TakeText(copy, TypeString);
    return true;
}

bool zMetaTag::SetShortcut(const char* path)
{
    ClearValue();
    char* copy = CopyText(path != nullptr ? path : "");
    if (copy == nullptr) {
        LogError("zMetaTag::SetShortcut") << "tag '" << id << "' failed to allocate internal string buffer!\n";
        return false;
    }
    TakeText(copy, TypeShortcut);
    return true;
}

void zMetaTag::TakeText(char* text, int32_t newType, bool inArena)
{
    ClearValue();
    value.text = text;
    arenaValue = inArena;
    type = newType;
}

void zMetaTag::TakeBinary(char* data, int32_t encoded, int32_t raw, int32_t newEncoding, bool inArena)
{
    ClearValue();
    value.text = data;
    arenaValue = inArena;
    encodedSize = encoded;
    rawSize = raw;
    encoding = newEncoding;
    type = TypeBinary;
}

bool zMetaTag::SetBinary(const void* data, int32_t size, int32_t newEncoding)
{
    ClearValue();
    if (newEncoding != zAsciiEncoder::EncodingUU && newEncoding != zAsciiEncoder::EncodingYEnc) {
        LogError("zMetaTag::SetBinary") << "unknown ASCII encoding " << newEncoding << " for binary tag '" << id
                                        << "'.\n";
        return false;
    }
    if (data == nullptr && size > 0) {
        LogError("zMetaTag::SetBinary") << "no input buffer to encode binary tag '" << id << "'.\n";
        return false;
    }
    const bool uu = newEncoding == zAsciiEncoder::EncodingUU;
    const int32_t length = uu ? zAsciiEncoder::UUEncode(data, size, nullptr, 0)
                              : zAsciiEncoder::yEncode(data, size, nullptr, 0, zAsciiEncoder::YEncLineLength);
    if (length == 0) {
        LogWarning("zMetaTag::SetBinary") << "NULL size ASCII encoded binary tag '" << id << "'.\n";
        return false;
    }
    char* buffer = static_cast<char*>(std::malloc(size_t(length)));
    if (buffer == nullptr) {
        LogError("zMetaTag::SetBinary") << "tag '" << id << "' failed to allocate internal binary buffer!\n";
        return false;
    }
    const int32_t written = uu ? zAsciiEncoder::UUEncode(data, size, buffer, length)
                               : zAsciiEncoder::yEncode(data, size, buffer, length, zAsciiEncoder::YEncLineLength);
    TakeBinary(buffer, written, size, newEncoding);
    if (written != length) {
        LogWarning("zMetaTag::SetBinary") << "internal ASCII encoding inconsistency detected while processing tag '"
                                          << id << "'.\n";
    }
    return true;
}

int32_t zMetaTag::GetInteger() const
{
    if (type == TypeInteger)
        return value.integer;
    if (type != TypeFloat || std::isnan(value.number))
        return NoInteger;
    // Truncated toward zero, saturated instead of overflowing.
    if (value.number >= 2147483647.0f)
        return INT32_MAX;
    if (value.number <= -2147483648.0f)
        return INT32_MIN;
    return int32_t(value.number);
}

float zMetaTag::GetFloat() const
{
    if (type == TypeFloat)
        return value.number;
    if (type == TypeInteger)
        return float(value.integer);
    return NoFloat;
}

bool zMetaTag::GetBinaryData(void* out, int32_t capacity) const
{
    if (out == nullptr) {
        LogError("zMetaTag::GetBinaryData") << "no output buffer to decode binary tag '" << id << "'.\n";
        return false;
    }
    if (type != TypeBinary) {
        LogError("zMetaTag::GetBinaryData") << "tag '" << id << "' is not a binary tag.\n";
        return false;
    }
    const int32_t wanted = capacity < rawSize ? capacity : rawSize;
    const int32_t decoded = encoding == zAsciiEncoder::EncodingYEnc
        ? zAsciiEncoder::yDecode(value.text, encodedSize, out, wanted)
        : zAsciiEncoder::UUDecode(value.text, encodedSize, out, wanted);
    if (decoded < wanted) {
        LogError("zMetaTag::GetBinaryData") << "binary tag '" << id << "' decodes to " << decoded
                                            << " bytes, fewer than its raw size " << rawSize << ".\n";
        return false;
    }
    return true;
}

zMetaTag* zMetaTag::AddChild(zMetaTag* child, zMetaTag* reference, bool before)
{
    if (child == nullptr)
        return nullptr;
    if (type != TypePure && type != TypeNode) {
        LogError("zMetaTag::AddChild") << "cannot add child to tag '" << id
                                       << "' as it is neither a pure tag or a node.\n";
        return nullptr;
    }
    // An entry still linked somewhere would corrupt both lists.
    if (child == this || child->prev != nullptr || child->next != nullptr || children.GetFirst() == child) {
        LogError("zMetaTag::AddChild") << "tag '" << child->id << "' is already linked, not added to '" << id
                                       << "'.\n";
        return nullptr;
    }
    if (reference != nullptr) {
        if (!children.Contains(reference)) {
            LogError("zMetaTag::AddChild") << "tag '" << reference->id << "' is not a child of '" << id << "'.\n";
            return nullptr;
        }
        if (before)
            children.InsertBefore(child, reference, true);
        else
            children.InsertAfter(child, reference, true);
    } else {
        children.Append(child);
    }
    type = TypeNode;
    return child;
}

zMetaTag* zMetaTag::AdoptChild(zMetaTag* child)
{
    if (AddChild(child) == nullptr) {
        delete child;
        return nullptr;
    }
    return child;
}

zMetaTag* zMetaTag::NewRoot(const char* name, const char* method, std::initializer_list<const char*> message,
                            const char* file, int line)
{
    zMetaTag* root = new (std::nothrow) zMetaTag(name);
    if (root == nullptr) {
        zLogStream& log = LogError(method, file, line);
        for (const char* piece : message)
            log << (piece != nullptr ? piece : "");
    }
    return root;
}

zMetaTag* zMetaTag::CreateChild(const char* name)
{
    return AdoptChild(new (std::nothrow) zMetaTag(name));
}

zMetaTag* zMetaTag::CreateInteger(const char* name, int32_t integer)
{
    return AdoptChild(new (std::nothrow) zMetaTag(name, integer));
}

zMetaTag* zMetaTag::CreateFloat(const char* name, float number)
{
    return AdoptChild(new (std::nothrow) zMetaTag(name, number));
}

zMetaTag* zMetaTag::CreateBool(const char* name, bool flag)
{
    return AdoptChild(new (std::nothrow) zMetaTag(name, flag ? 1 : 0));
}

zMetaTag* zMetaTag::CreateString(const char* name, const char* text)
{
    return AdoptChild(new (std::nothrow) zMetaTag(name, text));
}

zMetaTag* zMetaTag::CreateShortcut(const char* name, const char* path)
{
    auto* tag = new (std::nothrow) zMetaTag(name);
    if (tag == nullptr)
        return nullptr;
    tag->SetShortcut(path);
    return AdoptChild(tag);
}

zMetaTag* zMetaTag::CreateBinary(const char* name, const void* data, int32_t size, int32_t newEncoding)
{
    auto* tag = new (std::nothrow) zMetaTag(name);
    if (tag == nullptr)
        return nullptr;
    if (!tag->SetBinary(data, size, newEncoding)) {
        delete tag;
        return nullptr;
    }
    return AdoptChild(tag);
}

zMetaTag* zMetaTag::FindChild(const char* name) const
{
    if (name == nullptr)
        return nullptr;
    return FindRange(&children, name, name + std::strlen(name));
}

zMetaTag* zMetaTag::NextChild(zLinkedListCursor& cursor, const zMetaFile* document) const
{
    for (;;) {
        auto* child = children.NextAs<zMetaTag>(cursor);
        if (child == nullptr || document == nullptr || child->type != TypeShortcut)
            return child;
        int32_t steps = 0;
        if (zMetaTag* target = GetTagAt(document, child->value.text, document, false, 1, steps))
            return target;
        // Later siblings are still visited.
        LogWarning("zMetaTag::NextChild") << "skipping shortcut '" << child->id << "' to missing tag '"
                                          << child->value.text << "'.\n";
    }
}

zMetaTag* zMetaTag::GetTag(const char* path, const zMetaFile* document, bool log) const
{
    int32_t steps = 0;
    return GetTagAt(&children, path, document, log, 0, steps);
}

zMetaTag* zMetaTag::GetTypedTag(const char* path, int32_t wanted, const zMetaFile* document, bool log) const
{
    int32_t steps = 0;
    zMetaTag* tag = GetTagAt(&children, path, document, log, 0, steps);
    return tag != nullptr && tag->type == wanted ? tag : nullptr;
}

zMetaTag* zMetaTag::GetTagEx(const zLinkedListId* list, const char* path, const zMetaFile* document, bool log)
{
    int32_t steps = 0;
    return GetTagAt(list, path, document, log, 0, steps);
}

zMetaTag* zMetaTag::ResolveShortcut(zMetaTag* tag, const zMetaFile* document)
{
    if (tag == nullptr || tag->type != TypeShortcut || document == nullptr)
        return tag;
    int32_t steps = 0;
    return ResolveAt(tag, document, 0, steps);
}

zMetaTag* zMetaTag::ResolveAt(zMetaTag* shortcut, const zMetaFile* document, int32_t depth, int32_t& steps)
{
    zMetaTag* target = depth < MaxShortcutDepth && ++steps <= MaxShortcutSteps
        ? GetTagAt(document, shortcut->value.text, document, false, depth + 1, steps)
        : nullptr;
    if (target == nullptr) {
        LogError("zMetaTag::GetTagEx") << "failed runtime ZML shortcut resolution '" << shortcut->value.text
                                       << "'.\n";
    }
    return target;
}

zMetaTag* zMetaTag::GetTagAt(const zLinkedListId* list, const char* path, const zMetaFile* document, bool log,
                             int32_t depth, int32_t& steps)
{
    if (path == nullptr || *path == '\0')
        return nullptr;
    const zLinkedListId* current = list;
    zMetaTag* found = nullptr;
    const char* p = path;
    for (;;) {
        while (*p == ':')
            ++p;
        if (*p == ';')
            return found;
        const char* segmentEnd = p;
        while (*segmentEnd != '\0' && *segmentEnd != ':' && *segmentEnd != ';')
            ++segmentEnd;
        const bool atEnd = *segmentEnd == '\0';
        if (atEnd && log) {
            if (segmentEnd > p)
                LogWarning("zMetaTag::GetTagEx") << "incomplete path '" << path << "' (missing ';').\n";
            else
                LogError("zMetaTag::GetTagEx") << "unexpected end of path'" << path << "'.\n";
        }
        if (current == nullptr) {
            if (log)
                LogWarning("zMetaTag::GetTagEx") << "'" << path << "' is deeper than lowest tree node.\n";
            return nullptr;
        }
        found = FindRange(current, p, segmentEnd);
        if (found == nullptr) {
            if (log) {
                zString segment;
                segment.AssignRange(p, segmentEnd);
                current->Find(segment, true);
                *GlobalLogStream << "!! Error '" << segment << "' in '" << path << "' not found.\n";
            }
            return nullptr;
        }
        if (found->type == TypeShortcut && document != nullptr) {
            found = ResolveAt(found, document, depth, steps);
            if (found == nullptr)
                return nullptr;
            current = found->type == TypeNode ? &found->children : nullptr;
        } else if (found->type == TypeNode) {
            current = &found->children;
        } else if (found->type != TypeShortcut) {
            current = nullptr;
        }
        if (atEnd)
            return found;
        p = segmentEnd;
    }
}
