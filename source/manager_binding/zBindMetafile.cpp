// The metafile functions: scripts build, save, load and query ZML documents.
// A document handle from "MetafileNew" owns its document; tag handles are
// borrowed from it. Every tag handed to a script is remembered with its
// document, so that releasing or reloading the document turns those handles
// stale (they then read as null tags) instead of leaving them dangling.
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "manager_binding/zBindFamilies.h"
#include "manager_binding/zBindInternal.h"

#include <unordered_map>
#include <vector>

namespace {

using namespace sqbind;

// Tags handed out, with their documents, and the tags handed out per
// document. Main thread only, like the VM.
struct zTagRegistry {
    std::unordered_map<const zMetaTag*, const zMetaFile*> documentOf;
    std::unordered_map<const zMetaFile*, std::vector<const zMetaTag*>> tagsOf;
};

zTagRegistry& Registry()
{
    static zTagRegistry* registry = new zTagRegistry; // outlives every VM
    return *registry;
}

void Remember(const zMetaTag* tag, const zMetaFile* document)
{
    if (tag == nullptr || document == nullptr)
        return;
    auto [it, inserted] = Registry().documentOf.try_emplace(tag, document);
    if (inserted)
        Registry().tagsOf[document].push_back(tag);
}

// Every tag handle of the document goes stale.
void ForgetTags(const zMetaFile* document)
{
    auto found = Registry().tagsOf.find(document);
    if (found == Registry().tagsOf.end())
        return;
    for (const zMetaTag* tag : found->second) {
        SqSafePtrInvalidate(tag);
        Registry().documentOf.erase(tag);
    }
    Registry().tagsOf.erase(found);
}

void DeleteDocument(void* object)
{
    auto* document = static_cast<zMetaFile*>(object);
    ForgetTags(document);
    delete document;
}

const zMetaFile* DocumentOf(const zMetaTag* tag)
{
    auto found = Registry().documentOf.find(tag);
    return found != Registry().documentOf.end() ? found->second : nullptr;
}

void PushTag(HSQUIRRELVM v, zMetaTag* tag, const zMetaFile* document)
{
    Remember(tag, document);
    SqPushSafePtr(v, tag, SqPtrMetatag);
}

#define FETCH_DOCUMENT(idx, name)                                                                                      \
    zMetaFile* name = nullptr;                                                                                         \
    if (!SqGetSafePtr(v, idx, &name, SqPtrMetafile))                                                                   \
        return sq_suspendvm(v);

#define FETCH_TAG(idx, name)                                                                                           \
    zMetaTag* name = nullptr;                                                                                          \
    if (!SqGetSafePtr(v, idx, &name, SqPtrMetatag))                                                                    \
        return sq_suspendvm(v);

// Sets the tag's value from the script value at idx; false for a type that
// has no tag form.
bool SetTagValue(HSQUIRRELVM v, SQInteger idx, zMetaTag* tag)
{
    switch (sq_gettype(v, idx)) {
    case OT_BOOL: {
        SQBool value = SQFalse;
        sq_getbool(v, idx, &value);
        tag->ClearValue();
        tag->SetBool(value != SQFalse);
        return true;
    }
    case OT_INTEGER: {
        SQInteger value = 0;
        sq_getinteger(v, idx, &value);
        tag->ClearValue();
        tag->SetInteger(int32_t(value));
        return true;
    }
    case OT_FLOAT: {
        SQFloat value = 0.0f;
        sq_getfloat(v, idx, &value);
        tag->ClearValue();
        tag->SetFloat(float(value));
        return true;
    }
    case OT_STRING:
        tag->ClearValue();
        return tag->SetString(GetString(v, idx));
    default:
        return false;
    }
}

// A new tag named name holding the value at idx (null: a pure tag); null,
// with the error logged, for a value of another type.
zMetaTag* NewTagFromValue(HSQUIRRELVM v, const char* name, SQInteger idx)
{
    if (sq_gettype(v, idx) == OT_NULL)
        return new zMetaTag(name); // a pure tag
    auto* tag = new zMetaTag(name);
    if (!SetTagValue(v, idx, tag)) {
        LogError("CreateMetatagFromSquirrelStackEntry") << "Cannot convert input Squirrel type to metatag value.\n";
        delete tag;
        return nullptr;
    }
    return tag;
}

SQInteger MetafileNew(HSQUIRRELVM v)
{
    SqPushSafePtr(v, new zMetaFile, SqPtrMetafile, true);
    return 1;
}

SQInteger MetafileDelete(HSQUIRRELVM v)
{
    // The document goes when its handle is released.
    FETCH_DOCUMENT(2, document);
    (void)document;
    return 0;
}

SQInteger MetafileLoad(HSQUIRRELVM v)
{
    FETCH_DOCUMENT(2, document);
    bool ok = false;
    if (document != nullptr) {
        // Parsed aside, so that a failed load leaves the document and its
        // tag handles as they were.
        zMetaFile loaded;
        ok = zMetaParser::Load(GetString(v, 3), &loaded);
        if (ok) {
            ForgetTags(document);
            document->Swap(loaded);
        }
    }
    sq_pushbool(v, ok ? SQTrue : SQFalse);
    return 1;
}

SQInteger MetafileSave(HSQUIRRELVM v)
{
    FETCH_DOCUMENT(2, document);
    sq_pushbool(v, document != nullptr && zMetaParser::Save(GetString(v, 3), document) ? SQTrue : SQFalse);
    return 1;
}

SQInteger MetafileGetRoots(HSQUIRRELVM v)
{
    FETCH_DOCUMENT(2, document);
    sq_newarray(v, 0);
    if (document != nullptr) {
        zLinkedListCursor cursor{};
        while (zMetaTag* tag = document->NextRootTag(cursor, true)) {
            PushTag(v, tag, document);
            sq_arrayappend(v, -2);
        }
    }
    return 1;
}

SQInteger MetatagGetChildren(HSQUIRRELVM v)
{
    FETCH_TAG(2, tag);
    sq_newarray(v, 0);
    if (tag != nullptr) {
        const zMetaFile* document = DocumentOf(tag);
        for (zMetaTag* child = tag->GetFirstChild(); child != nullptr; child = child->GetNextSibling()) {
            PushTag(v, child, document);
            sq_arrayappend(v, -2);
        }
    }
    return 1;
}

SQInteger MetatagGetName(HSQUIRRELVM v)
{
    FETCH_TAG(2, tag);
    const char* name = tag != nullptr ? tag->GetName().Get() : "[Invalid Tag Pointer]";
    sq_pushstring(v, name != nullptr ? name : "", -1);
    return 1;
}

SQInteger MetatagGetType(HSQUIRRELVM v)
{
    FETCH_TAG(2, tag);
    sq_pushinteger(v, tag != nullptr ? tag->GetType() : 0);
    return 1;
}

SQInteger MetatagGetValue(HSQUIRRELVM v)
{
    FETCH_TAG(2, tag);
    if (tag == nullptr) {
        sq_pushinteger(v, -2);
        return 1;
    }
    switch (tag->GetType()) {
    case zMetaTag::TypeInteger:
        sq_pushinteger(v, tag->GetInteger());
        break;
    case zMetaTag::TypeFloat:
        sq_pushfloat(v, tag->GetFloat());
        break;
    case zMetaTag::TypeString:
        sq_pushstring(v, tag->GetString(), -1);
        break;
    default: {
        const char* name = tag->GetName().Get();
        LogError("MetatagGetValue") << "Cannot get value from tag '" << (name != nullptr ? name : "")
                                    << "'. Unsupported type.\n";
        sq_pushinteger(v, -1);
        break;
    }
    }
    return 1;
}

SQInteger MetatagSetValue(HSQUIRRELVM v)
{
    FETCH_TAG(2, tag);
    if (tag == nullptr) {
        LogError("MetatagSetValue") << "Cannot set NULL metatag value.\n";
        return 0;
    }
    if (!SetTagValue(v, 3, tag))
        LogError("MetatagSetValue") << "Cannot convert input Squirrel type to metatag value.\n";
    return 0;
}

SQInteger MetafileAddRoot(HSQUIRRELVM v)
{
    FETCH_DOCUMENT(2, document);
    zMetaTag* tag = nullptr;
    if (document != nullptr) {
        tag = new zMetaTag(GetString(v, 3));
        document->AddRootTag(tag);
    }
    PushTag(v, tag, document);
    return 1;
}

SQInteger MetatagAddChild(HSQUIRRELVM v)
{
    FETCH_TAG(2, tag);
    zMetaTag* child = tag != nullptr ? tag->CreateChild(GetString(v, 3)) : nullptr;
    PushTag(v, child, tag != nullptr ? DocumentOf(tag) : nullptr);
    return 1;
}

SQInteger MetafileAddRootWithValue(HSQUIRRELVM v)
{
    FETCH_DOCUMENT(2, document);
    zMetaTag* tag = document != nullptr ? NewTagFromValue(v, GetString(v, 3), 4) : nullptr;
    if (tag != nullptr)
        document->AddRootTag(tag);
    PushTag(v, tag, document);
    return 1;
}

SQInteger MetatagAddChildWithValue(HSQUIRRELVM v)
{
    FETCH_TAG(2, parent);
    zMetaTag* tag = parent != nullptr ? NewTagFromValue(v, GetString(v, 3), 4) : nullptr;
    if (tag != nullptr && parent->AddChild(tag) == nullptr) {
        delete tag; // refused (and logged) by AddChild
        tag = nullptr;
    }
    PushTag(v, tag, parent != nullptr ? DocumentOf(parent) : nullptr);
    return 1;
}

SQInteger MetafileGetTag(HSQUIRRELVM v)
{
    FETCH_DOCUMENT(2, document);
    PushTag(v, document != nullptr ? document->GetTag(GetString(v, 3)) : nullptr, document);
    return 1;
}

SQInteger MetafileGetTypedTag(HSQUIRRELVM v)
{
    FETCH_DOCUMENT(2, document);
    SQInteger type = 0;
    sq_getinteger(v, 4, &type);
    PushTag(v, document != nullptr ? document->GetTypedTag(GetString(v, 3), int32_t(type)) : nullptr, document);
    return 1;
}

SQInteger MetatagGetTag(HSQUIRRELVM v)
{
    FETCH_TAG(2, tag);
    PushTag(v, tag != nullptr ? tag->GetTag(GetString(v, 3)) : nullptr, tag != nullptr ? DocumentOf(tag) : nullptr);
    return 1;
}

SQInteger MetatagGetTypedTag(HSQUIRRELVM v)
{
    FETCH_TAG(2, tag);
    SQInteger type = 0;
    sq_getinteger(v, 4, &type);
    PushTag(v, tag != nullptr ? tag->GetTypedTag(GetString(v, 3), int32_t(type)) : nullptr,
            tag != nullptr ? DocumentOf(tag) : nullptr);
    return 1;
}

} // namespace

void SqRegisterMetafileFunctions(HSQUIRRELVM v)
{
    SqSetManagedDeleter(SqPtrMetafile, DeleteDocument);
    Register(v, MetafileNew, "MetafileNew", "x|t");
    Register(v, MetafileDelete, "MetafileDelete", "x|tu");
    Register(v, MetafileLoad, "MetafileLoad", "x|tus");
    Register(v, MetafileSave, "MetafileSave", "x|tus");
    Register(v, MetafileGetRoots, "MetafileGetRoots", "x|tu");
    Register(v, MetatagGetChildren, "MetatagGetChildren", "x|tu");
    Register(v, MetatagGetName, "MetatagGetName", "x|tu");
    Register(v, MetatagGetType, "MetatagGetType", "x|tu");
    Register(v, MetatagGetValue, "MetatagGetValue", "x|tu");
    Register(v, MetatagSetValue, "MetatagSetValue", "x|tu.");
    Register(v, MetafileAddRoot, "MetafileAddRoot", "x|tus");
    Register(v, MetatagAddChild, "MetatagAddChild", "x|tus");
    Register(v, MetafileAddRootWithValue, "MetafileAddRootWithValue", "x|tus.");
    Register(v, MetatagAddChildWithValue, "MetatagAddChildWithValue", "x|tus.");
    Register(v, MetafileGetTag, "MetafileGetTag", "x|tus");
    Register(v, MetafileGetTypedTag, "MetafileGetTypedTag", "x|tusi");
    Register(v, MetatagGetTag, "MetatagGetTag", "x|tus");
    Register(v, MetatagGetTypedTag, "MetatagGetTypedTag", "x|tusi");
    static const struct {
        const char* name;
        SQInteger value;
    } types[] = {
        {"TagType_None", 0}, {"TagType_Tag", 1},    {"TagType_Node", 2},   {"TagType_Integer", 3},
        {"TagType_Real", 4}, {"TagType_String", 5}, {"TagType_Binary", 6}, {"TagType_Shortcut", 7},
    };
    for (const auto& type : types)
        NewIntegerConstant(v, type.name, type.value);
}
