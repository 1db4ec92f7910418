#include "framework/data_structure/zArray.h"
#include "framework/system/zAssert.h"

#include "framework/system/zLogStream.h"

#include <new>

namespace {

// Tables of 2^30 entries or more cannot be addressed by the 32-bit slot numbers' users.
constexpr uint32_t MaxEntries = 1u << 30;

template <class T>
T* AllocateTable(uint32_t n)
{
    if (n >= MaxEntries)
        return nullptr;
    return new (std::nothrow) T[n];
}

} // namespace

zArray::~zArray()
{
    Clear(true);
}

zArrayItem* zArray::operator[](uint32_t i) const
{
    if (i >= count) {
        LogWarning("zArray::operator []") << "Out of bound array access.\n";
        return nullptr;
    }
    TAVRIN_ASSERT(index[i] < capacity);
    return slots[index[i]];
}

bool zArray::Add(zArrayItem* item, bool mayGrow)
{
    if (count == capacity) {
        if (!mayGrow || !Resize(2 * capacity + 4))
            return false;
    }
    index[count] = free[count];
    slots[index[count]] = item;
    ++count;
    return true;
}

bool zArray::Resize(uint32_t n)
{
    if (n == capacity)
        return false;
    if (n < count) {
        LogError("zArray::Resize") << "Cannot shrink array, too many entries.\n";
        return false;
    }
    zArrayItem** newSlots = AllocateTable<zArrayItem*>(n);
    uint32_t* newIndex = AllocateTable<uint32_t>(n);
    uint32_t* newFree = AllocateTable<uint32_t>(n);
    if ((newSlots == nullptr || newIndex == nullptr || newFree == nullptr) && n != 0) {
        delete[] newSlots;
        delete[] newIndex;
        delete[] newFree;
        LogError("zArray::Resize") << "Failed to resize array, new() failed.\n";
        return false;
    }
    for (uint32_t i = 0; i < count; ++i)
        newSlots[i] = slots[index[i]];
    for (uint32_t i = count; i < n; ++i)
        newSlots[i] = nullptr;
    delete[] slots;
    delete[] index;
    delete[] free;
    slots = newSlots;
    index = newIndex;
    free = newFree;
    for (uint32_t i = 0; i < n; ++i) {
        index[i] = i;
        free[i] = i;
    }
    capacity = n;
    return true;
}

void zArray::Clear(bool deleteItems)
{
    if (deleteItems) {
        for (uint32_t i = 0; i < count; ++i) {
            zArrayItem*& slot = slots[index[i]];
            zArrayItem* item = slot;
            slot = nullptr;
            delete item;
        }
    }
    delete[] slots;
    delete[] index;
    delete[] free;
    slots = nullptr;
    index = nullptr;
    free = nullptr;
    count = 0;
    capacity = 0;
}
