#pragma once

#include "framework/data_structure/zLinkedList.h"

// Indices of the three caches of a resource set.
enum : int {
    ResourceTextures = 0,
    ResourceGeometries = 1,
    ResourceSounds = 2,
    ResourceCacheCount = 3,
};

// Three name-keyed caches side by side: textures, geometries, sounds. Each list
// owns its entries.
class zResourceSet {
public:
    zLinkedListId& GetTextures() { return caches[ResourceTextures]; }
    zLinkedListId& GetGeometries() { return caches[ResourceGeometries]; }
    zLinkedListId& GetSounds() { return caches[ResourceSounds]; }

    // Empties the textures, then the geometries, then the sounds, deleting each
    // entry through its virtual destructor.
    void DeleteAll()
    {
        for (zLinkedListId& cache : caches)
            cache.Clear(true);
    }

    zLinkedListId caches[ResourceCacheCount];
};
