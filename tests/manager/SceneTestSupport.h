#pragma once

#include "script/ScriptTestSupport.h"

#include "core/geometry/zGeometry.h"
#include "core/render/zNullRenderer.h"
#include "core/zad/Tavrin.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "manager/item/zMKinds.h"
#include "manager/scene/zScene.h"
#include "manager_binding/SqBinding.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// A renderer that records what the scene asks of it.
class SceneRenderer : public zNullRenderer {
public:
    explicit SceneRenderer(Tavrin* core) : zNullRenderer(core, true) { AllocateItemStack(256); }
    void ApplyCamera() override
    {
        calls.push_back("ApplyCamera");
        zRenderer::ApplyCamera();
    }
    void Clear(float r, float g, float b, float depth, uint32_t flags) override
    {
        calls.push_back("Clear " + std::to_string(r) + " " + std::to_string(g) + " " + std::to_string(b) + " " +
                        std::to_string(depth) + " " + std::to_string(flags));
    }
    // A geometry counts as set up once it has a record; the record is the geometry itself.
    bool SetupGeometry(zGeometry* geometry) override
    {
        geometry->rendererData = geometry;
        return true;
    }
    void FreeGeometry(zGeometry* geometry) override { geometry->rendererData = nullptr; }
    void DrawTriangle(const zVector*, const float*, const zVector2*, zTexture*, uint32_t flags) override
    {
        calls.push_back("DrawTriangle " + std::to_string(flags));
    }
    // The objects pushed since the last reset, by their managed names.
    std::vector<std::string> Pushed() const
    {
        std::vector<std::string> out;
        for (int32_t i = 0; i < itemStackCount; ++i) {
            const zMItem* item = zMItem::FromCoreItem(itemArray[i].item);
            out.push_back(item != nullptr && item->GetName().Get() != nullptr ? item->GetName().Get() : "?");
        }
        return out;
    }
    std::vector<std::string> calls;
};

// A core with a recording renderer, a started VM with the bindings, and a
// scene; scripts and scene files are written into the scratch directory.
class SceneFixture : public ScriptFixture {
protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        SqRegisterBindings(v);
        renderer = std::make_unique<SceneRenderer>(&core);
        scene = std::make_unique<zScene>(&core, &master);
        savedDelta = GlobalFrameDelta;
    }
    void TearDown() override
    {
        scene.reset();
        renderer.reset();
        GlobalFrameDelta = savedDelta;
    }

    // Reads ZML text as a scene file named name (also written to disk, so
    // that proxies and the file reader find it).
    bool ReadScene(const std::string& name, const std::string& text, int32_t flags = zScene::LoadAll,
                   zGroup** group = nullptr)
    {
        dir.Write(name, text);
        return scene->FromMetaFileStoreGroup(name.c_str(), group, flags, 0);
    }
    // Setup and Reset as the application runs them, then the frame time.
    void Start(int32_t frameTicks = 166)
    {
        core.SetupResources();
        scene->RegisterAsPropertyCallback(renderer.get());
        scene->RegisterScriptGlobals();
        scene->Setup(true, 1024);
        scene->Reset();
        GlobalFrameDelta = frameTicks;
    }
    // The text of the script lines ("[S] " stripped) from index from on.
    std::vector<std::string> ScriptLines(size_t from = 0) const
    {
        std::vector<std::string> out;
        const std::vector<std::string> lines = Lines();
        for (size_t i = from; i < lines.size(); ++i) {
            if (lines[i].rfind("[S] ", 0) == 0)
                out.push_back(lines[i].substr(4));
        }
        return out;
    }

    Tavrin core;
    std::unique_ptr<SceneRenderer> renderer;
    std::unique_ptr<zScene> scene;
    int32_t savedDelta = 0;
};

// A camera, then an item of each kind, named and placed.
inline std::string SceneText(const std::string& items, const std::string& rest = "")
{
    return "<ZML=1.0>\n<Scene=\n <Items=\n" + items + " >\n" + rest + ">\n";
}

// coreItem: the children of the item's "Item" tag (its placement).
inline std::string ItemTag(const char* kind, const char* name, int uid, const std::string& mitemExtra = "",
                           const std::string& coreItem = "")
{
    const std::string k(kind);
    const std::string item = "<Item=" + coreItem + ">";
    const std::string core = k == "MObject"   ? "<Object=" + item + ">"
                             : k == "MLight"  ? "<Light=" + item + ">"
                             : k == "MCamera" ? "<Camera=" + item + ">"
                                              : item;
    return "  <" + k + "=<MItem=<Id=\"" + name + "\"><UId=" + std::to_string(uid) + "><Active>" + mitemExtra + ">" +
           core + ">\n";
}
