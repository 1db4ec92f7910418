#pragma once

#include "framework/system/zClock.h"
#include "framework/system/zModuleTag.h"

#include <cstdint>

class zGeometry;
class zSound;
class zString;
class zTexture;

// Program-wide state of the frame cycle, main thread only. Times are clock
// ticks of 1/10000 s.
// Nesting depth of Tavrin::BeginDraw / Tavrin::EndDraw; never negative.
extern int32_t GlobalDrawDepth;
// Engine clock: the sum of all scaled frame deltas.
extern int32_t GlobalClock;
// Scaled duration of the last frame, never negative.
extern int32_t GlobalFrameDelta;
// Unscaled ticks of the last frame.
extern int32_t GlobalRawFrameDelta;
// Tick count at the previous clock update; 0 means none yet.
extern int32_t GlobalClockLastTime;
// Clock speed in thousandths: 1000 is real time.
extern int32_t GlobalClockScale;
// Fixed frame step in ticks; off when not above 0.
extern int32_t GlobalFixedFrameStep;
// Target frame rate of the fixed-step drift correction; off when not above 0.
extern int32_t GlobalFixedFrameFrequency;
// Drift accumulator of the fixed-step correction, in nanoseconds.
extern int32_t GlobalClockDrift;

// Always 0 in this program.
extern int32_t GlobalToolMode;
// The renderer setting "DebugChannel": when a channel 0-9, material set-up
// shows only the texture of that channel; -1 (off) at start.
extern int32_t GlobalDebugChannel;

// Hooks the core calls when they are set (all null at start). A missing-resource
// hook may rewrite the path it is given.
using zResourceMissingHook = void (*)(zString& path);
using zGeometryHook = void (*)(zGeometry* geometry);
using zSoundHook = void (*)(zSound* sound);
using zTextureHook = void (*)(zTexture* texture);
using zLibraryHook = void (*)(const zString& path);
using zProgressHook = void (*)(const char* step);
using zFrameHook = void (*)();

extern zResourceMissingHook GlobalGeometryMissingHook;
extern zResourceMissingHook GlobalTextureMissingHook;
extern zResourceMissingHook GlobalSoundMissingHook;
extern zResourceMissingHook GlobalShaderLibraryMissingHook;
extern zGeometryHook GlobalGeometryLoadedHook;
extern zSoundHook GlobalSoundLoadedHook;
extern zTextureHook GlobalTextureContentHook;
extern zLibraryHook GlobalShaderLibraryLoadedHook;
// Called with "Texture Setup", "Geometry Setup" or "Sound Setup".
extern zProgressHook GlobalSetupProgressHook;
// Called by Tavrin::EndDraw after the renderer presented the frame.
extern zFrameHook GlobalEndOfFrameHook;

// Installs one function in the geometry, texture and sound missing-resource
// hooks, as the application does before anything is loaded; null clears them.
void SetResourceMissingHook(zResourceMissingHook hook);

// Non-zero (the start value): the texture and sound loaders set each resource
// up on the renderer or mixer as soon as it is loaded.
extern uint8_t GlobalResourceAutoSetup;

// "1.1.7".
const char* GetVersionString();

// Where the frame clock reads its ticks (GetClockTicks unless replaced, so
// that the clock can be driven exactly). Null puts GetClockTicks back.
// Returns the previous source.
zTimer::TickSource SetFrameClockSource(zTimer::TickSource source);
zTimer::TickSource GetFrameClockSource();

// Advances the frame clock once from the frame clock's tick source.
void UpdateFrameClock();
// Takes the current time as the last update and sets the frame delta to 166
// ticks (one sixtieth of a second).
void ResetFrameClock();

// Writes the sizes of the machine's and the core's types to the log.
void DumpMemoryLayout(bool withCoreTypes);
