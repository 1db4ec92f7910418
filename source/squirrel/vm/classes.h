// Classes and instances. A class maps each member name to a slot: a field (one value per
// instance, defaults kept in the class) or a shared slot (methods and statics).
#pragma once

#include <vector>

#include "object.h"

namespace nut {

struct Table;

enum MetaMethod : uint8_t {
    MM_ADD,
    MM_SUB,
    MM_MUL,
    MM_DIV,
    MM_MODULO,
    MM_UNM,
    MM_SET,
    MM_GET,
    MM_TYPEOF,
    MM_NEXTI,
    MM_CMP,
    MM_CALL,
    MM_CLONED,
    MM_NEWSLOT,
    MM_DELSLOT,
    MM_TOSTRING,
    MM_NEWMEMBER,
    MM_INHERITED,
    MM_COUNT
};

extern const char *const kMetaMethodNames[MM_COUNT];

// Member slots stored in Class::members: fields are >= 0, shared slots are ~index.
inline bool IsFieldSlot(SQInteger s) { return s >= 0; }
inline SQInteger SharedIndex(SQInteger s) { return ~s; }

struct Class : GcObject {
    static Class *New(Runtime *rt, Class *base);

    // Member lookup without inheritance: the class already holds copies of its base's.
    bool Get(const Value &key, Value &out) const;
    // Adds or replaces a member: closures and statics are shared, any other value is a
    // field default. False when the class is locked and the value is a field's.
    bool AddMember(const Value &key, const Value &val, bool isStatic);
    bool GetAttributes(const Value &key, Value &out) const;
    bool SetAttributes(const Value &key, const Value &val);
    bool Lookup(const Value &key, SQInteger &slot) const;
    void Lock();

    Class *base = nullptr;
    Table *members;
    std::vector<Value> fields;
    std::vector<Value> fieldAttrs;
    std::vector<Value> shared;
    std::vector<Value> sharedAttrs;
    Value meta[MM_COUNT];
    Value attributes;
    SQUserPointer typeTag = nullptr;
    SQRELEASEHOOK hook = nullptr;
    SQInteger udSize = 0;
    SQInteger ctor = -1; // shared index of the constructor
    bool locked = false;

    // Names looked up lately and their slots. The slot is the number `members` maps the
    // name to, never a node of that table (nodes move whenever it is rebuilt). Members are
    // never removed and new ones only add numbers; a name changes its number only when a
    // field takes the place of a method or static, and AddMember updates its entry then.
    // Each entry holds its string, so an address cannot be reused by another name while
    // cached.
    struct CachedSlot {
        Value key;
        SQInteger slot = 0;
    };
    static constexpr uint32_t kSlotCacheSize = 16;
    mutable CachedSlot slotCache[kSlotCacheSize];
};

struct Instance : GcObject {
    static Instance *New(Runtime *rt, Class *c);
    Instance *Clone() const;
    bool Get(const Value &key, Value &out) const;
    bool SetField(const Value &key, const Value &val);
    bool InstanceOf(const Class *c) const;

    Class *cls;
    SQUserPointer up = nullptr;
    SQRELEASEHOOK hook = nullptr;
    uint32_t nfields;
    uint32_t allocSize;
    Value fields[1];
};

void ClearClass(Class *c);

} // namespace nut
