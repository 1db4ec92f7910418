#pragma once

#include "framework/data_structure/zLinkedList.h"

#include <cstdint>

class zAIPath;
class zMetaFile;
class zMetaTag;
class zRenderer;

// The AI paths of a scene, owned, found by the names of their motions.
class zAIWorld {
public:
    zAIWorld() = default;
    ~zAIWorld();
    zAIWorld(const zAIWorld&) = delete;
    zAIWorld& operator=(const zAIWorld&) = delete;

    void Clear();
    // Takes ownership and appends at the tail.
    void Add(zAIPath* path);
    // Nothing to do per frame yet.
    void Update() {}
    // Cross at every node that has a successor and a line to it.
    void Draw(zRenderer* renderer) const;
    // First path of that name (case-sensitive), or null, logged.
    zAIPath* GetPath(const char* name) const;
    int32_t GetPathCount() const { return paths.GetCount(); }
    zAIPath* GetPathAt(int32_t index) const;

    // Appends a path for each "Motion" of the file's "Scene:Paths" (or else
    // "Scene:Motions"); false when the file cannot be read or has neither.
    bool LoadPathFromScene(const char* fileName);

    // The "Paths" tag: each "Motion" child becomes a built path. Always true.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    // A new "Paths" tag (the caller owns it), or null.
    zMetaTag* AsMetaTag() const;

private:
    zLinkedList paths;
};
