#pragma once

#include <squirrel.h>

// The motion script functions "MotionGetName", "MotionEvaluatePosition" and
// "MotionGetLength", and the channel-id constants "ChannelNone" to
// "ChannelBFog", all in the root table. A family registrar of
// SqRegisterBindings; main thread only, like the VM.
void SqRegisterMotionFunctions(HSQUIRRELVM v);
