#include "manager_binding/SqObject.h"

namespace {

void PushKey(HSQUIRRELVM v, const char* key) { sq_pushstring(v, key, -1); }
void PushKey(HSQUIRRELVM v, SQInteger key) { sq_pushinteger(v, key); }

void PushValue(HSQUIRRELVM v, const SqObject& value) { sq_pushobject(v, value.GetObjectHandle()); }
void PushValue(HSQUIRRELVM v, SQInteger value) { sq_pushinteger(v, value); }
void PushValue(HSQUIRRELVM v, SQFloat value) { sq_pushfloat(v, value); }
void PushValue(HSQUIRRELVM v, bool value) { sq_pushbool(v, value ? SQTrue : SQFalse); }
void PushValue(HSQUIRRELVM v, const char* value)
{
    if (value == nullptr)
        sq_pushnull(v);
    else
        sq_pushstring(v, value, -1);
}

} // namespace

SqObject::SqObject(HSQUIRRELVM v) : vm(v)
{
    sq_resetobject(&object);
    sq_resetobject(&iterator);
}

SqObject::SqObject(HSQUIRRELVM v, const HSQOBJECT& raw) : SqObject(v)
{
    *this = raw;
}

SqObject::SqObject(const SqObject& other) : SqObject(other.vm)
{
    *this = other.object;
}

SqObject& SqObject::operator=(const SqObject& other)
{
    if (this == &other)
        return *this;
    // Reference the new value before letting go of the old: they may be the same.
    HSQOBJECT previous = object;
    HSQUIRRELVM previousVM = vm;
    object = other.object;
    vm = other.vm;
    if (vm != nullptr)
        sq_addref(vm, &object);
    if (previousVM != nullptr)
        sq_release(previousVM, &previous);
    sq_resetobject(&iterator);
    return *this;
}

SqObject& SqObject::operator=(const HSQOBJECT& raw)
{
    HSQOBJECT previous = object;
    object = raw;
    if (vm != nullptr) {
        sq_addref(vm, &object);
        sq_release(vm, &previous);
    }
    sq_resetobject(&iterator);
    return *this;
}

SqObject::~SqObject()
{
    if (vm != nullptr)
        sq_release(vm, &object);
}

void SqObject::AttachToStackObject(SQInteger idx)
{
    if (vm == nullptr)
        return;
    HSQOBJECT value;
    sq_resetobject(&value);
    if (SQ_FAILED(sq_getstackobj(vm, idx, &value)))
        return;
    *this = value;
}

void SqObject::Reset()
{
    if (vm != nullptr)
        sq_release(vm, &object);
    sq_resetobject(&object);
    sq_resetobject(&iterator);
}

SQInteger SqObject::Len() const
{
    if (vm == nullptr)
        return 0;
    switch (sq_type(object)) {
    case OT_STRING:
    case OT_ARRAY:
    case OT_TABLE: {
        sq_pushobject(vm, object);
        const SQInteger size = sq_getsize(vm, -1);
        sq_pop(vm, 1);
        return size < 0 ? 0 : size;
    }
    default:
        return 0;
    }
}

bool SqObject::ArrayAppend(const SqObject& value)
{
    if (vm == nullptr || !sq_isarray(object))
        return false;
    const SQInteger top = sq_gettop(vm);
    sq_pushobject(vm, object);
    sq_pushobject(vm, value.object);
    const bool ok = SQ_SUCCEEDED(sq_arrayappend(vm, -2));
    sq_settop(vm, top);
    return ok;
}

template <class Key> bool SqObject::PushSlot(Key key) const
{
    if (vm == nullptr || sq_isnull(object))
        return false;
    const SQInteger top = sq_gettop(vm);
    sq_pushobject(vm, object);
    PushKey(vm, key);
    if (SQ_FAILED(sq_get(vm, -2))) {
        sq_settop(vm, top);
        return false;
    }
    sq_remove(vm, -2);
    return true;
}

template <class Key, class Value> bool SqObject::SetSlot(Key key, Value value)
{
    if (vm == nullptr || sq_isnull(object))
        return false;
    const SQInteger top = sq_gettop(vm);
    sq_pushobject(vm, object);
    PushKey(vm, key);
    PushValue(vm, value);
    const SQObjectType type = sq_type(object);
    // Arrays and instances have a fixed set of slots.
    const bool ok = type == OT_ARRAY || type == OT_INSTANCE || type == OT_USERDATA
                        ? SQ_SUCCEEDED(sq_set(vm, -3))
                        : SQ_SUCCEEDED(sq_newslot(vm, -3, SQFalse));
    sq_settop(vm, top);
    return ok;
}

bool SqObject::SetValue(const char* key, const SqObject& value) { return SetSlot(key, value); }
bool SqObject::SetValue(const char* key, SQInteger value) { return SetSlot(key, value); }
bool SqObject::SetValue(const char* key, SQFloat value) { return SetSlot(key, value); }
bool SqObject::SetValue(const char* key, const char* value) { return SetSlot(key, value); }
bool SqObject::SetValue(const char* key, bool value) { return SetSlot(key, value); }
bool SqObject::SetValue(SQInteger key, const SqObject& value) { return SetSlot(key, value); }
bool SqObject::SetValue(SQInteger key, SQInteger value) { return SetSlot(key, value); }
bool SqObject::SetValue(SQInteger key, SQFloat value) { return SetSlot(key, value); }
bool SqObject::SetValue(SQInteger key, const char* value) { return SetSlot(key, value); }
bool SqObject::SetValue(SQInteger key, bool value) { return SetSlot(key, value); }

bool SqObject::Exists(const char* key) const
{
    if (!PushSlot(key))
        return false;
    sq_pop(vm, 1);
    return true;
}

bool SqObject::Exists(SQInteger key) const
{
    if (!PushSlot(key))
        return false;
    sq_pop(vm, 1);
    return true;
}

namespace {

template <class Read> auto ReadTop(HSQUIRRELVM v, Read read)
{
    auto result = read(v);
    sq_pop(v, 1);
    return result;
}

SqObject TopObject(HSQUIRRELVM v)
{
    SqObject out(v);
    out.AttachToStackObject(-1);
    sq_pop(v, 1);
    return out;
}

SQFloat TopFloat(HSQUIRRELVM v)
{
    return ReadTop(v, [](HSQUIRRELVM vm) {
        SQFloat value = 0.0f;
        return (sq_gettype(vm, -1) & SQOBJECT_NUMERIC) && SQ_SUCCEEDED(sq_getfloat(vm, -1, &value)) ? value : 0.0f;
    });
}

SQInteger TopInt(HSQUIRRELVM v)
{
    return ReadTop(v, [](HSQUIRRELVM vm) {
        SQInteger value = 0;
        return (sq_gettype(vm, -1) & SQOBJECT_NUMERIC) && SQ_SUCCEEDED(sq_getinteger(vm, -1, &value)) ? value : 0;
    });
}

const SQChar* TopString(HSQUIRRELVM v)
{
    return ReadTop(v, [](HSQUIRRELVM vm) {
        const SQChar* value = nullptr;
        return sq_gettype(vm, -1) == OT_STRING && SQ_SUCCEEDED(sq_getstring(vm, -1, &value)) ? value : nullptr;
    });
}

bool TopBool(HSQUIRRELVM v)
{
    return ReadTop(v, [](HSQUIRRELVM vm) {
        SQBool value = SQFalse;
        return sq_gettype(vm, -1) == OT_BOOL && SQ_SUCCEEDED(sq_getbool(vm, -1, &value)) && value != SQFalse;
    });
}

} // namespace

SqObject SqObject::GetValue(const char* key) const { return PushSlot(key) ? TopObject(vm) : SqObject(vm); }
SqObject SqObject::GetValue(SQInteger key) const { return PushSlot(key) ? TopObject(vm) : SqObject(vm); }
SQFloat SqObject::GetFloat(const char* key) const { return PushSlot(key) ? TopFloat(vm) : 0.0f; }
SQFloat SqObject::GetFloat(SQInteger key) const { return PushSlot(key) ? TopFloat(vm) : 0.0f; }
SQInteger SqObject::GetInt(const char* key) const { return PushSlot(key) ? TopInt(vm) : 0; }
SQInteger SqObject::GetInt(SQInteger key) const { return PushSlot(key) ? TopInt(vm) : 0; }
const SQChar* SqObject::GetString(const char* key) const { return PushSlot(key) ? TopString(vm) : nullptr; }
const SQChar* SqObject::GetString(SQInteger key) const { return PushSlot(key) ? TopString(vm) : nullptr; }
bool SqObject::GetBool(const char* key) const { return PushSlot(key) ? TopBool(vm) : false; }
bool SqObject::GetBool(SQInteger key) const { return PushSlot(key) ? TopBool(vm) : false; }

SQUserPointer SqObject::GetInstanceUP(SQUserPointer tag) const
{
    if (vm == nullptr || !sq_isinstance(object))
        return nullptr;
    sq_pushobject(vm, object);
    SQUserPointer pointer = nullptr;
    if (SQ_FAILED(sq_getinstanceup(vm, -1, &pointer, tag)))
        pointer = nullptr;
    sq_pop(vm, 1);
    return pointer;
}

bool SqObject::SetInstanceUP(SQUserPointer pointer)
{
    if (vm == nullptr || !sq_isinstance(object))
        return false;
    sq_pushobject(vm, object);
    const bool ok = SQ_SUCCEEDED(sq_setinstanceup(vm, -1, pointer));
    sq_pop(vm, 1);
    return ok;
}

SqObject SqObject::GetAttributes(const char* member) const
{
    SqObject out(vm);
    if (vm == nullptr || !sq_isclass(object))
        return out;
    const SQInteger top = sq_gettop(vm);
    sq_pushobject(vm, object);
    if (member != nullptr)
        sq_pushstring(vm, member, -1);
    else
        sq_pushnull(vm);
    if (SQ_SUCCEEDED(sq_getattributes(vm, -2)))
        out.AttachToStackObject(-1);
    sq_settop(vm, top);
    return out;
}

SqObject SqObject::GetDelegate() const
{
    SqObject out(vm);
    if (vm == nullptr || (!sq_istable(object) && !sq_isuserdata(object)))
        return out;
    const SQInteger top = sq_gettop(vm);
    sq_pushobject(vm, object);
    if (SQ_SUCCEEDED(sq_getdelegate(vm, -1)))
        out.AttachToStackObject(-1);
    sq_settop(vm, top);
    return out;
}

bool SqObject::SetDelegate(const SqObject& delegate)
{
    if (vm == nullptr || (!sq_istable(object) && !sq_isuserdata(object)) ||
        (!sq_istable(delegate.object) && !sq_isnull(delegate.object)))
        return false;
    const SQInteger top = sq_gettop(vm);
    sq_pushobject(vm, object);
    sq_pushobject(vm, delegate.object);
    const bool ok = SQ_SUCCEEDED(sq_setdelegate(vm, -2));
    sq_settop(vm, top);
    return ok;
}

bool SqObject::BeginIteration()
{
    sq_resetobject(&iterator);
    return vm != nullptr && (sq_isarray(object) || sq_istable(object) || sq_isclass(object));
}

bool SqObject::Next(SqObject& key, SqObject& value)
{
    if (vm == nullptr || !(sq_isarray(object) || sq_istable(object) || sq_isclass(object)))
        return false;
    const SQInteger top = sq_gettop(vm);
    sq_pushobject(vm, object);
    sq_pushobject(vm, iterator);
    if (SQ_FAILED(sq_next(vm, -2))) {
        sq_settop(vm, top);
        return false;
    }
    SqObject newKey(vm);
    newKey.AttachToStackObject(-2);
    SqObject newValue(vm);
    newValue.AttachToStackObject(-1);
    key = newKey;
    value = newValue;
    // The iterator is a plain value (an index), so it needs no reference.
    sq_getstackobj(vm, -3, &iterator);
    sq_settop(vm, top);
    return true;
}

void SqObject::EndIteration() { sq_resetobject(&iterator); }
