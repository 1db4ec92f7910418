#pragma once

#include "framework/tools/zString.h"

#include <cstdint>

// Base of every object that lives in a zLinkedList: the object carries the links.
// Destroying an entry does not unlink it; whoever deletes a linked entry unlinks it first.
class zLinkedListEntry {
public:
    zLinkedListEntry() = default;
    // A copy is a new object: it is not linked anywhere.
    zLinkedListEntry(const zLinkedListEntry&) {}
    zLinkedListEntry& operator=(const zLinkedListEntry&) { return *this; }
    virtual ~zLinkedListEntry() = default;

    zLinkedListEntry* prev = nullptr;
    zLinkedListEntry* next = nullptr;
};

// An entry found by a string id.
class zLinkedListIdEntry : public zLinkedListEntry {
public:
    explicit zLinkedListIdEntry(const char* id = nullptr) : id(id) {}

    zString id;
};

// Iteration state of zLinkedList::Next. The successor is taken before the
// caller works on the current entry, which may therefore be unlinked or deleted.
struct zLinkedListCursor {
    zLinkedListEntry* current = nullptr;
    zLinkedListEntry* next = nullptr;
};

// Intrusive doubly linked list. While it owns its entries (the default),
// Clear and Remove with their delete flag delete them.
class zLinkedList {
public:
    zLinkedList() = default;
    virtual ~zLinkedList();
    zLinkedList(const zLinkedList&) = delete;
    zLinkedList& operator=(const zLinkedList&) = delete;

    // Links the entry at the tail (or head); an owning list now owns it.
    // Returns the entry, or null for null. Unless skipCheck, an entry already
    // in this list is left where it is (a walk of the list); with skipCheck
    // the caller promises it is in no list.
    zLinkedListEntry* Add(zLinkedListEntry* entry, bool atTail = true, bool skipCheck = false);
    // Add at the tail without the check: constant time.
    zLinkedListEntry* Append(zLinkedListEntry* entry);
    // Links the entry next to position, which must be in this list. Null when
    // either is null or (unless skipCheck) the entry is already here.
    zLinkedListEntry* InsertBefore(zLinkedListEntry* entry, zLinkedListEntry* position, bool skipCheck = false);
    zLinkedListEntry* InsertAfter(zLinkedListEntry* entry, zLinkedListEntry* position, bool skipCheck = false);
    // Takes the entry out without deleting it; the caller owns it again.
    // False when it is not in this list (found by a walk).
    bool Unlink(zLinkedListEntry* entry);
    // Unlink, then deletes the entry when asked and the list owns it.
    bool Remove(zLinkedListEntry* entry, bool deleteEntry = true);
    // Empties the list, deleting the entries when asked and owned. Entries
    // kept alive keep stale links: they must not be unlinked from here again.
    void Clear(bool deleteEntries = true);
    // A walk of the list.
    bool Contains(const zLinkedListEntry* entry) const;
    // The entry at the index (a walk); null with an error line when out of range.
    zLinkedListEntry* Get(int32_t index) const;
    // The first entry for a fresh cursor, then each next one, then null.
    zLinkedListEntry* Next(zLinkedListCursor& cursor) const;

    // Typed forms for lists whose entries are all of one class.
    template <class T> T* GetAs(int32_t index) const { return static_cast<T*>(Get(index)); }
    template <class T> T* NextAs(zLinkedListCursor& cursor) const { return static_cast<T*>(Next(cursor)); }

    int32_t GetCount() const { return count; }
    zLinkedListEntry* GetFirst() const { return first; }
    zLinkedListEntry* GetLast() const { return last; }
    bool IsEmpty() const { return first == nullptr; }

    // A list that does not own its entries only unlinks them.
    void SetNotOwned(bool notOwnedEntries) { notOwned = notOwnedEntries; }
    bool IsOwning() const { return !notOwned; }

protected:
    int32_t count = 0;
    zLinkedListEntry* first = nullptr;
    zLinkedListEntry* last = nullptr;
    bool notOwned = false;
};

// A list of zLinkedListIdEntry found by id.
class zLinkedListId : public zLinkedList {
public:
    // The first entry whose id equals the text (case counts), or null (with a
    // warning line when asked). A walk of the list; the list keeps the entry.
    zLinkedListIdEntry* Find(const zString& id, bool logIfMissing = false) const;
    zLinkedListIdEntry* FindByName(const char* id, bool logIfMissing = false) const;

    template <class T> T* FindAs(const zString& id, bool logIfMissing = false) const
    {
        return static_cast<T*>(Find(id, logIfMissing));
    }
};
