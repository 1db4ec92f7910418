#include "InputFS.h"

#include "bfat/sample/zSampleIO.h"
#include "framework/filesystem/zStream.h"

#include <cstddef>
#include <cstdint>

using fuzz_support::InputFS;
using fuzz_support::Silent;

// Any bytes, read as a WAV file: a load either fails or gives a PCM sample
// whose buffer holds every frame it claims (ASan checks the reads).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Silent silent;
    GlobalLog.SetSink(&silent);

    InputFS input(data, size);
    zIOBaseFS* previous = zStream::GetCurrentFS();
    zStream::SetCurrentFS(&input);
    zSample sample;
    const bool loaded = zSampleIO::Load(sample, "input");
    zStream::SetCurrentFS(previous);
    if (!loaded)
        return 0;

    if (sample.format.bits < 8 || sample.format.channels <= 0 || sample.frameCount < 0)
        __builtin_trap();
    const uint32_t bytes = sample.GetByteSize();
    if (bytes > size || (bytes != 0 && sample.data == nullptr))
        __builtin_trap();
    volatile uint32_t sum = 0;
    for (uint32_t i = 0; i < bytes; ++i)
        sum = sum + sample.data[i];
    return 0;
}
