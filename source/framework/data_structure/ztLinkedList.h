#pragma once

#include "framework/system/zAssert.h"

#include <cstdint>
#include <new>

// A value list: the list allocates the nodes and each holds a copy of the value
// (a zString, or a pointer the list never deletes).
template <class T>
class ztLinkedList {
public:
    struct Node {
        T value;
        Node* prev = nullptr;
        Node* next = nullptr;
    };

    ztLinkedList() = default;
    virtual ~ztLinkedList() { Clear(); }
    ztLinkedList(const ztLinkedList&) = delete;
    ztLinkedList& operator=(const ztLinkedList&) = delete;

    // Null when the node cannot be allocated.
    Node* Add(const T& value, bool atTail = true)
    {
        return atTail ? InsertAfter(value, nullptr) : InsertBefore(value, nullptr);
    }

    // A null node appends at the tail; any other must be in this list. Null
    // when the node cannot be allocated.
    Node* InsertAfter(const T& value, Node* node)
    {
        Node* added = new (std::nothrow) Node{value};
        if (added == nullptr)
            return nullptr;
        TAVRIN_ASSERT(node == nullptr || Holds(node));
        if (node == nullptr)
            node = last;
        added->prev = node;
        added->next = node != nullptr ? node->next : nullptr;
        if (added->next != nullptr)
            added->next->prev = added;
        else
            last = added;
        if (node != nullptr)
            node->next = added;
        else
            first = added;
        ++count;
        return added;
    }

    // A null node prepends at the head.
    Node* InsertBefore(const T& value, Node* node)
    {
        Node* added = new (std::nothrow) Node{value};
        if (added == nullptr)
            return nullptr;
        TAVRIN_ASSERT(node == nullptr || Holds(node));
        if (node == nullptr)
            node = first;
        added->next = node;
        added->prev = node != nullptr ? node->prev : nullptr;
        if (added->prev != nullptr)
            added->prev->next = added;
        else
            first = added;
        if (node != nullptr)
            node->prev = added;
        else
            last = added;
        ++count;
        return added;
    }

    // Unlinks the node (one of this list's) and hands it back; the caller
    // frees it with delete.
    Node* Remove(Node* node)
    {
        if (node == nullptr)
            return nullptr;
        TAVRIN_ASSERT(Holds(node));
        if (node->prev != nullptr)
            node->prev->next = node->next;
        else
            first = node->next;
        if (node->next != nullptr)
            node->next->prev = node->prev;
        else
            last = node->prev;
        node->prev = nullptr;
        node->next = nullptr;
        --count;
        return node;
    }

    // Frees the nodes; objects that values point to are never deleted.
    void Clear()
    {
        while (first != nullptr) {
            Node* node = first;
            first = node->next;
            delete node;
        }
        last = nullptr;
        count = 0;
    }

    int32_t GetCount() const { return count; }
    Node* GetFirst() const { return first; }
    Node* GetLast() const { return last; }

private:
    // A walk, for the checks of debug builds: a node of another list would
    // splice the two lists together.
    bool Holds(const Node* node) const
    {
        for (const Node* n = first; n != nullptr; n = n->next) {
            if (n == node)
                return true;
        }
        return false;
    }

    int32_t count = 0;
    Node* first = nullptr;
    Node* last = nullptr;
};
