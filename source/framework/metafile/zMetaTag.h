#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "framework/tools/zString.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <new>

class zMetaArena;
class zMetaFile;

// One named, typed node of a ZML tree. Its name is the list entry's id, so a
// tag is found among its siblings by a hash comparison first. A tag owns its
// children and, for strings, binaries and shortcuts, its value.
class zMetaTag : public zLinkedListIdEntry {
public:
    enum Type : int32_t {
        TypeUnset = 0,
        TypePure = 1,
        TypeNode = 2,
        TypeInteger = 3,
        TypeFloat = 4,
        TypeString = 5,
        TypeBinary = 6,
        TypeShortcut = 7,
    };

    // What a number reads as when the tag holds no number.
    static constexpr int32_t NoInteger = -999;
    static constexpr float NoFloat = -999.0f;
    // Shortcuts that lead to shortcuts are followed this deep at most, so a
    // loop of shortcuts ends; one query resolves this many shortcuts at most,
    // so shortcuts whose paths pass through shortcuts cannot take forever.
    static constexpr int32_t MaxShortcutDepth = 32;
    static constexpr int32_t MaxShortcutSteps = 4096;

    zMetaTag();
    explicit zMetaTag(const char* name);
    explicit zMetaTag(const zString& name);
    zMetaTag(const char* name, int32_t value);
    zMetaTag(const char* name, float value);
    zMetaTag(const char* name, const char* text);
    ~zMetaTag() override;
    zMetaTag(const zMetaTag&) = delete;
    zMetaTag& operator=(const zMetaTag&) = delete;

    // Tags live on the heap or, when read from text, in the document's arena;
    // delete works for both.
    static void* operator new(size_t size);
    static void* operator new(size_t size, const std::nothrow_t&) noexcept;
    static void* operator new(size_t size, zMetaArena* arena) noexcept;
    static void operator delete(void* memory) noexcept;
    static void operator delete(void* memory, const std::nothrow_t&) noexcept;
    static void operator delete(void* memory, zMetaArena* arena) noexcept;

    // Name and a 0/1 integer value.
    void InitBool(const char* name, bool value);

    // The root tag of a writer (AsMetaTag), owned by the caller; null when it
    // cannot be allocated, with the error (its pieces in order, a null piece
    // printed empty) logged as method's at the caller's place.
    static zMetaTag* NewRoot(const char* name, const char* method, std::initializer_list<const char*> message,
                             const char* file = __builtin_FILE(), int line = __builtin_LINE());

    const zString& GetName() const { return id; }
    void SetName(const char* name) { id.Assign(name); }
    int32_t GetType() const { return type; }
    bool IsNumber() const { return type == TypeInteger || type == TypeFloat; }

    // Type 0, no value, encoding 0; frees nothing.
    void Init();
    // Frees an owned value and leaves the tag unset (children stay).
    void ClearValue();
    void SetInteger(int32_t value);
    void SetFloat(float value);
    void SetBool(bool value) { SetInteger(value ? 1 : 0); }
    bool SetString(const char* text);
    bool SetShortcut(const char* path);
    // Encodes size bytes with encoding 0 (UU) or 1 (yEnc).
    bool SetBinary(const void* data, int32_t size, int32_t encoding);

    // Numbers read from integer and float tags alike; -999 for other types.
    int32_t GetInteger() const;
    float GetFloat() const;
    bool GetBool(bool defaultValue = false) const { return type == TypeInteger ? value.integer != 0 : defaultValue; }
    // The text of a string tag, else null.
    const char* GetString() const { return type == TypeString ? value.text : nullptr; }
    // The stored path of a shortcut tag, else null.
    const char* GetShortcut() const { return type == TypeShortcut ? value.text : nullptr; }

    int32_t GetEncoding() const { return encoding; }
    int32_t GetEncodedSize() const { return type == TypeBinary ? encodedSize : 0; }
    int32_t GetRawSize() const { return type == TypeBinary ? rawSize : 0; }
    const char* GetEncodedData() const { return type == TypeBinary ? value.text : nullptr; }
    // Decodes into out; fails when out cannot take the raw size or the data
    // decodes to fewer bytes than the raw size.
    bool GetBinaryData(void* out, int32_t capacity) const;

    // Children. Only a pure tag or a node takes children; the tag becomes a node.
    // Links the child at the end, or next to reference (a child of this tag),
    // and owns it from then on. Null with an error line, the child still the
    // caller's, when this tag takes no children, the child is linked
    // elsewhere or reference is not a child here.
    zMetaTag* AddChild(zMetaTag* child, zMetaTag* reference = nullptr, bool before = false);
    // New child tags of each type, appended at the end and owned by this tag;
    // null when this tag takes no children.
    zMetaTag* CreateChild(const char* name);
    zMetaTag* CreateInteger(const char* name, int32_t value);
    zMetaTag* CreateFloat(const char* name, float value);
    zMetaTag* CreateBool(const char* name, bool value);
    zMetaTag* CreateString(const char* name, const char* text);
    zMetaTag* CreateShortcut(const char* name, const char* path);
    zMetaTag* CreateBinary(const char* name, const void* data, int32_t size, int32_t encoding);

    const zLinkedListId& GetChildren() const { return children; }
    zLinkedListId& GetChildren() { return children; }
    int32_t GetChildCount() const { return children.GetCount(); }
    zMetaTag* GetFirstChild() const { return static_cast<zMetaTag*>(children.GetFirst()); }
    // The next sibling in document order (shortcuts not resolved).
    zMetaTag* GetNextSibling() const { return static_cast<zMetaTag*>(next); }
    // First direct child of that name; prebuilt zString names compare by hash first.
    zMetaTag* FindChild(const zString& name) const { return static_cast<zMetaTag*>(children.Find(name)); }
    zMetaTag* FindChild(const char* name) const;

    // The next child (cursor starts zeroed). With a document, a shortcut child
    // gives its target; a shortcut whose target is missing is logged and skipped.
    zMetaTag* NextChild(zLinkedListCursor& cursor, const zMetaFile* document) const;

    // Path queries over the children (see GetTagEx). Tags found stay owned by
    // their parents: they live as long as the tree.
    zMetaTag* GetTag(const char* path, const zMetaFile* document = nullptr, bool log = false) const;
    zMetaTag* GetTypedTag(const char* path, int32_t type, const zMetaFile* document = nullptr,
                          bool log = false) const;

    // Resolves "A:B:C;" from a tag list; shortcuts met on the way are resolved
    // against the document's root tags when a document is given.
    static zMetaTag* GetTagEx(const zLinkedListId* list, const char* path, const zMetaFile* document, bool log);
    // The target of a shortcut tag (the tag itself for other types), or null
    // with an error when it cannot be found.
    static zMetaTag* ResolveShortcut(zMetaTag* tag, const zMetaFile* document);

private:
    friend class zMetaParser;

    static zMetaTag* GetTagAt(const zLinkedListId* list, const char* path, const zMetaFile* document, bool log,
                              int32_t depth, int32_t& steps);
    static zMetaTag* ResolveAt(zMetaTag* shortcut, const zMetaFile* document, int32_t depth, int32_t& steps);
    zMetaTag* AdoptChild(zMetaTag* child);
    // Takes a NUL-terminated text for a string or shortcut: malloc'ed and
    // owned, or held by the arena the tag lives in.
    void TakeText(char* text, int32_t newType, bool inArena = false);
    // Takes an encoded buffer as read from a file, in the same two ways.
    void TakeBinary(char* data, int32_t encoded, int32_t raw, int32_t newEncoding, bool inArena = false);

    int32_t type = TypeUnset;
    zLinkedListId children;
    int32_t encodedSize = 0;
    int32_t rawSize = 0;
    int32_t encoding = 0;
    bool arenaValue = false;
    union Value {
        int32_t integer;
        float number;
        char* text;
    } value = {};
};
