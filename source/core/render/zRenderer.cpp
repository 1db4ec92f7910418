#include "core/render/zRenderer.h"

#include "core/camera/zCamera.h"
#include "core/font/zRasterFont.h"
#include "core/geometry/zGeometry.h"
#include "core/geometry/zGeometryOctree.h"
#include "core/object/zObject.h"
#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/math/zMinMax.h"
#include "framework/system/zAssert.h"
#include "framework/system/zLogStream.h"

#include <cmath>
#include <new>

zRenderer::zRenderer(Tavrin* owner, bool makeCurrent) : core(owner)
{
    if (makeCurrent && core != nullptr)
        core->renderer = this;
}

zRenderer::~zRenderer()
{
    FreeItemStack();
    if (core != nullptr) {
        if (core->defaultRenderer == this)
            core->renderer = nullptr;
        else if (core->renderer == this)
            core->renderer = core->defaultRenderer;
    }
}

void zRenderer::ApplyCamera()
{
    // Scripts may apply a view before any camera was set.
    if (camera == nullptr)
        return;
    SetViewMatrix(camera->inverseWorldMatrix);
    zMatrix4 projection;
    camera->GetProjectionMatrix(projection);
    SetProjectionMatrix(projection);
    camera->ComputeFrustum(frustum, -1.0f, -1.0f);
}

bool zRenderer::AllocateItemStack(int32_t count)
{
    FreeItemStack();
    if (count < 0 || count >= MaxItemStackCapacity) {
        LogError("zRenderer::AllocateItemStack") << "Cannot allocate an item stack of " << count << " entries.\n";
        return false;
    }
    if (count == 0)
        return true;
    const size_t records = size_t(count);
    itemArray = new (std::nothrow) zRenderItem[records];
    sortArray = new (std::nothrow) zFloatKeyedPair[records];
    if (itemArray == nullptr || sortArray == nullptr) {
        FreeItemStack();
        LogError("zRenderer::AllocateItemStack") << "Cannot allocate an item stack of " << count << " entries.\n";
        return false;
    }
    itemStackCapacity = count;
    return true;
}

void zRenderer::FreeItemStack()
{
    delete[] itemArray;
    delete[] sortArray;
    itemArray = nullptr;
    sortArray = nullptr;
    itemStackCapacity = 0;
    itemStackCount = 0;
    itemStackOverflow = 0;
}

void zRenderer::PushObject(zObject* object)
{
    ++statistics[StatObjectsSent];
    if (object == nullptr || (object->flags & zItem::Invisible) != 0)
        return;
    const zGeometry* geometry = object->geometry;
    if (geometry == nullptr || (geometry->rendererData == nullptr && geometry->octree == nullptr))
        return;
    if (itemStackCount >= itemStackCapacity) {
        LogError("zRenderer::PushObject") << "Item stack is full! Make more frequent call to CommitDisplay() or "
                                             "increase the display stack size.\n";
        itemStackOverflow = 1;
        return;
    }
    itemArray[itemStackCount] = {object, 1};
    // Depth of the geometry's centre in view space; without a camera every key is 0.
    float key = 0.0f;
    if (camera != nullptr)
        key = geometry->centre.Transform(object->worldMatrix).Transform(camera->inverseWorldMatrix).z;
    sortArray[itemStackCount] = {key, itemStackCount};
    ++itemStackCount;
}

void zRenderer::CullItemStack(bool useShadowProxy)
{
    cullingTimer.Start();
    TAVRIN_ASSERT(itemStackCount <= itemStackCapacity);
    for (int32_t i = 0; i < itemStackCount; ++i) {
        zRenderItem& entry = itemArray[i];
        zObject* object = entry.item;
        if (object->geometry == nullptr)
            continue;
        zGeometry* considered = object->geometry;
        if (useShadowProxy && considered->shadowProxy != nullptr)
            considered = considered->shadowProxy;
        zMinMax bounds;
        object->GetMinMax(bounds);
        entry.visibility = frustum.ClassifyMinMax(bounds, &object->worldMatrix);
        if (entry.visibility != FrustumOutside && considered->octree != nullptr)
            considered->octree->MarkVisible(frustum, &object->worldMatrix);
    }
    cullingTimer.Stop();
}

void zRenderer::SortItemStack()
{
    TAVRIN_ASSERT(itemStackCount <= itemStackCapacity);
    if (itemStackCount > 1)
        SortFloatKeyedPairs(sortArray, 0, itemStackCount - 1);
}

void zRenderer::GetViewportSize(float& width, float& height) const
{
    if (renderTarget != nullptr) {
        width = float(renderTarget->picture.width);
        height = float(renderTarget->picture.height);
    } else {
        width = outputWidth;
        height = outputHeight;
    }
}

void zRenderer::SetFog(bool on, const float* colour, float nearDistance, float farDistance)
{
    fogOn = on ? 1 : 0;
    if (colour != nullptr) {
        fogColour[0] = colour[0];
        fogColour[1] = colour[1];
        fogColour[2] = colour[2];
    }
    // A distance that is not a finite number gives no fog range: the fog
    // goes off and the distances stay as they were.
    if (!std::isfinite(nearDistance) || !std::isfinite(farDistance)) {
        fogOn = 0;
        return;
    }
    if (nearDistance >= 0.001f)
        fogNear = nearDistance;
    const float minimumFar = fogNear + 0.001f;
    fogFar = farDistance < minimumFar ? minimumFar : farDistance;
}

uint32_t ComputeTextureSize(uint32_t size, bool forcePowerOfTwo)
{
    if (forcePowerOfTwo) {
        // Past 2^31 the next power of two does not fit; the largest one stands in.
        if (size > (uint32_t(1) << 31))
            return uint32_t(1) << 31;
        uint32_t c = 1;
        while (c < size)
            c <<= 1;
        return c;
    }
    uint32_t c = 1;
    if (size > 1) {
        // Stops at the clamp, so the doubling never overflows.
        do {
            c <<= 1;
        } while (c < MaxTextureSize && 1.5 * double(c) < double(size));
    }
    return c < MaxTextureSize ? c : MaxTextureSize;
}

zRasterFont* zRenderer::LoadRasterFont(const char* path, const char* base)
{
    zModuleTagScope module(1);
    auto* font = new (std::nothrow) zRasterFont(core);
    if (font == nullptr) {
        LogError("zRenderer::LoadRasterFont") << "Failed to allocate a new raster font object.\n";
        return nullptr;
    }
    if (!font->Load(path, base)) {
        delete font;
        return nullptr;
    }
    return font;
}
