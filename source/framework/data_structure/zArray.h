#pragma once

#include <cstdint>

// Base of the objects a zArray holds; the array deletes them through it.
class zArrayItem {
public:
    virtual ~zArrayItem() = default;
};

// A growable array of owned object pointers. Element i lives in
// slots[index[i]]; free[count] is the slot the next element takes.
class zArray {
public:
    zArray() = default;
    virtual ~zArray();
    zArray(const zArray&) = delete;
    zArray& operator=(const zArray&) = delete;

    // Null, with a warning, for an index at or past the count.
    zArrayItem* operator[](uint32_t i) const;
    // The array owns the item from then on. A full array grows to
    // 2 * capacity + 4 when allowed; otherwise false, the item still the
    // caller's.
    bool Add(zArrayItem* item, bool mayGrow = true);
    // Sets the capacity to n, keeping the items in order. False when n is the
    // capacity already, below the count (with an error line) or cannot be
    // allocated (the array unchanged).
    bool Resize(uint32_t n);
    // With deleteItems the items are deleted; the tables are freed either way.
    void Clear(bool deleteItems = true);

    uint32_t GetCount() const { return count; }
    uint32_t GetCapacity() const { return capacity; }

private:
    zArrayItem** slots = nullptr;
    uint32_t* index = nullptr;
    uint32_t* free = nullptr;
    uint32_t capacity = 0;
    uint32_t count = 0;
};
