#pragma once

#include <squirrel.h>

// Holds one script value beyond the current stack frame: the value with a
// strong reference and the VM it belongs to (not owned). The reference is
// released when the SqObject is destroyed or given another value, so the VM
// must outlive every SqObject that holds one of its values.
//
// Every operation leaves the VM stack at the height it found it. Reads of
// absent slots give the documented defaults; writes report success.
class SqObject {
public:
    explicit SqObject(HSQUIRRELVM v = nullptr);
    // Takes the raw object with a new reference.
    SqObject(HSQUIRRELVM v, const HSQOBJECT& object);
    SqObject(const SqObject& other);
    SqObject& operator=(const SqObject& other);
    // Keeps this object's VM; the raw object must belong to it.
    SqObject& operator=(const HSQOBJECT& object);
    virtual ~SqObject();

    // Holds the value at idx instead of the current one.
    void AttachToStackObject(SQInteger idx);
    // Lets go of the value; the object becomes null.
    void Reset();

    HSQUIRRELVM GetVM() const { return vm; }
    const HSQOBJECT& GetObjectHandle() const { return object; }
    SQObjectType GetType() const { return sq_type(object); }
    bool IsNull() const { return sq_isnull(object); }
    bool IsNumeric() const { return sq_isnumeric(object) != 0; }
    // Characters of a string, entries of an array or a table; 0 otherwise.
    SQInteger Len() const;

    // Appends to an array; false for other values.
    bool ArrayAppend(const SqObject& value);

    // Slots by name or integer key: arrays and instances take existing slots,
    // tables and classes new or existing ones.
    bool SetValue(const char* key, const SqObject& value);
    bool SetValue(const char* key, SQInteger value);
    bool SetValue(const char* key, SQFloat value);
    bool SetValue(const char* key, const char* value);
    bool SetValue(const char* key, bool value);
    bool SetValue(SQInteger key, const SqObject& value);
    bool SetValue(SQInteger key, SQInteger value);
    bool SetValue(SQInteger key, SQFloat value);
    bool SetValue(SQInteger key, const char* value);
    bool SetValue(SQInteger key, bool value);

    bool Exists(const char* key) const;
    bool Exists(SQInteger key) const;

    // A null SqObject when absent.
    SqObject GetValue(const char* key) const;
    SqObject GetValue(SQInteger key) const;
    // 0, 0, null and false when absent or of another type. A string stays
    // valid while the container holds it.
    SQFloat GetFloat(const char* key) const;
    SQFloat GetFloat(SQInteger key) const;
    SQInteger GetInt(const char* key) const;
    SQInteger GetInt(SQInteger key) const;
    const SQChar* GetString(const char* key) const;
    const SQChar* GetString(SQInteger key) const;
    bool GetBool(const char* key) const;
    bool GetBool(SQInteger key) const;

    // The user pointer of an instance whose class has the tag (any tag for a
    // null tag); null otherwise.
    SQUserPointer GetInstanceUP(SQUserPointer tag) const;
    // Instances only.
    bool SetInstanceUP(SQUserPointer pointer);

    // The attributes of a class member, or of the class itself for a null
    // name; a null SqObject for other values or unknown members.
    SqObject GetAttributes(const char* member = nullptr) const;

    // The delegate of a table or user data (null when none).
    SqObject GetDelegate() const;
    // Tables and user data only; the delegate must be a table or null.
    bool SetDelegate(const SqObject& delegate);

    // Iteration over arrays, tables and classes: BeginIteration, then Next
    // until it returns false.
    bool BeginIteration();
    bool Next(SqObject& key, SqObject& value);
    void EndIteration();

private:
    // Pushes the value at key of this object; false, with the stack as before,
    // when there is none.
    template <class Key> bool PushSlot(Key key) const;
    template <class Key, class Value> bool SetSlot(Key key, Value value);

    HSQOBJECT object;
    HSQUIRRELVM vm;
    HSQOBJECT iterator;
};
