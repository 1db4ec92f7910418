#include "dav/decoder/dAV_MADDecoder.h"

#include "dav/core/dAV_Stream.h"
#include "framework/system/zLogStream.h"

#include <cstring>
#include <mad.h>

namespace {

// Bytes libmad may hold back unconsumed before the oldest are dropped: far
// beyond any frame, reached only by data it cannot resynchronise on.
constexpr size_t MaxUnconsumed = 64 * 1024;

const char* const LayerNames[] = {"I", "II", "III"};
const char* const ModeNames[] = {"Mono", "Dual Channel", "Joint Stereo", "Stereo"};
const char* const EmphasisNames[] = {"No emphasis", "50/15 US emphasis", "Reserved(!)", "CCITT J.17 emphasis"};

template <size_t N>
const char* NameOf(const char* const (&names)[N], int index)
{
    return index >= 0 && size_t(index) < N ? names[index] : "?";
}

} // namespace

struct dAV_MADDecoder::State {
    mad_stream stream;
    mad_frame frame;
    mad_synth synth;
    mad_header header;
    mad_timer_t time;
};

dAV_MADDecoder::dAV_MADDecoder() : output(MaxFrameSamples * 2), mad(new State) {}

dAV_MADDecoder::~dAV_MADDecoder()
{
    Close();
}

bool dAV_MADDecoder::Init()
{
    Close();
    mad_stream_init(&mad->stream);
    mad_frame_init(&mad->frame);
    mad_synth_init(&mad->synth);
    mad->time = mad_timer_zero;
    framesDecoded = 0;
    input.clear();
    opened = true;
    return true;
}

void dAV_MADDecoder::Close()
{
    if (!opened)
        return;
    mad_synth_finish(&mad->synth);
    mad_frame_finish(&mad->frame);
    mad_stream_finish(&mad->stream);
    input.clear();
    opened = false;
}

void dAV_MADDecoder::ResetTime()
{
    if (!opened)
        return;
    mad_stream_finish(&mad->stream);
    mad_stream_init(&mad->stream);
    mad_frame_mute(&mad->frame);
    mad_synth_mute(&mad->synth);
    mad->time = mad_timer_zero;
    input.clear();
}

int32_t dAV_MADDecoder::GetTime()
{
    return opened ? int32_t(mad_timer_count(mad->time, MAD_UNITS_MILLISECONDS)) : 0;
}

int16_t dAV_MADDecoder::ScaleSample(int32_t sample)
{
    if (sample >= 0x10000000)
        return 32767;
    if (sample < -0x0FFFFFFF)
        return -32767;
    return int16_t(sample >> 13);
}

void dAV_MADDecoder::Feed(const uint8_t* begin, const uint8_t* end)
{
    mad_stream& stream = mad->stream;
    size_t keep = 0;
    if (stream.buffer != nullptr && stream.next_frame != nullptr && stream.next_frame < stream.bufend) {
        keep = size_t(stream.bufend - stream.next_frame);
        if (keep > MaxUnconsumed) {
            LogWarning("dAV_MADDecoder::Feed") << "Dropped " << unsigned(keep - MaxUnconsumed) << " undecodable byte(s).\n";
            keep = MaxUnconsumed;
        }
        // The bytes live in the input buffer itself: move them down before it may grow.
        std::memmove(input.data(), stream.bufend - keep, keep);
    }
    const size_t added = begin != nullptr && end > begin ? size_t(end - begin) : 0;
    input.resize(keep + added);
    if (added != 0)
        std::memcpy(input.data() + keep, begin, added);
    mad_stream_buffer(&stream, input.data(), input.size());
    stream.error = MAD_ERROR_NONE;
}

void dAV_MADDecoder::Decode(dAV_Stream* stream, const uint8_t* begin, const uint8_t* end, int32_t timeStamp)
{
    if (!opened)
        return;
    lastTimeStamp = timeStamp;
    Feed(begin, end);
    mad_stream& source = mad->stream;
    for (;;) {
        const unsigned char* before = source.next_frame;
        if (mad_frame_decode(&mad->frame, &source) != 0) {
            if (source.error == MAD_ERROR_BUFLEN)
                break;
            // libmad moves one byte on per lost-sync report: it goes on quietly
            // until it finds the next frame.
            if (source.error == MAD_ERROR_LOSTSYNC) {
                if (source.next_frame == before)
                    break;
                continue;
            }
            if (MAD_RECOVERABLE(source.error)) {
                LogError("dAV_MADDecoder::Decode") << "Recoverable frame level error (" << mad_stream_errorstr(&source) << ").\n";
                // An error that does not move libmad on would repeat forever.
                if (source.next_frame == before)
                    break;
                continue;
            }
            LogError("dAV_MADDecoder::Decode") << "Unrecoverable frame level error (" << mad_stream_errorstr(&source) << ").\n";
            break;
        }
        mad_synth_frame(&mad->synth, &mad->frame);
        const mad_header& header = mad->frame.header;
        const mad_pcm& pcm = mad->synth.pcm;
        if (!formatLogged) {
            formatLogged = true;
            LogInfo("dAV_MADDecoder::Decode") << "Audio: MPEG-1 Layer " << NameOf(LayerNames, int(header.layer) - 1) << " "
                                              << unsigned(header.samplerate) << "Hz " << NameOf(ModeNames, int(header.mode)) << " "
                                              << NameOf(EmphasisNames, int(header.emphasis)) << " (libmad).\n";
        }
        ++framesDecoded;

        const uint32_t length = pcm.length < MaxFrameSamples ? pcm.length : MaxFrameSamples;
        const bool stereo = pcm.channels >= 2;
        int16_t* out = output.data();
        for (uint32_t i = 0; i < length; ++i) {
            *out++ = ScaleSample(pcm.samples[0][i]);
            if (stereo)
                *out++ = ScaleSample(pcm.samples[1][i]);
        }
        dAV_AudioFormat format;
        format.rate = int32_t(pcm.samplerate);
        format.bits = 16;
        format.stereo = stereo;
        stream->WriteAudio(format, output.data(), uint32_t(out - output.data()) * 2, timeStamp);
        mad_timer_add(&mad->time, header.duration);
    }
}

void dAV_MADDecoder::Finish(dAV_Stream* stream)
{
    static const uint8_t guard[MAD_BUFFER_GUARD] = {};
    Decode(stream, guard, guard + sizeof(guard), lastTimeStamp);
}

int32_t dAV_MADDecoder::Seek(const uint8_t* begin, const uint8_t* end, int32_t targetMs)
{
    if (!opened)
        return 0;
    Feed(begin, end);
    mad_stream& source = mad->stream;
    for (;;) {
        const unsigned char* before = source.next_frame;
        if (mad_header_decode(&mad->header, &source) != 0) {
            if (MAD_RECOVERABLE(source.error) && source.next_frame != before)
                continue;
            break;
        }
        ++framesDecoded;
        mad_timer_add(&mad->time, mad->header.duration);
        const int32_t reached = GetTime();
        if (reached > targetMs) {
            LogWarning("dAV_MADDecoder::Seek") << "Seeking to " << reached << "ms, requested " << targetMs << "ms.\n";
            break;
        }
    }
    return GetTime();
}
