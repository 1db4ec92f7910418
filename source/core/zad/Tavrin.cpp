#include "core/zad/Tavrin.h"

#include "core/ace/zACEUnit.h"
#include "core/camera/zCamera.h"
#include "core/geometry/zGeometry.h"
#include "core/item/zItem.h"
#include "core/object/zObject.h"
#include "core/render/zNullRenderer.h"
#include "core/resource/zTexture.h"
#include "core/sound/zNullMixer.h"
#include "core/sound/zSound.h"
#include "framework/math/zCurve.h"
#include "framework/math/zMatrix3.h"
#include "framework/math/zMatrix4.h"
#include "framework/math/zMinMax.h"
#include "framework/math/zRandom.h"
#include "framework/math/zVector.h"
#include "framework/system/zLogStream.h"

Tavrin::Tavrin() : frameTimer(GetFrameClockSource())
{
    frameTimer.Reset();
    // The first frame is measured from construction.
    frameTimer.Start(true);
    defaultRenderer = new zNullRenderer(this, true);
    defaultMixer = new zNullMixer(this, true);
    UpdateFrameClock();
    SeedRandom(77);
}

Tavrin::~Tavrin()
{
    if (GlobalDrawDepth != 0)
        LogWarning("Tavrin::~Tavrin") << "Not all BeginDraw() were closed by calling EndDraw().\n";
    DeleteAllResources();
    delete defaultRenderer;
    defaultRenderer = nullptr;
    delete defaultMixer;
    defaultMixer = nullptr;
}

void Tavrin::BeginDraw(bool updateStreams)
{
    if (GlobalDrawDepth == 0 && renderer != nullptr)
        renderer->BeginFrame();
    ++GlobalDrawDepth;
    if (updateStreams)
        UpdateTextureStreams(GlobalFrameDelta);
    frameTimer.Stop();
    frameTimer.Start();
}

void Tavrin::EndDraw(bool force, bool retainItemStack)
{
    bool closesFrame = force;
    if (GlobalDrawDepth > 0) {
        --GlobalDrawDepth;
        closesFrame = closesFrame || GlobalDrawDepth == 0;
    } else {
        // A negative depth would keep every later frame from ending.
        LogWarning("Tavrin::EndDraw") << "EndDraw() called without a matching BeginDraw().\n";
    }
    if (closesFrame) {
        if (renderer != nullptr)
            renderer->EndFrame();
        if (mixer != nullptr)
            mixer->Update();
        if (renderer != nullptr)
            renderer->Present();
        if (GlobalEndOfFrameHook != nullptr)
            GlobalEndOfFrameHook();
        UpdateFrameClock();
    }
    if (!retainItemStack && renderer != nullptr)
        renderer->ResetItemStack();
}

void Tavrin::UpdateTextureStreams(int32_t delta)
{
    zLinkedListCursor cursor;
    while (zTexture* texture = GetTextures().NextAs<zTexture>(cursor))
        texture->UpdateStream(delta);
}

void Tavrin::DeleteAllResources()
{
    currentResources->DeleteAll();
}

namespace {

struct LayoutLine {
    const char* name;
    size_t size;
};

void WriteLayout(const LayoutLine* lines, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        *GlobalLogStream << "    sizeof(" << lines[i].name << ") = " << unsigned(lines[i].size) << "\n";
}

} // namespace

void DumpMemoryLayout(bool withCoreTypes)
{
    static const LayoutLine machine[] = {
        {"bool", sizeof(bool)}, {"char", sizeof(char)}, {"short", sizeof(short)},
        {"int", sizeof(int)},   {"float", sizeof(float)},
    };
    static const LayoutLine math[] = {
        {"zVector", sizeof(zVector)},
        {"zMatrix3", sizeof(zMatrix3)},
        {"zMatrix4", sizeof(zMatrix4)},
        {"zMinMax", sizeof(zMinMax)},
    };
    // The hierarchy, light and material records join the list with their
    // classes.
    static const LayoutLine core[] = {
        {"Tavrin", sizeof(Tavrin)},       {"zItem", sizeof(zItem)},       {"zACEUnit", sizeof(zACEUnit)},
        {"zObj", sizeof(zObject)},        {"zTexture", sizeof(zTexture)}, {"zSound", sizeof(zSound)},
        {"zGeometry", sizeof(zGeometry)},
        {"zCam", sizeof(zCamera)},        {"zPolygon", sizeof(zPolygon)}, {"zCurve", sizeof(zCurve)},
    };

    // One append chain per line: the log prints a line at its line feed.
    *GlobalLogStream << "Machine memory layout:\n";
    *GlobalLogStream << "\n";
    WriteLayout(machine, sizeof(machine) / sizeof(machine[0]));
    *GlobalLogStream << "\n";
    if (withCoreTypes) {
        *GlobalLogStream << "Core memory layout:\n";
        *GlobalLogStream << "\n";
        WriteLayout(math, sizeof(math) / sizeof(math[0]));
        *GlobalLogStream << "\n";
        WriteLayout(core, sizeof(core) / sizeof(core[0]));
    }
    *GlobalLogStream << "\n";
    *GlobalLogStream << "Compiled with " << 6 << " logical texture stage(s), " << 3 << " UV set(s).\n";
    *GlobalLogStream << "\n";
}
