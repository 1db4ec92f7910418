#include "project/zProject.h"

#include "core/render/zRenderer.h"
#include "core/zad/Tavrin.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "project/zProjectScene3D.h"
#include "script/SqSafePtr.h"
#include "ui/zScene2D.h"

#include <cstring>
#include <new>
#include <vector>

namespace {

// Root-table slots: created (or replaced) by NewSlot, only replaced by SetSlot.
template <class Push> void NewSlot(HSQUIRRELVM v, const char* name, Push push)
{
    const SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    push(v);
    sq_newslot(v, -3, SQFalse);
    sq_settop(v, top);
}

void SetFloatSlot(HSQUIRRELVM v, const char* name, float value)
{
    const SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    sq_pushfloat(v, value);
    sq_set(v, -3);
    sq_settop(v, top);
}

bool IsNull(const HSQOBJECT& object)
{
    return sq_isnull(object);
}

} // namespace

zProjectScene::~zProjectScene()
{
    SqSafePtrInvalidate(this);
}

void zProjectScene::Reset()
{
    if (scene3D != nullptr) {
        active = true;
        zProjectScene3D::Reset(scene3D);
    } else if (scene2D != nullptr) {
        active = true;
        scene2D->Reset();
    }
}

zScriptUnit* zProjectScene::GetSceneUnit() const
{
    if (scene3D != nullptr)
        return zProjectScene3D::GetUnit(scene3D);
    return scene2D;
}

zProjectLayer::~zProjectLayer()
{
    SqSafePtrInvalidate(this);
}

zProject::zProject(Tavrin* owner, zProjectBindingRegistrar bindingRegistrar)
    : zScriptUnit(&master), name("New Project"), core(owner), registrar(bindingRegistrar)
{
    sq_resetobject(&onUpdate);
    sq_resetobject(&onRender);
    sq_resetobject(&onRenderScene);
    sq_resetobject(&onActivateScene);
    SetOwner(this, SqPtrProject);
}

zProject::~zProject()
{
    guard = false;
    Close(true);
    SqSafePtrInvalidate(this);
}

bool zProject::IsProjectActionAllowed(const char* operation) const
{
    if (!guard)
        return true;
    LogError("zProject::IsProjectActionAllowed")
        << "Cannot call '" << operation << "' while rendering or evaluating the project scene stack.\n";
    return false;
}

bool zProject::OpenScriptUnit()
{
    if (!zScriptUnit::OpenScriptUnit())
        return false;
    ReleaseMember(onUpdate);
    ReleaseMember(onRender);
    ReleaseMember(onRenderScene);
    ReleaseMember(onActivateScene);
    GetInstanceMember("OnUpdate", onUpdate);
    GetInstanceMember("OnRender", onRender);
    GetInstanceMember("OnRenderScene", onRenderScene);
    GetInstanceMember("OnActivateScene", onActivateScene);
    return true;
}

void zProject::CloseScriptUnit()
{
    ReleaseMember(onUpdate);
    ReleaseMember(onRender);
    ReleaseMember(onRenderScene);
    ReleaseMember(onActivateScene);
    zScriptUnit::CloseScriptUnit();
}

bool zProject::StartScripting()
{
    if (!master.StartVM())
        return false;
    HSQUIRRELVM v = master.GetVM();
    if (registrar != nullptr)
        registrar(v);

    float width = 0.0f;
    float height = 0.0f;
    zRenderer* renderer = core != nullptr ? core->renderer : nullptr;
    if (renderer != nullptr)
        renderer->GetViewportSize(width, height);
    NewSlot(v, "g_engine", [&](HSQUIRRELVM vm) { SqPushSafePtr(vm, core, SqPtrEngine); });
    NewSlot(v, "g_project", [&](HSQUIRRELVM vm) { SqPushSafePtr(vm, this, SqPtrProject); });
    NewSlot(v, "g_mixer", [&](HSQUIRRELVM vm) { SqPushSafePtr(vm, core != nullptr ? core->mixer : nullptr, SqPtrMixer); });
    NewSlot(v, "g_render", [&](HSQUIRRELVM vm) { SqPushSafePtr(vm, renderer, SqPtrRenderer); });
    NewSlot(v, "g_width", [&](HSQUIRRELVM vm) { sq_pushfloat(vm, width); });
    NewSlot(v, "g_height", [&](HSQUIRRELVM vm) { sq_pushfloat(vm, height); });
    NewSlot(v, "g_dt_frame", [](HSQUIRRELVM vm) { sq_pushfloat(vm, 1.0f / 60.0f); });
    NewSlot(v, "g_raw_dt_frame", [](HSQUIRRELVM vm) { sq_pushfloat(vm, 1.0f / 60.0f); });
    NewSlot(v, "g_clock", [](HSQUIRRELVM vm) { sq_pushfloat(vm, float(GlobalClock)); });

    for (const ztLinkedList<zString>::Node* node = includes.GetFirst(); node != nullptr; node = node->next)
        master.AddScript(node->value.Get() != nullptr ? node->value.Get() : "");
    return true;
}

bool zProject::Open(bool projectMode)
{
    if (!IsProjectActionAllowed("zProject::Open"))
        return false;
    if (!StartScripting())
        return false;
    if (!OpenScriptUnit())
        return false;
    NewSlot(master.GetVM(), "g_context_project", [&](HSQUIRRELVM vm) { sq_pushbool(vm, projectMode ? SQTrue : SQFalse); });
    return true;
}

bool zProject::Setup()
{
    if (!IsProjectActionAllowed("zProject::Setup"))
        return false;
    if (SetupFunctionCall("OnSetup"))
        DoFunctionCall(0);
    return true;
}

void zProject::UpdateScriptClock()
{
    HSQUIRRELVM v = master.GetVM();
    if (v == nullptr)
        return;
    SetFloatSlot(v, "g_dt_frame", float(GlobalFrameDelta) * 0.0001f);
    SetFloatSlot(v, "g_raw_dt_frame", float(GlobalRawFrameDelta) * 0.0001f);
    SetFloatSlot(v, "g_clock", float(GlobalClock));
}

void zProject::Evaluate(int32_t updateMask)
{
    if (!IsProjectActionAllowed("zProject::Evaluate"))
        return;
    UpdateScriptClock();
    if (!IsNull(onUpdate) && SetupFunctionCall("OnUpdate", &onUpdate))
        DoFunctionCall(0);

    guard = true;
    zLinkedListCursor cursor;
    while (auto* instance = instances.NextAs<zProjectScene>(cursor)) {
        if (instance->active && instance->Is3D() && instance->scene3D != nullptr) {
            zProjectScene3D::MakeGlobal(instance->scene3D);
            zProjectScene3D::Update(instance->scene3D, updateMask);
        }
    }
    guard = false;
}

void zProject::Render(int32_t flag)
{
    if (!IsProjectActionAllowed("zProject::Render"))
        return;
    if (!IsNull(onRender) && SetupFunctionCall("OnRender", &onRender))
        DoFunctionCall(0);

    zRenderer* renderer = core != nullptr ? core->renderer : nullptr;
    // The project's own "OnRenderScene" may change the stack: the walk goes
    // over the layers as they were and skips those no longer in the stack.
    std::vector<zProjectLayer*> order;
    order.reserve(size_t(layers.GetCount()));
    zLinkedListCursor cursor;
    while (auto* layer = layers.NextAs<zProjectLayer>(cursor))
        order.push_back(layer);

    bool first = true;
    for (zProjectLayer* layer : order) {
        if (!layers.Contains(layer))
            continue;
        zProjectScene* instance = layer->instance;
        if (instance == nullptr || !instance->active)
            continue;
        if (!IsNull(onRenderScene) && SetupFunctionCall("OnRenderScene", &onRenderScene)) {
            SqPushSafePtr(master.GetVM(), instance, SqPtrProjectScene);
            SqPushSafePtr(master.GetVM(), layer, SqPtrProjectLayer);
            DoFunctionCall(2);
            if (!layers.Contains(layer) || layer->instance != instance || !instances.Contains(instance))
                continue;
        }
        // Colour and depth for the first layer drawn, depth only after it.
        if (renderer != nullptr)
            renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, first ? 0u : 1u);
        first = false;

        guard = true;
        if (instance->Is3D()) {
            if (instance->scene3D != nullptr) {
                zProjectScene3D::MakeGlobal(instance->scene3D);
                zProjectScene3D::DrawLayer(instance->scene3D, renderer, flag);
            }
        } else if (instance->scene2D != nullptr) {
            instance->scene2D->Render();
        }
        guard = false;
    }
}

zProjectSceneDecl* zProject::NewScene(const char* uri, int32_t type)
{
    if (!IsProjectActionAllowed("zProject::NewScene"))
        return nullptr;
    if (zProjectSceneDecl* existing = FindScene(uri))
        return existing;
    auto* declaration = new (std::nothrow) zProjectSceneDecl;
    if (declaration == nullptr) {
        LogError("zProject::NewScene") << "Failed to allocate new project scene.\n";
        return nullptr;
    }
    declaration->type = type;
    declaration->uri.Assign(uri);
    declarations.Append(declaration);
    return declaration;
}

zProjectSceneDecl* zProject::FindScene(const char* uri) const
{
    const char* wanted = uri != nullptr ? uri : "";
    zLinkedListCursor cursor;
    while (auto* declaration = declarations.NextAs<zProjectSceneDecl>(cursor)) {
        const char* text = declaration->uri.Get() != nullptr ? declaration->uri.Get() : "";
        if (std::strcmp(text, wanted) == 0)
            return declaration;
    }
    return nullptr;
}

bool zProject::RemoveScene(const char* uri)
{
    if (!IsProjectActionAllowed("zProject::RemoveScene"))
        return false;
    zProjectSceneDecl* declaration = FindScene(uri);
    if (declaration == nullptr)
        return false;
    zLinkedListCursor cursor;
    while (auto* instance = instances.NextAs<zProjectScene>(cursor)) {
        if (instance->declaration == declaration) {
            LogError("zProject::RemoveScene")
                << "Scene '" << (uri != nullptr ? uri : "") << "' is instantiated, unload it first.\n";
            return false;
        }
    }
    declarations.Remove(declaration, true);
    return true;
}

zProjectScene* zProject::FindInstance(const char* uri) const
{
    const char* wanted = uri != nullptr ? uri : "";
    zLinkedListCursor cursor;
    while (auto* instance = instances.NextAs<zProjectScene>(cursor)) {
        if (instance->declaration == nullptr)
            continue;
        const char* text = instance->declaration->uri.Get() != nullptr ? instance->declaration->uri.Get() : "";
        if (std::strcmp(text, wanted) == 0)
            return instance;
    }
    return nullptr;
}

bool zProject::AppendInstance(zProjectSceneDecl* declaration, zScene* scene3D, zScene2D* scene2D)
{
    auto* instance = new (std::nothrow) zProjectScene;
    if (instance == nullptr)
        return false;
    instance->declaration = declaration;
    instance->scene3D = scene3D;
    instance->scene2D = scene2D;
    instance->Reset();
    instances.Append(instance);
    return true;
}

zProjectScene* zProject::Instantiate(zProjectSceneDecl* declaration, int32_t layerMode)
{
    if (!IsProjectActionAllowed("zProject::Instantiate"))
        return nullptr;
    if (declaration == nullptr)
        return nullptr;
    if (zProjectScene* existing = FindInstance(declaration->uri.Get()))
        return existing;

    const char* uri = declaration->uri.Get() != nullptr ? declaration->uri.Get() : "";
    if (declaration->type == zProjectSceneDecl::Scene3D) {
        zScene* scene = zProjectScene3D::New(core, &master);
        if (scene == nullptr) {
            LogError("zProject::Instantiate") << "Failed to allocate scene object.\n";
            return nullptr;
        }
        if (!AppendInstance(declaration, scene, nullptr)) {
            zProjectScene3D::Delete(scene);
            LogError("zProject::Instantiate") << "Failed to allocate project scene instance.\n";
            return nullptr;
        }
        zProjectScene3D::MakeGlobal(scene);
        zProjectScene3D::Load(scene, uri);
        zProjectScene3D::Setup(scene);
        zProjectScene3D::Reset(scene);
    } else {
        auto* scene = new (std::nothrow) zScene2D(core, &master);
        if (scene == nullptr) {
            LogError("zProject::Instantiate") << "Failed to allocate scene 2D object.\n";
            return nullptr;
        }
        if (!AppendInstance(declaration, nullptr, scene)) {
            delete scene;
            LogError("zProject::Instantiate") << "Failed to allocate project scene instance.\n";
            return nullptr;
        }
        scene->LoadFromFile(uri);
        scene->Setup();
        scene->Reset();
    }
    auto* instance = static_cast<zProjectScene*>(instances.GetLast());
    if (layerMode == 1)
        AddLayer(instance, 1);
    else if (layerMode != 0)
        AddLayer(instance, 2);
    return instance;
}

void zProject::FreeInstance(zProjectScene* instance)
{
    if (instance->scene3D != nullptr) {
        // Its deletion callbacks see it as "g_scene".
        zProjectScene3D::MakeGlobal(instance->scene3D);
        zProjectScene3D::Delete(instance->scene3D);
        instance->scene3D = nullptr;
    }
    delete instance->scene2D;
    instance->scene2D = nullptr;
    instances.Remove(instance, true);
}

void zProject::Unload(zProjectScene* instance)
{
    if (!IsProjectActionAllowed("zProject::Unload"))
        return;
    if (instance == nullptr || !instances.Contains(instance))
        return;
    zLinkedListCursor cursor;
    while (auto* layer = layers.NextAs<zProjectLayer>(cursor)) {
        if (layer->instance == instance)
            layers.Remove(layer, true);
    }
    FreeInstance(instance);
}

void zProject::ActivateScene(zProjectScene* instance, bool state)
{
    if (instance == nullptr)
        return;
    if (!IsNull(onActivateScene) && SetupFunctionCall("OnActivateScene", &onActivateScene)) {
        SqPushSafePtr(master.GetVM(), instance, SqPtrProjectScene);
        sq_pushbool(master.GetVM(), state ? SQTrue : SQFalse);
        DoFunctionCall(2);
    }
    // The callback may have unloaded it.
    if (instances.Contains(instance))
        instance->active = state;
}

bool zProject::RegisterInstance(zProjectSceneDecl* declaration, zScene* scene)
{
    if (scene == nullptr || declaration == nullptr) {
        LogError("zProject::RegisterInstance") << "Invalid instance scene.\n";
        return false;
    }
    if (declaration->type != zProjectSceneDecl::Scene3D) {
        LogError("zProject::RegisterInstance")
            << "Instance (3D) does not match project declared scene type, won't register.\n";
        return false;
    }
    if (!AppendInstance(declaration, scene, nullptr)) {
        LogError("zProject::RegisterInstance") << "Failed to allocate scene instance container.\n";
        return false;
    }
    return true;
}

bool zProject::RegisterInstance(zProjectSceneDecl* declaration, zScene2D* scene)
{
    if (scene == nullptr || declaration == nullptr) {
        LogError("zProject::RegisterInstance") << "Invalid instance scene.\n";
        return false;
    }
    if (declaration->type != zProjectSceneDecl::Scene2D) {
        LogError("zProject::RegisterInstance")
            << "Instance (2D) does not match project declared scene type, won't register.\n";
        return false;
    }
    if (!AppendInstance(declaration, nullptr, scene)) {
        LogError("zProject::RegisterInstance") << "Failed to allocate scene instance container.\n";
        return false;
    }
    return true;
}

int32_t zProject::CountActiveInstances() const
{
    int32_t count = 0;
    zLinkedListCursor cursor;
    while (auto* instance = instances.NextAs<zProjectScene>(cursor))
        count += instance->active ? 1 : 0;
    return count;
}

zProjectScene* zProject::FindInstanceByScene(const void* scene) const
{
    if (scene == nullptr)
        return nullptr;
    zLinkedListCursor cursor;
    while (auto* instance = instances.NextAs<zProjectScene>(cursor)) {
        if (static_cast<const void*>(instance->scene3D) == scene || static_cast<const void*>(instance->scene2D) == scene)
            return instance;
    }
    return nullptr;
}

zProjectLayer* zProject::AddLayer(zProjectScene* instance, int32_t mode)
{
    if (mode != 1 && mode != 2)
        return nullptr;
    auto* layer = new (std::nothrow) zProjectLayer;
    if (layer == nullptr)
        return nullptr;
    layer->instance = instance;
    layers.Add(layer, mode == 1);
    return layer;
}

bool zProject::MoveLayerToFront(zProjectLayer* layer)
{
    if (layer == nullptr || !layers.Contains(layer))
        return false;
    layers.Unlink(layer);
    layers.Add(layer, true);
    return true;
}

bool zProject::MoveLayerToBack(zProjectLayer* layer)
{
    if (layer == nullptr || !layers.Contains(layer))
        return false;
    layers.Unlink(layer);
    layers.Add(layer, false);
    return true;
}

bool zProject::Close(bool stopVM)
{
    if (!IsProjectActionAllowed("zProject::Close"))
        return false;
    if (SetupFunctionCall("OnClose"))
        DoFunctionCall(0);
    CloseScriptUnit();
    fileName.Assign("");
    layers.Clear(true);
    while (auto* instance = static_cast<zProjectScene*>(instances.GetFirst()))
        FreeInstance(instance);
    declarations.Clear(true);
    Script.Assign("");
    Class.Assign("");
    quitRequest = 0;
    if (stopVM)
        master.StopVM();
    return true;
}

void zProject::Reset(bool stopVM)
{
    Close(stopVM);
    name.Assign("New Project");
    includes.Clear();
    searchPaths.Clear();
    declarations.Clear(true);
}

bool zProject::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr)
        return false;
    if (std::strcmp(tag->GetName().Get() != nullptr ? tag->GetName().Get() : "", "Environment") != 0) {
        LogError("zProject::FromMetaTag") << "Could not parse environment. Root tag id is incorrect ("
                                          << tag->GetName() << ").\n";
        return false;
    }
    name.Assign("");
    searchPaths.Clear();
    includes.Clear();
    // Declarations in use by instances stay until the instances go.
    zLinkedListCursor clearCursor;
    while (auto* declaration = declarations.NextAs<zProjectSceneDecl>(clearCursor)) {
        bool used = false;
        zLinkedListCursor instanceCursor;
        while (auto* instance = instances.NextAs<zProjectScene>(instanceCursor))
            used = used || instance->declaration == declaration;
        if (!used)
            declarations.Remove(declaration, true);
    }
    Script.Assign("");
    Class.Assign("");
    *GlobalLogStream << "Parsing ZML environment...\n";

    zLinkedListCursor cursor;
    while (zMetaTag* child = tag->NextChild(cursor, document)) {
        const char* childName = child->GetName().Get() != nullptr ? child->GetName().Get() : "";
        if (std::strcmp(childName, "Name") == 0) {
            name.Assign(child->GetString() != nullptr ? child->GetString() : "");
        } else if (std::strcmp(childName, "Scenes") == 0) {
            zLinkedListCursor sceneCursor;
            while (zMetaTag* entry = child->NextChild(sceneCursor, document)) {
                const char* entryName = entry->GetName().Get() != nullptr ? entry->GetName().Get() : "";
                if (std::strcmp(entryName, "URI") == 0) {
                    if (entry->GetString() != nullptr)
                        NewScene(entry->GetString(), zProjectSceneDecl::Scene3D);
                } else if (std::strcmp(entryName, "Scene") == 0) {
                    const zMetaTag* uri = entry->GetTypedTag("URI", zMetaTag::TypeString, document);
                    if (uri == nullptr)
                        continue;
                    const zMetaTag* type = entry->GetTypedTag("Type", zMetaTag::TypeString, document);
                    const bool is2D = type != nullptr && std::strcmp(type->GetString(), "2d") == 0;
                    NewScene(uri->GetString(), is2D ? zProjectSceneDecl::Scene2D : zProjectSceneDecl::Scene3D);
                }
            }
        } else if (std::strcmp(childName, "Include") == 0) {
            zLinkedListCursor includeCursor;
            while (zMetaTag* entry = child->NextChild(includeCursor, document)) {
                if (entry->GetName() == zString("URI") && entry->GetString() != nullptr)
                    includes.Add(zString(entry->GetString()));
            }
        } else if (std::strcmp(childName, "SearchPaths") == 0) {
            zLinkedListCursor pathCursor;
            while (zMetaTag* entry = child->NextChild(pathCursor, document)) {
                if (entry->GetString() != nullptr)
                    searchPaths.Add(zString(entry->GetString()));
            }
        } else if (std::strcmp(childName, "ScriptUnit") == 0) {
            zScriptUnit::FromMetaTag(document, child);
        }
    }
    if (document != nullptr)
        fileName = document->GetFileName();
    return true;
}

zMetaTag* zProject::AsMetaTag(zLinkedListId*)
{
    auto* root = new (std::nothrow) zMetaTag("Environment");
    if (root == nullptr) {
        LogError("zProject::AsMetaTag") << "Could not create environment root tag to serialize.\n";
        return nullptr;
    }
    root->CreateString("Name", name.Get() != nullptr ? name.Get() : "");
    if (zMetaTag* unit = zScriptUnit::AsMetaTag())
        root->AddChild(unit);
    zMetaTag* scenes = root->CreateChild("Scenes");
    zLinkedListCursor cursor;
    while (auto* declaration = declarations.NextAs<zProjectSceneDecl>(cursor)) {
        zMetaTag* scene = scenes->CreateChild("Scene");
        scene->CreateString("URI", declaration->uri.Get() != nullptr ? declaration->uri.Get() : "");
        if (!declaration->folder.IsEmpty())
            scene->CreateString("Folder", declaration->folder.Get());
        scene->CreateString("Type", declaration->type == zProjectSceneDecl::Scene2D ? "2d" : "3d");
    }
    zMetaTag* include = root->CreateChild("Include");
    for (const ztLinkedList<zString>::Node* node = includes.GetFirst(); node != nullptr; node = node->next)
        include->CreateString("URI", node->value.Get() != nullptr ? node->value.Get() : "");
    zMetaTag* paths = root->CreateChild("SearchPaths");
    for (const ztLinkedList<zString>::Node* node = searchPaths.GetFirst(); node != nullptr; node = node->next)
        paths->CreateString("Path", node->value.Get() != nullptr ? node->value.Get() : "");
    return root;
}
