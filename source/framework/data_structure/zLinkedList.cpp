#include "framework/data_structure/zLinkedList.h"

#include "framework/system/zAssert.h"
#include "framework/system/zLogStream.h"

zLinkedList::~zLinkedList()
{
    Clear(true);
}

zLinkedListEntry* zLinkedList::Add(zLinkedListEntry* entry, bool atTail, bool skipCheck)
{
    if (entry == nullptr)
        return nullptr;
    if (!skipCheck && Contains(entry))
        return entry;
    if (atTail) {
        entry->prev = last;
        entry->next = nullptr;
        if (last != nullptr)
            last->next = entry;
        else
            first = entry;
        last = entry;
    } else {
        entry->prev = nullptr;
        entry->next = first;
        if (first != nullptr)
            first->prev = entry;
        else
            last = entry;
        first = entry;
    }
    ++count;
    return entry;
}

zLinkedListEntry* zLinkedList::Append(zLinkedListEntry* entry)
{
    return Add(entry, true, true);
}

zLinkedListEntry* zLinkedList::InsertBefore(zLinkedListEntry* entry, zLinkedListEntry* position, bool skipCheck)
{
    if (entry == nullptr || position == nullptr)
        return nullptr;
    if (!skipCheck && Contains(entry))
        return nullptr;
    // A position outside this list would splice two lists into one.
    TAVRIN_ASSERT(entry != position && Contains(position));
    entry->next = position;
    entry->prev = position->prev;
    if (position->prev != nullptr)
        position->prev->next = entry;
    else
        first = entry;
    position->prev = entry;
    ++count;
    return entry;
}

zLinkedListEntry* zLinkedList::InsertAfter(zLinkedListEntry* entry, zLinkedListEntry* position, bool skipCheck)
{
    if (entry == nullptr || position == nullptr)
        return nullptr;
    if (!skipCheck && Contains(entry))
        return nullptr;
    TAVRIN_ASSERT(entry != position && Contains(position));
    entry->prev = position;
    entry->next = position->next;
    if (position->next != nullptr)
        position->next->prev = entry;
    else
        last = entry;
    position->next = entry;
    ++count;
    return entry;
}

bool zLinkedList::Unlink(zLinkedListEntry* entry)
{
    if (entry == nullptr || !Contains(entry))
        return false;
    TAVRIN_ASSERT(count > 0 && (entry->next == nullptr ? last == entry : entry->next->prev == entry));
    if (entry->prev != nullptr)
        entry->prev->next = entry->next;
    else
        first = entry->next;
    if (entry->next != nullptr)
        entry->next->prev = entry->prev;
    else
        last = entry->prev;
    entry->prev = nullptr;
    entry->next = nullptr;
    --count;
    return true;
}

bool zLinkedList::Remove(zLinkedListEntry* entry, bool deleteEntry)
{
    const bool unlinked = Unlink(entry);
    if (unlinked && deleteEntry && !notOwned)
        delete entry;
    return unlinked;
}

void zLinkedList::Clear(bool deleteEntries)
{
    if (deleteEntries && !notOwned) {
        while (first != nullptr) {
            zLinkedListEntry* entry = first;
            first = entry->next;
            entry->prev = nullptr;
            entry->next = nullptr;
            --count;
            delete entry;
        }
    }
    first = nullptr;
    last = nullptr;
    count = 0;
}

bool zLinkedList::Contains(const zLinkedListEntry* entry) const
{
    for (const zLinkedListEntry* e = first; e != nullptr; e = e->next) {
        if (e == entry)
            return true;
    }
    return false;
}

zLinkedListEntry* zLinkedList::Get(int32_t index) const
{
    zLinkedListEntry* entry = index >= 0 ? first : nullptr;
    for (; entry != nullptr && index > 0; --index)
        entry = entry->next;
    if (entry == nullptr)
        LogError("zLinkedList::Get") << "out of bound linked list access.\n";
    return entry;
}

zLinkedListEntry* zLinkedList::Next(zLinkedListCursor& cursor) const
{
    zLinkedListEntry* step = cursor.current == nullptr ? first : cursor.next;
    cursor.current = step;
    if (step != nullptr)
        cursor.next = step->next;
    return step;
}

zLinkedListIdEntry* zLinkedListId::Find(const zString& id, bool logIfMissing) const
{
    for (zLinkedListEntry* e = first; e != nullptr; e = e->next) {
        auto* named = static_cast<zLinkedListIdEntry*>(e);
        if (named->id.EqualsString(id))
            return named;
    }
    if (logIfMissing)
        LogWarning("zLinkedListId::Find") << "LListID failed to find '" << id << "'.\n";
    return nullptr;
}

zLinkedListIdEntry* zLinkedListId::FindByName(const char* id, bool logIfMissing) const
{
    return Find(zString(id), logIfMissing);
}
