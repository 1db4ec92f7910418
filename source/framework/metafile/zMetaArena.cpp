#include "framework/metafile/zMetaArena.h"

#include "framework/metafile/zMetaTag.h"
#include "framework/system/zMutex.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr size_t Alignment = alignof(std::max_align_t);

size_t AlignUp(size_t value)
{
    return (value + Alignment - 1) & ~(Alignment - 1);
}

// Regular chunks released by arenas, ready for the next one. Built on first
// use and never destroyed, so arenas released during exit still find it.
struct ChunkCache {
    zMutex mutex;
    void* first = nullptr;
    size_t bytes = 0;
};

ChunkCache& Cache()
{
    static ChunkCache* cache = new ChunkCache;
    return *cache;
}

// The first word of a cached chunk links to the next one.
void*& NextCached(void* chunk)
{
    return *static_cast<void**>(chunk);
}

} // namespace

zMetaArena* zMetaArena::Create()
{
    return new (std::nothrow) zMetaArena();
}

void zMetaArena::ReleaseCachedChunks()
{
    ChunkCache& cache = Cache();
    void* list = nullptr;
    {
        zMutexLock lock(cache.mutex);
        list = cache.first;
        cache.first = nullptr;
        cache.bytes = 0;
    }
    while (list != nullptr) {
        void* next = NextCached(list);
        std::free(list);
        list = next;
    }
}

size_t zMetaArena::GetCachedBytes()
{
    ChunkCache& cache = Cache();
    zMutexLock lock(cache.mutex);
    return cache.bytes;
}

zMetaArena::~zMetaArena()
{
    ChunkCache& cache = Cache();
    while (chunks != nullptr) {
        Chunk* next = chunks->next;
        bool kept = false;
        if (chunks->size == ChunkSize) {
            zMutexLock lock(cache.mutex);
            if (cache.bytes < MaxCachedBytes) {
                NextCached(chunks) = cache.first;
                cache.first = chunks;
                cache.bytes += ChunkSize;
                kept = true;
            }
        }
        if (!kept)
            std::free(chunks);
        chunks = next;
    }
}

void zMetaArena::Release()
{
    if (users.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete this;
}

void* zMetaArena::NewChunk(size_t size)
{
    const size_t header = AlignUp(sizeof(Chunk));
    void* memory = nullptr;
    if (size == ChunkSize) {
        ChunkCache& cache = Cache();
        zMutexLock lock(cache.mutex);
        if (cache.first != nullptr) {
            memory = cache.first;
            cache.first = NextCached(memory);
            cache.bytes -= ChunkSize;
        }
    }
    if (memory == nullptr)
        memory = std::malloc(header + size);
    if (memory == nullptr)
        return nullptr;
    auto* chunk = static_cast<Chunk*>(memory);
    chunk->next = chunks;
    chunk->size = size;
    chunks = chunk;
    return static_cast<char*>(memory) + header;
}

void* zMetaArena::Allocate(size_t size)
{
    size = AlignUp(size > 0 ? size : 1);
    if (size_t(limit - cursor) >= size) {
        void* block = cursor;
        cursor += size;
        return block;
    }
    // Big blocks get a chunk of their own; the current chunk keeps its room.
    if (size > ChunkSize / 4)
        return NewChunk(size);
    auto* start = static_cast<char*>(NewChunk(ChunkSize));
    if (start == nullptr)
        return nullptr;
    cursor = start + size;
    limit = start + ChunkSize;
    return start;
}

char* zMetaArena::CopyText(const char* begin, const char* end)
{
    const size_t length = size_t(end - begin);
    auto* text = static_cast<char*>(Allocate(length + 1));
    if (text != nullptr) {
        std::memcpy(text, begin, length);
        text[length] = '\0';
    }
    return text;
}

// The allocation functions of zMetaTag live here, apart from the code that
// news and deletes tags, so that the compiler does not pair them up inlined.
namespace {

// Every tag allocation starts with the arena it came from (null: the heap).
struct alignas(std::max_align_t) AllocationHeader {
    zMetaArena* arena;
};

void* WithHeader(void* memory, zMetaArena* arena)
{
    if (memory == nullptr)
        return nullptr;
    auto* header = static_cast<AllocationHeader*>(memory);
    header->arena = arena;
    return header + 1;
}

} // namespace

void* zMetaTag::operator new(size_t size)
{
    return WithHeader(::operator new(sizeof(AllocationHeader) + size), nullptr);
}

void* zMetaTag::operator new(size_t size, const std::nothrow_t&) noexcept
{
    return WithHeader(::operator new(sizeof(AllocationHeader) + size, std::nothrow), nullptr);
}

void* zMetaTag::operator new(size_t size, zMetaArena* arena) noexcept
{
    if (arena == nullptr)
        return operator new(size, std::nothrow);
    void* memory = WithHeader(arena->Allocate(sizeof(AllocationHeader) + size), arena);
    if (memory != nullptr)
        arena->Retain();
    return memory;
}

void zMetaTag::operator delete(void* memory) noexcept
{
    if (memory == nullptr)
        return;
    auto* header = static_cast<AllocationHeader*>(memory) - 1;
    if (header->arena != nullptr)
        header->arena->Release();
    else
        ::operator delete(header);
}

void zMetaTag::operator delete(void* memory, const std::nothrow_t&) noexcept
{
    operator delete(memory);
}

void zMetaTag::operator delete(void* memory, zMetaArena*) noexcept
{
    operator delete(memory);
}

