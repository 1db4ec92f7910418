#include "dav/core/dAV_Demuxer.h"

#include "framework/filesystem/zStream.h"

void dAV_Demuxer::Rewind()
{
    reader->Rewind();
    ended = 0;
    OnRewind();
}
