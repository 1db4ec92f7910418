#include "smix/zSMixMixer.h"

#include "core/sound/zSound.h"
#include "framework/system/zLogStream.h"

#include <cmath>
#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Float to int by truncation, without the undefined cases: NaN gives 0 and
// values beyond the int range stop at its ends.
int32_t Truncate(float value)
{
    if (!(value == value))
        return 0;
    if (value >= 2147483520.0f)
        return INT32_MAX;
    if (value <= -2147483648.0f)
        return INT32_MIN;
    return int32_t(value);
}

float Clamp01(float value)
{
    return value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
}

// (s × gain) >> 15 with the 32-bit product of the mix: the product wraps.
inline int32_t Scale(int32_t s, int32_t gain)
{
    return int32_t(uint32_t(s) * uint32_t(gain)) >> 15;
}

struct Gains {
    int32_t left;
    int32_t right;
};

// One output frame from frame f, interpolated towards frame next with the
// weight w (0..127), added to a 32-bit accumulator: sums that wrap at 16 bits
// are the same whether they wrap after each add or once at the end.
template <int Channels>
inline void MixFrame(int32_t* out, const int16_t* x, int64_t f, int64_t next, int32_t w, Gains g)
{
    if constexpr (Channels == 1) {
        const int32_t s = int32_t(x[f]) * (127 - w) + int32_t(x[next]) * w;
        out[0] += Scale(s, g.left);
        out[1] += Scale(s, g.right);
    } else {
        const int32_t sL = int32_t(x[2 * f]) * (127 - w) + int32_t(x[2 * next]) * w;
        const int32_t sR = int32_t(x[2 * f + 1]) * (127 - w) + int32_t(x[2 * next + 1]) * w;
        out[0] += Scale(sL, g.left);
        out[1] += Scale(sR, g.right);
    }
}

} // namespace

void zSMixMixer::EndChannel(int32_t channel)
{
    channels[channel].sound = nullptr;
    play[channel].state = ChannelIdle;
}

void zSMixMixer::HandleSoundLoop(int32_t channel)
{
    ChannelPlay& p = play[channel];
    const zSound* sound = channels[channel].sound;
    const int64_t frames = sound != nullptr ? sound->sample.frameCount : 0;
    if (frames > 0 && (p.position >> 8) < frames)
        return;
    const int32_t loop = channels[channel].loop;
    if (loop == 1 && frames > 0) {
        // The fraction and the overshoot carry over; an overshoot of more than
        // the whole sample (a tiny sample at a high pitch) wraps as well.
        p.position %= frames * 256;
        return;
    }
    if (loop != 0 && loop != 1)
        LogWarning("zSMixMixer::HandleSoundLoop") << "Unimplemented SMix channel loop mode (" << loop << ").\n";
    EndChannel(channel);
}

#if defined(__SSE2__)
// The wrapping 32-bit product of each lane (SSE2 has no pmulld).
inline __m128i MulLo32(__m128i a, __m128i b)
{
    const __m128i even = _mm_mul_epu32(a, b);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                              _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

// The interpolation weights of a position as an int16 pair (127 - w, w).
inline int32_t WeightPair(int64_t pos)
{
    const int32_t w = int32_t(pos & 127);
    return (127 - w) | (w << 16);
}

inline __m128i LoadPair32(const int16_t* at)
{
    int32_t pair;
    std::memcpy(&pair, at, 4);
    return _mm_cvtsi32_si128(pair);
}

// Frames whose next frame lies inside the sample, four at a time: each
// frame's two samples (per side) meet their weights in one multiply-add. The
// same integer steps as MixFrame, so the same results.
template <int Channels>
inline void MixRunSimd(int32_t* out, const int16_t* x, int64_t& pos, uint32_t step, uint32_t& i, uint32_t end,
                       Gains g)
{
    const __m128i gains = _mm_set_epi32(g.right, g.left, g.right, g.left);
    const __m128i gainsLeft = _mm_set1_epi32(g.left);
    const __m128i gainsRight = _mm_set1_epi32(g.right);
    for (; i + 4 <= end; i += 4) {
        const int64_t p0 = pos, p1 = pos + step, p2 = p1 + step, p3 = p2 + step;
        pos = p3 + step;
        if constexpr (Channels == 1) {
            const __m128i pairs = _mm_unpacklo_epi64(_mm_unpacklo_epi32(LoadPair32(x + (p0 >> 8)), LoadPair32(x + (p1 >> 8))),
                                                     _mm_unpacklo_epi32(LoadPair32(x + (p2 >> 8)), LoadPair32(x + (p3 >> 8))));
            const __m128i weights = _mm_set_epi32(WeightPair(p3), WeightPair(p2), WeightPair(p1), WeightPair(p0));
            const __m128i s = _mm_madd_epi16(pairs, weights);
            const __m128i left = _mm_srai_epi32(MulLo32(s, gainsLeft), 15);
            const __m128i right = _mm_srai_epi32(MulLo32(s, gainsRight), 15);
            __m128i* acc = reinterpret_cast<__m128i*>(out + 2 * i);
            _mm_storeu_si128(acc, _mm_add_epi32(_mm_loadu_si128(acc), _mm_unpacklo_epi32(left, right)));
            _mm_storeu_si128(acc + 1, _mm_add_epi32(_mm_loadu_si128(acc + 1), _mm_unpackhi_epi32(left, right)));
        } else {
            // Frames f and f + 1 lie side by side: L R L' R', regrouped to
            // L L' R R' for the multiply-add.
            const int64_t ps[4] = {p0, p1, p2, p3};
            for (int half = 0; half < 2; ++half) {
                const int64_t a = ps[2 * half], b = ps[2 * half + 1];
                __m128i q = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(x + 2 * (a >> 8))),
                                               _mm_loadl_epi64(reinterpret_cast<const __m128i*>(x + 2 * (b >> 8))));
                q = _mm_shufflehi_epi16(_mm_shufflelo_epi16(q, _MM_SHUFFLE(3, 1, 2, 0)), _MM_SHUFFLE(3, 1, 2, 0));
                const int32_t wa = WeightPair(a), wb = WeightPair(b);
                const __m128i s = _mm_madd_epi16(q, _mm_set_epi32(wb, wb, wa, wa));
                __m128i* acc = reinterpret_cast<__m128i*>(out + 2 * i + 4 * half);
                _mm_storeu_si128(acc, _mm_add_epi32(_mm_loadu_si128(acc), _mm_srai_epi32(MulLo32(s, gains), 15)));
            }
        }
    }
}
#endif

template <int Channels>
static void MixChannel(int32_t* out, uint32_t frames, const zSample& sample, bool looping, Gains gains, uint32_t step,
                       int64_t& position, uint32_t& done)
{
    // Runs of frames whose next frame lies inside the sample need no checks;
    // the last frame interpolates towards the first (looping) or itself.
    const int16_t* x = reinterpret_cast<const int16_t*>(sample.data);
    const int64_t last = int64_t(sample.frameCount) - 1;
    const int64_t safeEnd = last * 256;
    int64_t pos = position;
    uint32_t i = done;
    if (pos < safeEnd) {
        uint64_t run = frames - i;
        if (step > 0)
            run = std::min<uint64_t>(run, uint64_t((safeEnd - pos + step - 1) / step));
        const uint32_t end = i + uint32_t(run);
#if defined(__SSE2__)
        MixRunSimd<Channels>(out, x, pos, step, i, end, gains);
#endif
        for (; i < end; ++i) {
            const int64_t f = pos >> 8;
            MixFrame<Channels>(out + 2 * i, x, f, f + 1, int32_t(pos & 127), gains);
            pos += step;
        }
    } else {
        const int64_t f = pos >> 8;
        MixFrame<Channels>(out + 2 * i, x, f, f < last ? f + 1 : (looping ? 0 : last), int32_t(pos & 127), gains);
        pos += step;
        ++i;
    }
    position = pos;
    done = i;
}

void zSMixMixer::Mix(int16_t* out, uint32_t bytes)
{
    const uint32_t frames = bytes / 4;
    if (out == nullptr)
        return;
    for (uint32_t done = 0; done < frames;) {
        const uint32_t count = std::min(frames - done, uint32_t(AccumulatorFrames));
        MixBlock(out + 2 * size_t(done), count);
        done += count;
    }
}

void zSMixMixer::MixBlock(int16_t* out, uint32_t frames)
{
    std::memset(accumulator, 0, size_t(frames) * 2 * sizeof(int32_t));
    for (int32_t c = 0; c < ChannelCount; ++c) {
        zMixerChannel& channel = channels[c];
        ChannelPlay& p = play[c];
        if (channel.sound == nullptr || p.state != ChannelPlaying)
            continue;
        const zSample& sample = channel.sound->sample;
        const int32_t count = sample.format.channels;
        if (sample.format.bits != 16 || (count != 1 && count != 2))
            continue;
        // A sample with no frames, or one that shrank under the position,
        // ends (or wraps) before anything is read.
        HandleSoundLoop(c);
        if (p.state != ChannelPlaying || sample.data == nullptr)
            continue;

        const int32_t volume = Truncate(masterVolume * channel.gain * 510.0f);
        const Gains gains{Truncate(float(volume) * Clamp01(1.0f - channel.pan)),
                          Truncate(float(volume) * Clamp01(channel.pan))};
        const int32_t pitch = Truncate(channel.pitch * 256.0f);
        const uint32_t step = uint32_t(pitch) * uint32_t(sample.format.rate) / uint32_t(OutputRate);

        uint32_t done = 0;
        while (done < frames && p.state == ChannelPlaying) {
            const bool looping = channel.loop == 1;
            if (count == 1)
                MixChannel<1>(accumulator, frames, sample, looping, gains, step, p.position, done);
            else
                MixChannel<2>(accumulator, frames, sample, looping, gains, step, p.position, done);
            HandleSoundLoop(c);
        }
    }
    // Each output sample wraps at 16 bits: the mix does not saturate.
    for (uint32_t i = 0; i < 2 * frames; ++i)
        out[i] = int16_t(uint16_t(uint32_t(accumulator[i])));
}
