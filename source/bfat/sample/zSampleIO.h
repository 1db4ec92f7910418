#pragma once

#include "bfat/sample/zSample.h"

// Loads samples from files; WAV is the one format read.
class zSampleIO {
public:
    // False without a log line when no file system has the file, with an
    // error line when it is not a WAV file the reader takes.
    static bool Load(zSample& sample, const char* path);
};

// Reads a RIFF WAVE file into the sample; false, without a log line, for a
// file of another kind.
bool lowlevel_wav_load(const char* path, zSample& sample);
