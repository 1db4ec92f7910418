#include "dav/core/dAV_Stream.h"
#include "framework/system/zLogStream.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

class Silent : public zLogSink {
public:
    void Write(const char*) override {}
};

// Takes everything and counts the sample frames.
class CountingDriver : public dAV_AudioDriver {
public:
    bool Start() override { return true; }
    void Stop() override {}
    bool SetFormat(const dAV_AudioFormat& format) override
    {
        current = format;
        return true;
    }
    uint32_t Write(const void*, uint32_t byteCount, int32_t) override
    {
        frames += byteCount / uint32_t(current.GetFrameBytes());
        return byteCount;
    }
    bool IsBufferFull() override { return false; }
    bool IsBufferNotFull() override { return true; }
    bool FillDone() override { return true; }

    dAV_AudioFormat current;
    uint64_t frames = 0;
};

} // namespace

// MPEG audio decoding through the whole stream path: the "x_realtime" counter
// is seconds of audio decoded per second of wall time.
static void BM_DecodeMPEGAudio(benchmark::State& state, const char* file)
{
    Silent silent;
    zLogSink* previous = GlobalLog.SetSink(&silent);
    const std::string path = std::string(TAVRIN_TEST_DATA) + "/media/" + file;
    double seconds = 0.0;
    for (auto _ : state) {
        CountingDriver driver;
        dAV_Stream stream(nullptr, &driver);
        if (!stream.Open(path.c_str())) {
            state.SkipWithError("cannot open the fixture");
            break;
        }
        while (stream.GetState() == dAV_Stream::Playing)
            stream.Update(1);
        seconds += double(driver.frames) / double(driver.current.rate);
    }
    GlobalLog.SetSink(previous);
    state.counters["x_realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(BM_DecodeMPEGAudio, mp3_44k_mono, "tone.mp3")->UseRealTime();
BENCHMARK_CAPTURE(BM_DecodeMPEGAudio, mp2_32k_mono, "tone.mp2")->UseRealTime();
