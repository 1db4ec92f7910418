#pragma once

#include "core/zad/TavrinGlobals.h"

#include <cstdint>

// Bits of the renderer's option flag word, read from the configuration.
namespace zRendererOption {
constexpr uint32_t EnableDebug = 1;
constexpr uint32_t Antialiasing = 2;
constexpr uint32_t UseFloatTarget = 4;
constexpr uint32_t OptimizeVideoRam = 8;
constexpr uint32_t DisableShader = 16;
constexpr uint32_t DisableMultipleRenderTarget = 32;
constexpr uint32_t TextureNoDownscale = 128;
constexpr uint32_t TextureForceTrueColor = 256;
constexpr uint32_t TextureNoCompression = 512;
constexpr uint32_t TextureForceSquare = 1024;
} // namespace zRendererOption

// Bits of the renderer's effect flag word, read from the configuration.
namespace zRendererEffect {
constexpr uint32_t MotionBlur = 1;
constexpr uint32_t ShadowMapping = 2;
constexpr uint32_t Bloom = 8;
constexpr uint32_t Exposure = 16;
constexpr uint32_t DepthOfField = 32;
constexpr uint32_t LinearShadow = 64;
constexpr uint32_t AmbientOcclusion = 128;
constexpr uint32_t FramebufferAsTexture = 256;
constexpr uint32_t LowResolutionFx = 512;
} // namespace zRendererEffect
