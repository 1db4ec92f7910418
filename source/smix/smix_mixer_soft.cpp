#include "smix/zSMixMixer.h"

#include "core/sound/zSound.h"
#include "framework/system/zLogStream.h"

#include <cmath>
#include <algorithm>
#include <cstring>

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
        for (const uint32_t end = i + uint32_t(run); i < end; ++i) {
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
