#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "framework/tools/zString.h"

class Tavrin;

// Common base of textures, geometries and sounds. The entry's id is the cache
// key, so the core's caches hold resources directly.
class zResource : public zLinkedListIdEntry {
public:
    explicit zResource(Tavrin* owner, const char* name = nullptr) : zLinkedListIdEntry(name), core(owner) {}

    // Unlinks the resource from the cache if it is there; one that no list
    // holds (as while a cache is cleared) costs no walk.
    void UnlinkFromCache(zLinkedList& cache)
    {
        if (prev != nullptr || next != nullptr || cache.GetFirst() == this)
            cache.Unlink(this);
    }

    Tavrin* core;
    // The located file the content was last loaded from; empty until then.
    zString path;
};
