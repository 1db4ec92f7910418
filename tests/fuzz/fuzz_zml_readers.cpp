#include "InputFS.h"
#include "core/camera/zCamera.h"
#include "core/item/zItem.h"
#include "core/light/zLight.h"
#include "core/material/zMaterial.h"
#include "core/material/zPhysicMaterial.h"
#include "core/object/zObject.h"
#include "core/render/zRenderer.h"
#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"
#include "framework/filesystem/zStream.h"
#include "framework/math/zCurve.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// One ZML document given to each of the core's small readers, as a scene or
// a file would give it: every root tag to the readers of cameras, lights,
// items, objects, materials, physic materials and curves (what one of them
// accepts is written again and must read back); the whole document as the
// renderer settings; the file as a shader library, under the profile
// "Default" and under its first root tag's name; and the file as the side
// file "input.zmd" of the texture "input.tga". The input up to its first NUL
// byte is that file, the rest "inc.zml", so includes stay in memory.
namespace {

template <class Object>
void ReadBack(Object& object, const zMetaTag* written)
{
    if (written == nullptr)
        return;
    std::unique_ptr<zMetaTag> owned(const_cast<zMetaTag*>(written));
    if (!object.FromMetaTag(nullptr, owned.get()))
        __builtin_trap();
}

void ReadEach(Tavrin* core, const zMetaFile& document, const zMetaTag* tag)
{
    {
        zCamera camera(core);
        if (camera.FromMetaTag(&document, tag)) {
            zCamera again(core);
            ReadBack(again, camera.AsMetaTag());
        }
    }
    {
        zLight light(core);
        if (light.FromMetaTag(&document, tag)) {
            zLight again(core);
            ReadBack(again, light.AsMetaTag());
        }
    }
    {
        zItem item(core);
        if (item.FromMetaTag(&document, tag)) {
            zItem again(core);
            ReadBack(again, item.AsMetaTag());
        }
    }
    {
        zObject object(core);
        if (object.FromMetaTag(&document, tag)) {
            zObject again(core);
            ReadBack(again, object.AsMetaTag());
        }
    }
    {
        zMaterial material(core);
        if (material.FromMetaTag(&document, tag)) {
            zMaterial again(core);
            ReadBack(again, material.AsMetaTag(nullptr));
        }
    }
    {
        zPhysicMaterial material;
        if (material.FromMetaTag(&document, tag)) {
            zPhysicMaterial again;
            ReadBack(again, material.AsMetaTag(nullptr));
        }
    }
    {
        zCurve curve;
        if (curve.FromMetaTag(&document, tag)) {
            float value = 0.0f;
            curve.RawEvaluate(0.5f, value);
            zCurve again;
            ReadBack(again, curve.AsMetaTag());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    GlobalLog.VerbosityMask = 0;
    static Tavrin* core = new Tavrin;
    static fuzz_support::MemoryFS files;
    zStream::SetCurrentFS(&files);
    files.SplitInput(data, size, "input.zml", "inc.zml");

    zMetaFile document;
    if (zMetaParser::Load("input.zml", &document)) {
        int32_t roots = 0;
        for (const zMetaTag* tag = document.GetFirstRootTag(); tag != nullptr && roots < 16;
             tag = tag->GetNextSibling(), ++roots)
            ReadEach(core, document, tag);
        core->LoadRendererSettings(nullptr, &document);

        zRenderer* renderer = core->renderer;
        renderer->shaderLibraries.Clear();
        renderer->LoadShaderLibrary("input.zml", nullptr);
        const zMetaTag* first = document.GetFirstRootTag();
        if (first != nullptr && first->GetName().Get() != nullptr) {
            renderer->shaderLibraries.Clear();
            renderer->LoadShaderLibrary("input.zml", first->GetName().Get());
        }
        renderer->shaderLibraries.Clear();
    }

    files.files["input.zmd"] = files.files["input.zml"];
    if (zTexture* texture = core->LoadTexture("input.tga", false, false, 0.5f, true))
        delete texture;
    core->DeleteAllResources();
    return 0;
}
