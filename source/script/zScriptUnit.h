#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "framework/tools/zString.h"

#include <squirrel.h>

#include <cstdint>

class zMetaFile;
class zMetaTag;
class zScriptMaster;

// One typed value set on a script instance when its unit opens. The id is the
// entry's id (the member name).
class zScriptParameter : public zLinkedListIdEntry {
public:
    enum Type : int32_t { None = 0, Integer = 1, Float = 2, String = 3 };

    explicit zScriptParameter(const char* id = nullptr) : zLinkedListIdEntry(id) {}

    // A null text leaves the parameter untyped.
    void SetString(const char* value);
    void SetInteger(int32_t value);
    void SetFloat(float value);

    const zString& GetId() const { return id; }
    Type GetType() const { return type; }
    int32_t GetInteger() const { return value.integer; }
    float GetFloat() const { return value.number; }
    const zString& GetText() const { return text; }

private:
    Type type = None;
    union {
        int32_t integer;
        float number;
    } value = {};
    zString text;
};

// Binds one instance of a script class to one engine object. Every call made
// through the unit has the form instance.method(owner handle, arguments...).
// A closed unit (no Script or Class, open failed, or closed) and a unit whose
// master is not ok make no calls: SetupFunctionCall returns false silently and
// the engine treats the callback as absent.
class zScriptUnit {
public:
    // The master is not owned and must outlive the unit.
    explicit zScriptUnit(zScriptMaster* master);
    virtual ~zScriptUnit();
    zScriptUnit(const zScriptUnit&) = delete;
    zScriptUnit& operator=(const zScriptUnit&) = delete;

    // Loads Script, creates an instance of Class and sets the parameters on
    // its existing members. True with nothing done when Script or Class is
    // empty (the unit stays closed).
    virtual bool OpenScriptUnit();
    // Releases the instance; the unit makes no more calls.
    virtual void CloseScriptUnit();

    // The owner's handle (not managed) is the first argument of every call.
    // The object is not owned; the owner clears or outlives the unit.
    void SetOwner(void* object, int32_t type);

    // New untyped parameter at the tail (owned by the unit).
    zScriptParameter* AddParameter(const char* id);
    zScriptParameter* AddParameterCopy(const zScriptParameter& parameter);

    // Looks a member up in the instance (class members included). Found: out
    // holds it with a strong reference that the caller releases with
    // sq_release on this unit's VM (see ReleaseMember). Absent: out is null
    // and false.
    bool GetInstanceMember(const char* name, HSQOBJECT& out);
    // Releases a member cached by GetInstanceMember and nulls it; safe on a
    // null object and after the VM has stopped.
    void ReleaseMember(HSQOBJECT& member);

    // Pushes the function (cached, else looked up by name in the instance),
    // the instance and the owner's handle; the caller then pushes its extra
    // arguments and calls DoFunctionCall with their count.
    bool SetupFunctionCall(const char* name, const HSQOBJECT* cached = nullptr);
    bool DoFunctionCall(int32_t extraArgumentCount);

    // The "ScriptUnit" tag: Script, Class and ParmList (parameters appended).
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    // A new "ScriptUnit" tag the caller owns, or null when the unit has
    // nothing to write.
    zMetaTag* AsMetaTag() const;

    zScriptMaster* GetScriptMaster() const { return master; }
    bool IsOpened() const { return opened; }
    bool IsClosed() const { return closed; }
    const HSQOBJECT& GetInstance() const { return instance; }
    zLinkedListId& GetParameters() { return parameters; }

    zString Script;
    zString Class;

private:
    // The VM the instance and cached members belong to, or null when that VM
    // is no longer the master's (stopped or restarted).
    HSQUIRRELVM LiveVM() const;

    zScriptMaster* master;
    void* owner = nullptr;
    int32_t ownerType = 0;
    HSQOBJECT instance;
    HSQUIRRELVM instanceVM = nullptr;
    bool opened = false;
    bool closed = true;
    zLinkedListId parameters;
};
