#include "core/geometry/zGeometry.h"

#include "core/material/zMaterial.h"
#include "framework/math/zIntervals.h"
#include "framework/system/zLogStream.h"

#include <memory>
#include <new>

uint16_t zGeometry::GetMaterialIndex(const char* name) const
{
    const int32_t hash = HashString(name != nullptr ? name : "");
    for (uint32_t i = 0; i < materialCount && i < NoMaterial; ++i) {
        const zMaterial* material = materials[i];
        if (material != nullptr && material->name.GetHash() == hash && material->name.EqualsCString(name))
            return uint16_t(i);
    }
    LogWarning("zGeometry::GetMaterialIndex") << "Could not find material '" << name << "' in geometry '" << id
                                              << "'.\n";
    return NoMaterial;
}

zMaterial* zGeometry::GetMaterialFromIndex(uint32_t index) const
{
    if (index >= materialCount) {
        LogWarning("zGeometry::GetMaterialFromIndex") << "'" << id << "' GetMaterial(), out of bound index (" << index
                                                      << ").\n";
        return nullptr;
    }
    return materials[index];
}

zMaterial* zGeometry::GetMaterialByName(const char* name) const
{
    return GetMaterialFromIndex(GetMaterialIndex(name));
}

bool zGeometry::AllocateMaterials(uint32_t count, bool create)
{
    // Materials shared with another geometry (octree leaves share their
    // parent's) are that geometry's to delete: only the array goes.
    FreeMaterialArray();
    if (count == 0) {
        LogWarning("zGeometry::AllocateMaterials") << "No materials allocated for geometry '" << id << "'.\n";
        return true;
    }
    zMaterial** array = new (std::nothrow) zMaterial*[count]();
    if (array == nullptr) {
        LogError("zGeometry::AllocateMaterials") << "Could not allocate material array for geometry '" << id << "'.\n";
        return false;
    }
    if (create) {
        for (uint32_t i = 0; i < count; ++i) {
            array[i] = new (std::nothrow) zMaterial(core);
            if (array[i] == nullptr) {
                for (uint32_t j = 0; j < i; ++j)
                    delete array[j];
                delete[] array;
                LogError("zGeometry::AllocateMaterials")
                    << "could not allocate material object for geometry '" << id << "'.\n";
                return false;
            }
        }
    }
    materials = array;
    materialCount = count;
    return true;
}

int32_t zGeometry::MergeDuplicateMaterials()
{
    if (materialCount < 2)
        return 0;
    *GlobalLogStream << "-- Merging materials in geometry '" << id << "'...\n";
    const uint32_t count = materialCount;
    std::unique_ptr<zIntKeyedPair[]> pairs(new (std::nothrow) zIntKeyedPair[count]);
    std::unique_ptr<zIntKeyedPair[]> sorted(new (std::nothrow) zIntKeyedPair[count]);
    std::unique_ptr<uint32_t[]> position(new (std::nothrow) uint32_t[count]);
    std::unique_ptr<uint32_t[]> group(new (std::nothrow) uint32_t[count]);
    std::unique_ptr<uint32_t[]> newIndex(new (std::nothrow) uint32_t[count]);
    if (pairs == nullptr || sorted == nullptr || position == nullptr || group == nullptr || newIndex == nullptr) {
        LogError("zGeometry::MergeDuplicateMaterials") << "failed to allocate material sorting array.\n";
        return 0;
    }
    // The pair's pointer carries the material's index so that the map from
    // old to new indices can be written after the sort.
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t signature = materials[i] != nullptr ? materials[i]->ComputeChecksum() : 0;
        pairs[i] = {signature, reinterpret_cast<void*>(uintptr_t(i))};
    }
    SortIntKeyedPairs(int(count), pairs.get(), sorted.get());
    for (uint32_t s = 0; s < count; ++s)
        position[s] = uint32_t(reinterpret_cast<uintptr_t>(sorted[s].pointer));

    // Within a run of equal signatures a material joins the first earlier one
    // of equal content; a signature collision alone merges nothing.
    uint32_t groups = 0;
    for (uint32_t s = 0; s < count; ++s) {
        const uint32_t index = position[s];
        group[s] = s;
        for (uint32_t t = s; t-- > 0 && sorted[t].key == sorted[s].key;) {
            const zMaterial* earlier = materials[position[t]];
            const zMaterial* material = materials[index];
            const bool same = earlier == material
                || (earlier != nullptr && material != nullptr && earlier->IsEquivalent(*material));
            if (same && group[t] == t) {
                group[s] = t;
                break;
            }
        }
        if (group[s] == s)
            newIndex[index] = groups++;
    }
    for (uint32_t s = 0; s < count; ++s)
        newIndex[position[s]] = newIndex[position[group[s]]];

    const int32_t merged = int32_t(count - groups);
    if (groups < count) {
        // The new table is made first so that a failure deletes nothing.
        zMaterial** kept = new (std::nothrow) zMaterial*[groups];
        if (kept == nullptr) {
            LogError("zGeometry::MergeDuplicateMaterials") << "failed to allocate new material table.\n";
            return 0;
        }
        for (uint32_t s = 0; s < count; ++s) {
            zMaterial* material = materials[position[s]];
            if (group[s] == s)
                kept[newIndex[position[s]]] = material;
            else if ((flags & FlagSharedMaterials) == 0 && material != materials[position[group[s]]])
                delete material;
        }
        for (uint32_t p = 0; p < polygonCount; ++p) {
            if (polygons[p].material < count)
                polygons[p].material = uint16_t(newIndex[polygons[p].material]);
        }
        delete[] materials;
        materials = kept;
        materialCount = groups;
    }
    *GlobalLogStream << "-- Done, merged " << merged << " material(s).\n";
    return merged;
}
