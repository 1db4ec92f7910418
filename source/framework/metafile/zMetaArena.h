#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// Block memory for the tags of one loaded document and their values, so that
// reading does not allocate per tag. Each tag placed in the arena holds a
// reference to it; the memory goes back when the last such tag (and the
// reader's own reference) is released, wherever the tags were moved meanwhile.
// Released chunks are kept for the next document up to a bound, as the heap
// would keep them, instead of being returned to the system and faulted in
// again on the next load.
class zMetaArena {
public:
    static constexpr size_t ChunkSize = 64 * 1024;
    static constexpr size_t MaxCachedBytes = 256 * 1024 * 1024;

    // A new arena holding one reference for the caller, or null.
    static zMetaArena* Create();
    // Frees the chunks kept for later documents.
    static void ReleaseCachedChunks();
    static size_t GetCachedBytes();

    void Retain() { users.fetch_add(1, std::memory_order_relaxed); }
    void Release();

    // size bytes aligned for any object; null when out of memory.
    void* Allocate(size_t size);
    // A NUL-terminated copy of [begin, end), or null.
    char* CopyText(const char* begin, const char* end);

    zMetaArena(const zMetaArena&) = delete;
    zMetaArena& operator=(const zMetaArena&) = delete;

private:
    struct Chunk {
        Chunk* next;
        size_t size;
    };

    zMetaArena() = default;
    ~zMetaArena();
    void* NewChunk(size_t size);

    Chunk* chunks = nullptr;
    char* cursor = nullptr;
    char* limit = nullptr;
    std::atomic<int32_t> users{1};
};
