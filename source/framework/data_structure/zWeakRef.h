#pragma once

// References to objects the holder does not own.
//
// The rule: an engine object that keeps a pointer past the call that gave it
// to something it does not own (an item, a camera, a scene, a motion, a body,
// a resource) keeps it as a zWeakRef, unless the target is guaranteed to
// outlive the holder (its owner, a member of its own). The target derives
// zWeakTarget, whose destruction sets every zWeakRef to it to null, whatever
// scene, project, set or list either belongs to; a holder that finds its
// reference null treats the target as gone (an object without its geometry, a
// scene without its camera, a link without a parent).
//
// Threads: references are linked into their target, and setting, copying,
// destroying a reference or its target is not locked: main thread only. Worker
// threads may read references while the main thread waits for them.

class zWeakRefBase;

// Base of every object that zWeakRefs may point to. Not polymorphic: objects
// are never deleted through it.
class zWeakTarget {
public:
    zWeakTarget() = default;
    // A copy is a new object: no reference points to it yet.
    zWeakTarget(const zWeakTarget&) {}
    zWeakTarget& operator=(const zWeakTarget&) { return *this; }

    // Sets every reference to this object to null now. A destructor whose
    // object must not be reached half destroyed calls it first; the base's
    // destructor calls it in any case.
    inline void ReleaseWeakRefs();
    bool HasWeakRefs() const { return weakRefs != nullptr; }

protected:
    ~zWeakTarget() { ReleaseWeakRefs(); }

private:
    friend class zWeakRefBase;
    zWeakRefBase* weakRefs = nullptr;
};

// The untyped part of a reference: its target and its links in the target's
// list of references.
class zWeakRefBase {
protected:
    zWeakRefBase() = default;
    ~zWeakRefBase() { Unlink(); }

    void Link(zWeakTarget* object)
    {
        if (object == target)
            return;
        Unlink();
        target = object;
        if (object == nullptr)
            return;
        next = object->weakRefs;
        if (next != nullptr)
            next->prev = this;
        object->weakRefs = this;
    }
    void Unlink()
    {
        if (target == nullptr)
            return;
        if (prev != nullptr)
            prev->next = next;
        else
            target->weakRefs = next;
        if (next != nullptr)
            next->prev = prev;
        target = nullptr;
        prev = next = nullptr;
    }

    zWeakTarget* target = nullptr;

private:
    friend class zWeakTarget;
    zWeakRefBase* prev = nullptr;
    zWeakRefBase* next = nullptr;
};

inline void zWeakTarget::ReleaseWeakRefs()
{
    while (weakRefs != nullptr)
        weakRefs->Unlink();
}

// A pointer to T that reads null once its target is destroyed. T derives
// zWeakTarget (publicly, once). Copies point to the same target; a moved-from
// reference is null.
template <class T> class zWeakRef : private zWeakRefBase {
public:
    zWeakRef() = default;
    zWeakRef(T* object) { Link(object); }
    zWeakRef(const zWeakRef& other) : zWeakRefBase() { Link(other.target); }
    zWeakRef(zWeakRef&& other) noexcept : zWeakRefBase()
    {
        Link(other.target);
        other.Unlink();
    }
    zWeakRef& operator=(const zWeakRef& other)
    {
        Link(other.target);
        return *this;
    }
    zWeakRef& operator=(zWeakRef&& other) noexcept
    {
        if (this != &other) {
            Link(other.target);
            other.Unlink();
        }
        return *this;
    }
    zWeakRef& operator=(T* object)
    {
        Link(object);
        return *this;
    }
    ~zWeakRef() = default;

    T* Get() const { return static_cast<T*>(target); }
    operator T*() const { return Get(); }
    T* operator->() const { return Get(); }
    void Reset() { Unlink(); }
};
