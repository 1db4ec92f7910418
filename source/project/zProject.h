#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "framework/data_structure/ztLinkedList.h"
#include "framework/metafile/zMetaObject.h"
#include "framework/tools/zString.h"
#include "script/zScriptMaster.h"
#include "script/zScriptUnit.h"

#include <squirrel.h>

#include <cstdint>

class Tavrin;
class zScene;
class zScene2D;

// A scene the project knows by URI (the scene file). Declarations are owned by
// the project.
class zProjectSceneDecl : public zLinkedListEntry {
public:
    enum Type : int32_t { Scene3D = 0, Scene2D = 1 };

    int32_t type = Scene3D;
    zString uri;
    zString folder;
};

// A live instance of a declaration (script handle kind "Project Scene"). It
// owns its scene: a zScene for a 3D declaration, a zScene2D for a 2D one.
class zProjectScene : public zLinkedListEntry {
public:
    ~zProjectScene() override;

    // Marks an instance that has a scene active and resets that scene; an
    // instance without a scene stays as it is.
    void Reset();
    bool Is3D() const { return declaration != nullptr && declaration->type == zProjectSceneDecl::Scene3D; }
    // The instance's scene script unit, or null when it has no scene.
    zScriptUnit* GetSceneUnit() const;

    bool active = false;
    // Not owned; the project refuses to remove a declaration while instances use it.
    zProjectSceneDecl* declaration = nullptr;
    zScene* scene3D = nullptr;
    zScene2D* scene2D = nullptr;
};

// One entry of the layer stack (script handle kind "Project Layer"). Several
// layers may show the same instance; the instance is not owned.
class zProjectLayer : public zLinkedListEntry {
public:
    ~zProjectLayer() override;

    zProjectScene* instance = nullptr;
};

// Registers every script binding on a fresh VM. The project library stands
// below the bindings, so whoever builds the project hands it in.
using zProjectBindingRegistrar = void (*)(HSQUIRRELVM v);

// The environment of a run: the only script master, the project's own script
// unit (owner kind "Project"), and in project mode the declared scenes, their
// instances and the stack of layers that decides what is drawn in which order
// (head = back, tail = front). Read from and written as the "Environment" tag.
//
// Main thread only. Operations that change or walk the stack refuse to run
// while the stack is being evaluated or drawn (see IsProjectActionAllowed), so
// scene scripts cannot change the stack under the walk.
class zProject : public zMetaObject, public zScriptUnit {
public:
    // The core is not owned and must outlive the project.
    explicit zProject(Tavrin* core, zProjectBindingRegistrar registrar = nullptr);
    ~zProject() override;
    zProject(const zProject&) = delete;
    zProject& operator=(const zProject&) = delete;

    // Starts the VM, registers the bindings, sets the script globals, runs the
    // includes, opens the project's unit and sets "g_context_project". False
    // when the VM cannot start (also when one runs already) or the unit
    // cannot open.
    bool Open(bool projectMode);
    // "OnSetup".
    bool Setup();
    // "OnClose", then frees layers, instances and declarations; with stopVM
    // the VM is stopped too. Harmless a second time.
    bool Close(bool stopVM);
    // "OnUpdate", then every active 3D instance updates with the mask.
    void Evaluate(int32_t updateMask);
    // "OnRender", then every active layer from back to front.
    void Render(int32_t flag);
    // Refreshes "g_dt_frame", "g_raw_dt_frame" and "g_clock".
    void UpdateScriptClock();

    // The declaration with the URI, or a new one. Null on allocation failure or
    // when refused.
    zProjectSceneDecl* NewScene(const char* uri, int32_t type);
    zProjectSceneDecl* FindScene(const char* uri) const;
    // False when there is no such declaration, when refused, and while an
    // instance of it exists (its instances would point at freed memory).
    bool RemoveScene(const char* uri);

    // The instance of the declaration's URI, or a new one loaded, set up and
    // reset; layerMode 0 adds no layer, 1 a layer at the front, any other
    // value one at the back (only for a new instance). Null when refused or on
    // failure. The project owns the instance (free it with Unload).
    zProjectScene* Instantiate(zProjectSceneDecl* declaration, int32_t layerMode);
    zProjectScene* FindInstance(const char* uri) const;
    // Removes the instance's layers and frees the instance and its scene.
    void Unload(zProjectScene* instance);
    // "OnActivateScene" (instance, state) when the script has it, then the flag.
    void ActivateScene(zProjectScene* instance, bool state);

    // Wraps a scene made elsewhere (taken over on success; on failure the
    // caller still owns it) as an instance.
    bool RegisterInstance(zProjectSceneDecl* declaration, zScene* scene);
    bool RegisterInstance(zProjectSceneDecl* declaration, zScene2D* scene);
    int32_t CountActiveInstances() const;
    // scene is a zScene or a zScene2D.
    zProjectScene* FindInstanceByScene(const void* scene) const;
    // Closes the project and forgets its name, includes, search paths and
    // declarations.
    void Reset(bool stopVM);

    // Layers: mode 1 appends at the front, 2 inserts at the back; other modes
    // add nothing (null). The project owns the layer; the instance is not
    // the layer's.
    zProjectLayer* AddLayer(zProjectScene* instance, int32_t mode);
    // False when the layer is not in the stack.
    bool MoveLayerToFront(zProjectLayer* layer);
    bool MoveLayerToBack(zProjectLayer* layer);
    const zLinkedList& GetLayers() const { return layers; }
    const zLinkedList& GetInstances() const { return instances; }
    const zLinkedList& GetDeclarations() const { return declarations; }

    // Logs and refuses while the stack is evaluated or drawn.
    bool IsProjectActionAllowed(const char* operation) const;

    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag) override;
    zMetaTag* AsMetaTag(zLinkedListId* list) override;
    bool OpenScriptUnit() override;
    void CloseScriptUnit() override;

    Tavrin* GetCore() const { return core; }
    zScriptMaster& GetMaster() { return master; }
    bool IsQuitRequested() const { return (quitRequest & 1) != 0; }
    void RequestQuit() { quitRequest |= 1; }

    zString name;
    zString fileName;
    ztLinkedList<zString> includes;
    ztLinkedList<zString> searchPaths;

private:
    bool StartScripting();
    void FreeInstance(zProjectScene* instance);
    bool AppendInstance(zProjectSceneDecl* declaration, zScene* scene3D, zScene2D* scene2D);

    Tavrin* core;
    zProjectBindingRegistrar registrar;
    zScriptMaster master;
    zLinkedList declarations;
    zLinkedList instances;
    zLinkedList layers;
    bool guard = false;
    int32_t quitRequest = 0;
    // Per-frame callbacks, looked up when the unit opens.
    HSQOBJECT onUpdate;
    HSQOBJECT onRender;
    HSQOBJECT onRenderScene;
    HSQOBJECT onActivateScene;
};
