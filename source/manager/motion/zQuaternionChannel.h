#pragma once

#include "framework/math/zQuaternion.h"

#include <cstdint>

class zMetaFile;
class zMetaTag;

// One rotation key: time in seconds and the quaternion (w the scalar part).
struct zQuaternionKey {
    float time = 0.0f;
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;
};

// Rotation keys of a motion, interpolated by slerp. Evaluation keeps a cursor
// on the key it used last, so times moving by small steps cost a few comparisons.
class zQuaternionChannel {
public:
    zQuaternionChannel() = default;
    ~zQuaternionChannel();
    zQuaternionChannel(const zQuaternionChannel&) = delete;
    zQuaternionChannel& operator=(const zQuaternionChannel&) = delete;

    // Frees the keys and allocates n identity keys; false (no keys) when the
    // memory cannot be had.
    bool AllocateKf(uint32_t n);
    void Free();
    // Copies time and quaternion into key index; an index out of range is ignored.
    void SetKey(uint32_t index, const zQuaternionKey& key);
    uint32_t GetKeyCount() const { return count; }
    const zQuaternionKey* GetKeys() const { return keys; }

    // Keys must be sorted by time. True while the time lies before the last
    // key; at or after it q gets the last key and the result is false (the
    // channel is over). Without keys q is untouched and the result is false.
    bool Evaluate(float time, zQuaternion& q);
    // Drops keys that slerp between their neighbours reproduces within the
    // tolerance (4-vector distance), pass after pass; returns how many went.
    int Optimize(float tolerance);

    // The "QChannel" tag. A failed read leaves the channel without keys.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    // A new "QChannel" tag (the caller owns it), or null.
    zMetaTag* AsMetaTag() const;

private:
    int OptimizePass(float tolerance);

    int32_t cursor = -1;
    uint32_t count = 0;
    zQuaternionKey* keys = nullptr;
};
