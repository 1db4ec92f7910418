#pragma once

#include "framework/data_structure/zLinkedList.h"

#include <cstdint>

class zMetaFile;
class zMetaTag;
class zMotion;

// One motion per bone of a skin, in bone order; the motions are owned and
// entries may be null. The name is the list entry's id.
class zHierarchyMotion : public zLinkedListIdEntry {
public:
    // More bones than any skin has; a larger "Count" in a file is refused
    // rather than allocated.
    static constexpr int32_t MaxCount = 65536;

    zHierarchyMotion() = default;
    ~zHierarchyMotion() override;
    zHierarchyMotion(const zHierarchyMotion&) = delete;
    zHierarchyMotion& operator=(const zHierarchyMotion&) = delete;

    // Deletes the current motions and allocates n null entries; false,
    // logged and empty, when that fails.
    bool Allocate(int32_t n);
    void Free();
    int32_t GetCount() const { return count; }
    // Null for an index out of range or an empty entry.
    zMotion* GetMotion(int32_t index) const { return index >= 0 && index < count ? motions[index] : nullptr; }
    // Takes ownership; the previous entry is deleted. False (motion not
    // taken) for an index out of range.
    bool SetMotion(int32_t index, zMotion* motion);
    // Largest length of its motions.
    float GetLength() const;

    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    // A new tag the caller owns, or null.
    zMetaTag* AsMetaTag() const;

private:
    int32_t count = 0;
    zMotion** motions = nullptr;
};
