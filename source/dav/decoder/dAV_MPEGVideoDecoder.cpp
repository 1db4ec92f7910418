#include "dav/decoder/dAV_MPEGVideoDecoder.h"

#include "dav/core/dAV_Stream.h"
#include "framework/system/zLogStream.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
extern "C" {
#include <mpeg2dec/mpeg2.h>
}

namespace {

// libmpeg2 allocates its state and its frame buffers uninitialised, and a
// corrupt stream can make it read fields no header set (a slice before any
// picture header), leave parts of a picture undecoded, or predict from a
// reference picture that never came; the frame is still shown. Every block
// it asks for is handed out cleared, so that such a frame shows stale or zero
// pixels, never memory nobody wrote. The hooks are process-wide and may run
// on any decoding thread.
//
// libmpeg2 is not built with the sanitizers, so nothing sees it write outside
// a block. With guards on, every block gets a zone of known bytes on each
// side, checked when libmpeg2 frees it.
constexpr size_t GuardBytes = 16384; // more than two rows of the widest frame
constexpr uint8_t GuardByte = 0xA5;

struct LibraryBlock {
    size_t size = 0;  // as libmpeg2 asked
    size_t guard = 0; // bytes of guard zone on each side; 0 without
    mpeg2_alloc_t reason = MPEG2_ALLOC_MPEG2DEC;
};

std::mutex LibraryBlockLock;
// Never destroyed: libmpeg2 may free blocks while the program exits.
std::unordered_map<void*, LibraryBlock>& LibraryBlocks = *new std::unordered_map<void*, LibraryBlock>;
std::atomic<bool> GuardNewBlocks{false};

const char* ReasonName(mpeg2_alloc_t reason)
{
    switch (reason) {
    case MPEG2_ALLOC_MPEG2DEC:
        return "decoder state";
    case MPEG2_ALLOC_CHUNK:
        return "chunk buffer";
    case MPEG2_ALLOC_YUV:
        return "frame plane";
    default:
        return "conversion";
    }
}

// An intact zone, to compare zones with: one comparison per zone keeps the
// check cheap on every free.
const uint8_t* GuardPattern()
{
    static const auto* pattern = [] {
        auto* bytes = new uint8_t[GuardBytes + 64];
        std::memset(bytes, GuardByte, GuardBytes + 64);
        return bytes;
    }();
    return pattern;
}

// Ends the program when libmpeg2 wrote into a guard zone: the heap around the
// block can no longer be trusted, and the input that did it is still known.
void CheckGuards(const uint8_t* block, const LibraryBlock& record)
{
    // The slack that rounds the block to 64 bytes counts as guard.
    const size_t tail = (record.size + 63) / 64 * 64 - record.size + record.guard;
    if (std::memcmp(block - record.guard, GuardPattern(), record.guard) == 0 &&
        std::memcmp(block + record.size, GuardPattern(), tail) == 0)
        return;
    // Offsets from the block's start of the first and last changed bytes.
    int64_t first = INT64_MAX;
    int64_t last = INT64_MIN;
    auto scan = [&](int64_t begin, int64_t end) {
        for (int64_t offset = begin; offset < end; ++offset) {
            if (block[offset] != GuardByte) {
                first = std::min(first, offset);
                last = offset;
            }
        }
    };
    scan(-int64_t(record.guard), 0);
    scan(int64_t(record.size), int64_t(record.size + tail));
    std::fprintf(stderr, "libmpeg2 wrote outside its %zu-byte %s block at %p: bytes %lld to %lld changed.\n",
        record.size, ReasonName(record.reason), static_cast<const void*>(block), static_cast<long long>(first),
        static_cast<long long>(last));
    std::abort();
}

void* AllocateCleared(unsigned size, mpeg2_alloc_t reason)
{
    if (size == 0)
        return nullptr;
    // libmpeg2's own blocks are 64-byte aligned; its SIMD code may rely on it.
    const size_t rounded = (size_t(size) + 63) & ~size_t(63);
    const size_t guard = GuardNewBlocks.load(std::memory_order_relaxed) ? GuardBytes : 0;
    auto* base = static_cast<uint8_t*>(std::aligned_alloc(64, rounded + 2 * guard));
    if (base == nullptr)
        return nullptr;
    uint8_t* const block = base + guard;
    if (guard == 0) {
        std::memset(block, 0, rounded);
    } else {
        std::memset(base, GuardByte, guard);
        std::memset(block, 0, size);
        std::memset(block + size, GuardByte, rounded - size + guard);
    }
    std::lock_guard<std::mutex> lock(LibraryBlockLock);
    LibraryBlocks[block] = LibraryBlock{size, guard, reason};
    return block;
}

// 1 when the block was one of ours, 0 to let libmpeg2 free its own.
int FreeCleared(void* block)
{
    LibraryBlock record;
    {
        std::lock_guard<std::mutex> lock(LibraryBlockLock);
        const auto found = LibraryBlocks.find(block);
        if (found == LibraryBlocks.end())
            return 0;
        record = found->second;
        LibraryBlocks.erase(found);
    }
    auto* bytes = static_cast<uint8_t*>(block);
    if (record.guard != 0)
        CheckGuards(bytes, record);
    std::free(bytes - record.guard);
    return 1;
}

// In place before main, so before any decoder exists.
#ifdef DAV_GUARDED_ALLOCATION
const bool AllocationInstalled = (dAV_MPEGVideoDecoder::InstallGuardedAllocation(), true);
#else
const bool AllocationInstalled = (dAV_MPEGVideoDecoder::InstallClearedAllocation(), true);
#endif

} // namespace

void dAV_MPEGVideoDecoder::InstallClearedAllocation()
{
    GuardNewBlocks = false;
    mpeg2_malloc_hooks(AllocateCleared, FreeCleared);
}

void dAV_MPEGVideoDecoder::InstallGuardedAllocation()
{
    GuardNewBlocks = true;
    mpeg2_malloc_hooks(AllocateCleared, FreeCleared);
}

bool dAV_MPEGVideoDecoder::Open()
{
    Close();
    decoder = mpeg2_init();
    if (decoder == nullptr)
        return false;
    bytesFed = 0;
    ended = false;
    pictureSeen = false;
    return true;
}

void dAV_MPEGVideoDecoder::Close()
{
    if (decoder != nullptr)
        mpeg2_close(decoder);
    decoder = nullptr;
    packets.clear();
    frontGiven = false;
    framePending = false;
}

dAV_MPEGVideoDecoder::~dAV_MPEGVideoDecoder()
{
    Close();
}

void dAV_MPEGVideoDecoder::Discard()
{
    if (decoder == nullptr)
        return;
    // Keeps the sequence: decoding goes on at the next picture of the new position.
    mpeg2_reset(decoder, 0);
    pictureSeen = false;
    packets.clear();
    frontGiven = false;
    framePending = false;
    ended = false;
}

void dAV_MPEGVideoDecoder::Decode(dAV_Stream* stream, const uint8_t* begin, const uint8_t* end, int32_t timeStamp)
{
    if (decoder == nullptr || begin == nullptr || end <= begin)
        return;
    packets.emplace_back();
    packets.back().bytes.assign(begin, end);
    packets.back().timeStamp = timeStamp;
    lastTimeStamp = timeStamp;
    bytesFed += int32_t(end - begin);
    ended = false;
    Resume(stream);
}

void dAV_MPEGVideoDecoder::Resume(dAV_Stream* stream)
{
    if (decoder == nullptr)
        return;
    const mpeg2_info_t* info = mpeg2_info(decoder);
    dAV_Driver* driver = stream->GetVideoDriver();
    if (framePending) {
        if (driver != nullptr && driver->HasFrame())
            return;
        framePending = false;
        if (driver != nullptr && info->display_fbuf != nullptr)
            driver->WriteFrame(info->display_fbuf->buf, pendingTimeStamp);
    }
    while (!packets.empty()) {
        Packet& packet = packets.front();
        if (!frontGiven) {
            // libmpeg2 only reads the bytes, and only until it asks for the next packet.
            mpeg2_buffer(decoder, packet.bytes.data(), packet.bytes.data() + packet.bytes.size());
            frontGiven = true;
        }
        const mpeg2_state_t state = mpeg2_parse(decoder);
        switch (state) {
        case STATE_BUFFER:
            packets.pop_front();
            frontGiven = false;
            break;
        case STATE_SEQUENCE:
            pictureSeen = false;
            if (!OnSequence(stream)) {
                // libmpeg2 allocates a sequence's frames at its first
                // picture: it looks for the next sequence header instead, in
                // the rest of this packet and the packets after it.
                const int left = mpeg2_getpos(decoder);
                uint8_t* const end = packet.bytes.data() + packet.bytes.size();
                mpeg2_reset(decoder, 1);
                // With nothing left, libmpeg2 asks for the next packet.
                if (left > 0 && size_t(left) <= packet.bytes.size())
                    mpeg2_buffer(decoder, end - left, end);
            }
            break;
        case STATE_PICTURE:
            pictureSeen = true;
            break;
        case STATE_SLICE:
        case STATE_END:
        case STATE_INVALID_END:
            ended = state != STATE_SLICE;
            // Until a picture of the current sequence was decoded, libmpeg2 may
            // name a frame buffer it has already released.
            if (pictureSeen && info->display_fbuf != nullptr && driver != nullptr) {
                if (driver->HasFrame()) {
                    framePending = true;
                    pendingTimeStamp = packet.timeStamp;
                    return;
                }
                driver->WriteFrame(info->display_fbuf->buf, packet.timeStamp);
            }
            break;
        default:
            break;
        }
    }
}

void dAV_MPEGVideoDecoder::Finish(dAV_Stream* stream)
{
    if (decoder == nullptr || ended || bytesFed == 0)
        return;
    static const uint8_t sequenceEnd[] = {0x00, 0x00, 0x01, 0xB7};
    Decode(stream, sequenceEnd, sequenceEnd + sizeof(sequenceEnd), lastTimeStamp);
    ended = true;
}

bool dAV_MPEGVideoDecoder::OnSequence(dAV_Stream* stream)
{
    const mpeg2_sequence_t* sequence = mpeg2_info(decoder)->sequence;
    if (sequence == nullptr)
        return false;
    const int width = int(sequence->width);
    const int height = int(sequence->height);
    const int chromaWidth = int(sequence->chroma_width);
    const int chromaHeight = int(sequence->chroma_height);
    const unsigned period = sequence->frame_period;
    std::printf("-- Video: MPEG-1/MPEG-2 %dx%d@%dhz [chroma: %dx%d] (libmpeg2).\n", width, height,
        period != 0 ? int(27000000u / period) : 0, chromaWidth, chromaHeight);

    dAV_Driver* driver = stream->GetVideoDriver();
    // The coded size is what libmpeg2 allocates: whole macroblocks.
    const int32_t maxSide = driver != nullptr && driver->maxFrameSide > 0 ? driver->maxFrameSide : DefaultMaxFrameSide;
    if (width > maxSide || height > maxSide) {
        LogError("dAV_MPEGVideoDecoder::OnSequence") << "Refused a " << width << "x" << height
            << " video sequence: larger than " << maxSide << " pixels on a side.\n";
        return false;
    }
    if (height < MinFrameLines) {
        LogError("dAV_MPEGVideoDecoder::OnSequence") << "Refused a " << width << "x" << height
            << " video sequence: fewer than " << MinFrameLines << " lines.\n";
        return false;
    }

    if (driver != nullptr) {
        // The bottom 8 lines are dropped; a picture too small to keep any is not announced.
        if (height > 8 && chromaHeight > 0 && height / chromaHeight > 0) {
            dAV_FrameFormat format;
            format.kind = dAV_FrameFormat::YUV420;
            format.width = width;
            format.height = height - 8;
            format.chromaWidth = chromaWidth;
            format.chromaHeight = (height - 8) / (height / chromaHeight);
            driver->SetFormat(format);
        }
        if (sequence->pixel_height != 0)
            driver->pixelAspect = float(sequence->pixel_width) / float(sequence->pixel_height);
    }
    // Periods below 10000 units of 27 MHz would divide by zero.
    const unsigned units = period / 10000;
    if (units == 0)
        return true;
    const int32_t rate = int32_t(27000000u / units);
    stream->SetFramePeriod(rate);
    if (driver != nullptr)
        driver->frameRate = rate;
    return true;
}
