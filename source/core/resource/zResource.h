#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "framework/tools/zString.h"

class Tavrin;

// Common base of textures, geometries and sounds. The entry's id is the cache
// key, so the core's caches hold resources directly.
class zResource : public zLinkedListIdEntry {
public:
    explicit zResource(Tavrin* owner, const char* name = nullptr) : zLinkedListIdEntry(name), core(owner) {}

    Tavrin* core;
    // The located file the content was last loaded from; empty until then.
    zString path;
};
