#pragma once

#include "core/shader/zShaderBlock.h"

#include <cstdint>

// The geometry stream blocks. They belong to the renderer, which feeds the
// streams, but the shader-map reader and the material conversion create them,
// so they live with the other blocks and the renderer uses these.

class VertexStreamBlock : public zShaderBlock {
public:
    VertexStreamBlock() : zShaderBlock(ShaderBlockVertexStream) {}
};

class NormalStreamBlock : public zShaderBlock {
public:
    NormalStreamBlock() : zShaderBlock(ShaderBlockNormalStream) {}
    zString GetId() const override;

    // Set by the renderer for smoothed normals; not stored in ZML.
    uint8_t smooth = 0;
};

class SkinningMatrixBlock : public zShaderBlock {
public:
    SkinningMatrixBlock() : zShaderBlock(ShaderBlockSkinning) {}
};
