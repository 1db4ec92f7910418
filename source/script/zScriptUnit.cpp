#include "script/zScriptUnit.h"

#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "script/SqSafePtr.h"
#include "script/zScriptMaster.h"

void zScriptParameter::SetString(const char* newText)
{
    text.Assign(newText);
    type = newText == nullptr ? None : String;
}

void zScriptParameter::SetInteger(int32_t newValue)
{
    text.Clear();
    value.integer = newValue;
    type = Integer;
}

void zScriptParameter::SetFloat(float newValue)
{
    text.Clear();
    value.number = newValue;
    type = Float;
}

zScriptUnit::zScriptUnit(zScriptMaster* master) : master(master) { sq_resetobject(&instance); }

zScriptUnit::~zScriptUnit()
{
    if (HSQUIRRELVM v = LiveVM())
        sq_release(v, &instance);
    sq_resetobject(&instance);
}

HSQUIRRELVM zScriptUnit::LiveVM() const
{
    if (master == nullptr || instanceVM == nullptr || master->GetVM() != instanceVM)
        return nullptr;
    return instanceVM;
}

void zScriptUnit::SetOwner(void* object, int32_t type)
{
    owner = object;
    ownerType = type;
}

zScriptParameter* zScriptUnit::AddParameter(const char* id)
{
    zScriptParameter* parameter = new zScriptParameter(id);
    parameters.Add(parameter, true, true);
    return parameter;
}

zScriptParameter* zScriptUnit::AddParameterCopy(const zScriptParameter& source)
{
    zScriptParameter* parameter = new zScriptParameter(source);
    parameters.Add(parameter, true, true);
    return parameter;
}

bool zScriptUnit::OpenScriptUnit()
{
    if (Script.IsEmpty() || Class.IsEmpty())
        return true;
    *GlobalLogStream << "Script unit instantiating class '" << Class << "'.\n";
    if (master == nullptr || !master->AddScript(Script.Get()))
        return false;
    HSQUIRRELVM v = master->GetVM();
    const SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    sq_pushstring(v, Class.Get(), -1);
    bool created = SQ_SUCCEEDED(sq_get(v, -2)) && sq_gettype(v, -1) == OT_CLASS;
    if (created) {
        sq_pushroottable(v);
        created = SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQTrue)) && sq_gettype(v, -1) == OT_INSTANCE;
    }
    if (!created) {
        LogError("zScriptUnit::OpenScriptUnit") << "Failed to create class instance.\n";
        sq_settop(v, top);
        return false;
    }
    // A unit opened twice lets go of its first instance.
    if (HSQUIRRELVM old = LiveVM())
        sq_release(old, &instance);
    sq_getstackobj(v, -1, &instance);
    sq_addref(v, &instance);
    instanceVM = v;

    zLinkedListCursor cursor;
    while (zScriptParameter* parameter = parameters.NextAs<zScriptParameter>(cursor)) {
        sq_pushstring(v, parameter->GetId().Get() ? parameter->GetId().Get() : "", -1);
        switch (parameter->GetType()) {
        case zScriptParameter::Integer: sq_pushinteger(v, parameter->GetInteger()); break;
        case zScriptParameter::Float: sq_pushfloat(v, parameter->GetFloat()); break;
        case zScriptParameter::String:
            sq_pushstring(v, parameter->GetText().Get() ? parameter->GetText().Get() : "", -1);
            break;
        default:
            LogError("zScriptUnit::OpenScriptUnit")
                << "Instance parameter '" << parameter->GetId() << "' type is invalid.\n";
            sq_pushinteger(v, -1);
            break;
        }
        // Setting never creates a member: an unknown name is refused.
        if (SQ_FAILED(sq_set(v, -3))) {
            LogWarning("zScriptUnit::OpenScriptUnit")
                << "Warning, instance parameter '" << parameter->GetId() << "' does not exist.\n";
            sq_settop(v, top + 3);
        }
    }
    sq_settop(v, top);
    opened = true;
    closed = false;
    return true;
}

void zScriptUnit::CloseScriptUnit()
{
    closed = true;
    if (HSQUIRRELVM v = LiveVM())
        sq_release(v, &instance);
    sq_resetobject(&instance);
    instanceVM = nullptr;
    opened = false;
}

bool zScriptUnit::GetInstanceMember(const char* name, HSQOBJECT& out)
{
    sq_resetobject(&out);
    HSQUIRRELVM v = LiveVM();
    if (v == nullptr || name == nullptr || sq_isnull(instance))
        return false;
    const SQInteger top = sq_gettop(v);
    sq_pushobject(v, instance);
    sq_pushstring(v, name, -1);
    if (SQ_FAILED(sq_get(v, -2))) {
        sq_settop(v, top);
        return false;
    }
    sq_getstackobj(v, -1, &out);
    sq_addref(v, &out);
    sq_settop(v, top);
    return true;
}

void zScriptUnit::ReleaseMember(HSQOBJECT& member)
{
    if (HSQUIRRELVM v = LiveVM())
        sq_release(v, &member);
    sq_resetobject(&member);
}

bool zScriptUnit::SetupFunctionCall(const char* name, const HSQOBJECT* cached)
{
    if (master == nullptr || !master->IsOk() || closed)
        return false;
    HSQUIRRELVM v = LiveVM();
    if (v == nullptr)
        return false;
    if (cached != nullptr && !sq_isnull(*cached)) {
        sq_pushobject(v, *cached);
    } else {
        if (name == nullptr)
            return false;
        sq_pushobject(v, instance);
        sq_pushstring(v, name, -1);
        if (SQ_FAILED(sq_get(v, -2))) {
            sq_pop(v, 1);
            return false;
        }
        sq_remove(v, -2);
    }
    sq_pushobject(v, instance);
    SqPushSafePtr(v, owner, ownerType, false);
    return true;
}

bool zScriptUnit::DoFunctionCall(int32_t extraArgumentCount)
{
    HSQUIRRELVM v = master != nullptr ? master->GetVM() : nullptr;
    if (v == nullptr)
        return false;
    master->CountUnitCall();
    const bool wasSuspended = sq_getvmstate(v) == SQ_VMSTATE_SUSPENDED;
    if (SQ_FAILED(sq_call(v, extraArgumentCount + 2, SQFalse, SQTrue))) {
        LogError("zScriptUnit::DoFunctionCall") << "Function call failed.\n";
        sq_pop(v, 1);
        return false;
    }
    // A callback that suspended the VM leaves its frame where it stopped.
    if (wasSuspended || sq_getvmstate(v) != SQ_VMSTATE_SUSPENDED)
        sq_pop(v, 1);
    return true;
}

bool zScriptUnit::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr || !(tag->GetName() == "ScriptUnit")) {
        LogError("zScriptUnit::FromMetaTag") << "Could not parse script unit. Root tag id is incorrect ("
                                             << (tag ? tag->GetName().Get() : nullptr) << ").\n";
        return false;
    }
    Script.Clear();
    Class.Clear();
    zLinkedListCursor cursor;
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        const zString& name = child->GetName();
        if (name == "Script") {
            Script.Assign(child->GetString());
        } else if (name == "Class") {
            Class.Assign(child->GetString());
        } else if (name == "ParmList") {
            zLinkedListCursor parmCursor;
            while (const zMetaTag* parm = child->NextChild(parmCursor, document)) {
                const zMetaTag* id = parm->FindChild("Id");
                const zMetaTag* value = parm->FindChild("Value");
                if (id == nullptr || value == nullptr) {
                    LogWarning("zScriptUnit::FromMetaTag") << "Incomplete script parameter declaration ignored.\n";
                    continue;
                }
                zScriptParameter* parameter = AddParameter(id->GetString() ? id->GetString() : "");
                switch (value->GetType()) {
                case zMetaTag::TypeInteger: parameter->SetInteger(value->GetInteger()); break;
                case zMetaTag::TypeFloat: parameter->SetFloat(value->GetFloat()); break;
                case zMetaTag::TypeString: parameter->SetString(value->GetString()); break;
                default:
                    LogWarning("zScriptUnit::FromMetaTag")
                        << "parameter '" << parameter->GetId() << "' type is invalid.\n";
                    break;
                }
            }
        } else {
            LogWarning("zScriptUnit::FromMetaTag") << "Unknown tag '" << name << "' in <ScriptUnit>.\n";
        }
    }
    return true;
}

zMetaTag* zScriptUnit::AsMetaTag() const
{
    zMetaTag* root = new zMetaTag("ScriptUnit");
    if (!Script.IsEmpty())
        root->CreateString("Script", Script.Get());
    if (!Class.IsEmpty())
        root->CreateString("Class", Class.Get());
    if (!parameters.IsEmpty()) {
        zMetaTag* list = root->CreateChild("ParmList");
        if (list == nullptr) {
            LogWarning("zScriptUnit::AsMetaTag") << "Failed to serialize instance parameter list.\n";
        } else {
            zLinkedListCursor cursor;
            while (const zScriptParameter* parameter = parameters.NextAs<zScriptParameter>(cursor)) {
                zMetaTag* parm = list->CreateChild("Parm");
                if (parm == nullptr || parm->CreateString("Id", parameter->GetId().Get()) == nullptr) {
                    LogWarning("zScriptUnit::AsMetaTag")
                        << "Failed to serialize instance parameter '" << parameter->GetId() << "'.\n";
                    continue;
                }
                switch (parameter->GetType()) {
                case zScriptParameter::Integer: parm->CreateInteger("Value", parameter->GetInteger()); break;
                case zScriptParameter::Float: parm->CreateFloat("Value", parameter->GetFloat()); break;
                case zScriptParameter::String: parm->CreateString("Value", parameter->GetText().Get()); break;
                default: break;
                }
            }
        }
    }
    if (root->GetChildCount() == 0) {
        delete root;
        return nullptr;
    }
    return root;
}
