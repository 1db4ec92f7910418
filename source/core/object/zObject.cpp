#include "core/object/zObject.h"

#include "core/geometry/zGeometry.h"
#include "core/render/zRenderer.h"
#include "core/zad/Tavrin.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <cmath>
#include <new>

zObject::zObject(Tavrin* owner) : zItem(owner)
{
}

zObject::~zObject()
{
    FreeSkin();
}

void zObject::GetMinMax(zMinMax& out)
{
    if (geometry == nullptr) {
        zItem::GetMinMax(out);
        return;
    }
    if (boneCount == 0) {
        out = geometry->bounds;
        return;
    }
    for (uint32_t i = 0; i < boneCount; ++i) {
        zOBB box;
        GetBoneOBB(i, box);
        const zMinMax b = box.GetMinMax();
        if (i == 0) {
            out = b;
            continue;
        }
        out.min.x = std::fmin(out.min.x, b.min.x);
        out.min.y = std::fmin(out.min.y, b.min.y);
        out.min.z = std::fmin(out.min.z, b.min.z);
        out.max.x = std::fmax(out.max.x, b.max.x);
        out.max.y = std::fmax(out.max.y, b.max.y);
        out.max.z = std::fmax(out.max.z, b.max.z);
    }
}

bool zObject::BindSkin()
{
    zModuleTagScope module(1);
    FreeSkin();
    if (geometry == nullptr || geometry->boneCount < 1)
        return true;

    const uint32_t n = uint32_t(geometry->boneCount);
    bones = new (std::nothrow) zItem*[n]();
    skinMatrices = new (std::nothrow) zMatrix4[n];
    bindMatrices = new (std::nothrow) zMatrix4[n];
    boneBoxes = new (std::nothrow) zMinMax[n];
    if (bones != nullptr && skinMatrices != nullptr && bindMatrices != nullptr && boneBoxes != nullptr) {
        boneCount = n;
        if (BuildBoneBoundingVolumes())
            return true;
    }
    FreeSkin();
    LogError("zObject::BindSkin") << "Failed to allocate skinning structure.\n";
    return false;
}

void zObject::FreeSkin()
{
    delete[] bones;
    delete[] bindMatrices;
    delete[] skinMatrices;
    delete[] boneBoxes;
    bones = nullptr;
    bindMatrices = nullptr;
    skinMatrices = nullptr;
    boneBoxes = nullptr;
    boneCount = 0;
}

bool zObject::SetBone(uint32_t index, zItem* item, const zMatrix4* bind)
{
    if (index >= boneCount)
        return false;
    bones[index] = item;
    if (bind != nullptr) {
        bindMatrices[index] = *bind;
    } else if (item != nullptr) {
        item->UpdateWorldMatrix();
        bindMatrices[index] = item->inverseWorldMatrix;
    } else {
        bindMatrices[index].MakeIdentity();
    }
    return true;
}

void zObject::SetGeometry(zGeometry* g, bool bind)
{
    if (g == geometry)
        return;
    FreeSkin();
    geometry = g;
    if (bind)
        BindSkin();
}

void zObject::ComputeSkinMatrices()
{
    for (uint32_t i = 0; i < boneCount; ++i) {
        if (bones[i] != nullptr)
            skinMatrices[i] = inverseWorldMatrix * bones[i]->worldMatrix * bindMatrices[i];
        else
            skinMatrices[i].MakeIdentity();
    }
}

void zObject::PushToRenderer()
{
    if (geometry != nullptr && core != nullptr && core->renderer != nullptr)
        core->renderer->PushObject(this);
}

bool zObject::GetBoneOBB(uint32_t index, zOBB& out) const
{
    if (index >= boneCount)
        return false;
    const zMinMax& b = boneBoxes[index];
    out.centre = zVector((b.min.x + b.max.x) * 0.5f, (b.min.y + b.max.y) * 0.5f, (b.min.z + b.max.z) * 0.5f);
    out.size = b.max - b.min;
    out.orientation = zMatrix3();
    out.Transform(skinMatrices[index]);
    return true;
}

bool zObject::BuildBoneBoundingVolumes()
{
    if (boneCount == 0)
        return true;
    uint8_t* seen = new (std::nothrow) uint8_t[boneCount]();
    if (seen == nullptr) {
        LogError("zObject::BuildBoneBoundingVolumes") << "Failed to allocate the bone bounding volume array.\n";
        return false;
    }
    for (uint32_t i = 0; i < boneCount; ++i)
        boneBoxes[i] = zMinMax(zVector(0.0f, 0.0f, 0.0f), zVector(0.0f, 0.0f, 0.0f));

    const bool skinned = geometry != nullptr && geometry->vertices != nullptr && geometry->skinWeights != nullptr;
    const uint32_t vertexCount = skinned ? geometry->vertexCount : 0;
    for (uint32_t v = 0; v < vertexCount; ++v) {
        const zVector& p = geometry->vertices[v];
        const zSkinWeight& skin = geometry->skinWeights[v];
        for (int slot = 0; slot < 4; ++slot) {
            if (!(skin.weights[slot] > 0.0f))
                continue;
            // Indices come from the file: one past the bones names none.
            const uint32_t b = skin.bones[slot];
            if (b >= boneCount)
                continue;
            zMinMax& box = boneBoxes[b];
            if (seen[b] == 0) {
                box.min = zVector(p.x, p.y, p.z);
                box.max = box.min;
                seen[b] = 1;
                continue;
            }
            box.min = zVector(std::fmin(box.min.x, p.x), std::fmin(box.min.y, p.y), std::fmin(box.min.z, p.z));
            box.max = zVector(std::fmax(box.max.x, p.x), std::fmax(box.max.y, p.y), std::fmax(box.max.z, p.z));
        }
    }
    delete[] seen;
    return true;
}

bool zObject::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr) {
        LogError("zObject::FromMetaTag") << "Could not parse object. No tag given.\n";
        return false;
    }
    if (!tag->GetName().EqualsCString("Object")) {
        LogError("zObject::FromMetaTag") << "Could not parse object. Root tag id is incorrect (" << tag->GetName()
                                         << ").\n";
        return false;
    }

    cacheGeometry = 1;
    if (zMetaTag* child = tag->FindChild("CacheGeometry")) {
        const zMetaTag* value = document != nullptr ? zMetaTag::ResolveShortcut(child, document) : child;
        cacheGeometry = value != nullptr && value->GetType() == zMetaTag::TypeInteger && value->GetInteger() != 0;
    }

    for (zMetaTag* child = tag->GetFirstChild(); child != nullptr; child = child->GetNextSibling()) {
        const zString& name = child->GetName();
        const zMetaTag* value = document != nullptr ? zMetaTag::ResolveShortcut(child, document) : child;
        if (value == nullptr)
            continue;
        if (name.EqualsCString("Item")) {
            zItem::FromMetaTag(document, value);
        } else if (name.EqualsCString("Geometry")) {
            if (core != nullptr)
                SetGeometry(core->LoadGeometry(value->GetString(), cacheGeometry != 0, true), true);
        } else if (name.EqualsCString("Occluder")) {
            if (core != nullptr)
                occluder = core->LoadGeometry(value->GetString(), true, true);
        } else if (!name.EqualsCString("CacheGeometry")) {
            LogWarning("zObject::FromMetaTag") << "Unknown tag '" << name << "' in <Object>.\n";
        }
    }
    return true;
}

zMetaTag* zObject::AsMetaTag(const zMetaFile* document) const
{
    zMetaTag* tag = zMetaTag::NewRoot("Object", "zObject::AsMetaTag",
                                      {"Could not serialize object. Failed to create root tag.\n"});
    if (tag == nullptr)
        return nullptr;
    tag->AddChild(zItem::AsMetaTag(document));
    if (cacheGeometry == 0)
        tag->CreateInteger("CacheGeometry", 0);
    if (geometry != nullptr)
        tag->CreateString("Geometry", geometry->id.Get());
    if (occluder != nullptr)
        tag->CreateString("Occluder", occluder->id.Get());
    return tag;
}
