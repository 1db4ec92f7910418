#include "MediaFuzz.h"

// Any bytes, played as a media stream with video and audio drivers. The seed
// corpus starts it on elementary MPEG audio.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    media_fuzz::PlayInput(data, size);
    return 0;
}
