#pragma once

#include "core/shader/zShaderBlock.h"

#include <cstdint>

class zTexture;

// The block types of the core, one class each (the three geometry stream
// blocks are in StreamBlocks.h). Names, output records and fixed output
// types come from the shared table of zShaderBlock.

class zUVStreamShaderBlock : public zShaderBlock {
public:
    // The UV sets a geometry carries.
    static constexpr int32_t MaxIndex = 2;

    explicit zUVStreamShaderBlock(int32_t uvIndex = 0) : zShaderBlock(ShaderBlockUVStream), index(uvIndex) {}
    zString GetId() const override;
    bool HasParam() const override { return true; }
    bool ParamFromMetaTag(Tavrin* core, const zMetaFile* document, const zMetaTag* param) override;
    zMetaTag* ParamAsMetaTag() const override;

    int32_t index;
};

class zVertexColorStreamShaderBlock : public zShaderBlock {
public:
    zVertexColorStreamShaderBlock() : zShaderBlock(ShaderBlockVertexColorStream) {}
};

class zTangentFrameShaderBlock : public zShaderBlock {
public:
    zTangentFrameShaderBlock() : zShaderBlock(ShaderBlockTangentFrame) {}
};

class zTextureShaderBlock : public zShaderBlock {
public:
    explicit zTextureShaderBlock(zTexture* source = nullptr) : zShaderBlock(ShaderBlockTexture), texture(source) {}
    bool HasParam() const override { return true; }
    bool ParamFromMetaTag(Tavrin* core, const zMetaFile* document, const zMetaTag* param) override;
    zMetaTag* ParamAsMetaTag() const override;

    // Owned by the texture cache.
    zTexture* texture;
};

class zSampler2DShaderBlock : public zShaderOperatorBlock<2> {
public:
    zSampler2DShaderBlock();
    int32_t GetOutputType() const override;
    zString GetId() const override;
    // Optional: only a clamped direction is written ("WrapU", "WrapV" 0), so
    // maps that repeat keep the plain form and readers without wrap flags
    // still read every map.
    bool ParamFromMetaTag(Tavrin* core, const zMetaFile* document, const zMetaTag* param) override;
    zMetaTag* ParamAsMetaTag() const override;

    // Repeat (1) or clamp (0) along U and V.
    uint8_t wrapU = 1;
    uint8_t wrapV = 1;
};

class zConstantShaderBlock : public zShaderBlock {
public:
    zConstantShaderBlock() : zShaderBlock(ShaderBlockConstant) {}
    // The kind is the output type.
    int32_t GetOutputType() const override { return kind; }
    zString GetId() const override;
    bool HasParam() const override { return true; }
    bool ParamFromMetaTag(Tavrin* core, const zMetaFile* document, const zMetaTag* param) override;
    zMetaTag* ParamAsMetaTag() const override;

    float value[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    int32_t kind = zShaderValue::None;
};

class zColorShaderBlock : public zShaderBlock {
public:
    zColorShaderBlock() : zShaderBlock(ShaderBlockColor) {}
    bool HasParam() const override { return true; }
    bool ParamFromMetaTag(Tavrin* core, const zMetaFile* document, const zMetaTag* param) override;
    zMetaTag* ParamAsMetaTag() const override;

    float colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
};

class zMaterialParameterShaderBlock : public zShaderBlock {
public:
    // Indices: 0 diffuse, 1 specular, 2 self-illumination, 3 ambient colour, 4 glossiness.
    static constexpr int32_t MaxIndex = 4;

    explicit zMaterialParameterShaderBlock(int32_t parameter = 0)
        : zShaderBlock(ShaderBlockMaterialParameter), index(parameter)
    {
    }
    int32_t GetOutputType() const override;
    zString GetId() const override;
    bool HasParam() const override { return true; }
    bool ParamFromMetaTag(Tavrin* core, const zMetaFile* document, const zMetaTag* param) override;
    zMetaTag* ParamAsMetaTag() const override;

    int32_t index;
};

class zScreenUVShaderBlock : public zShaderBlock {
public:
    zScreenUVShaderBlock() : zShaderBlock(ShaderBlockScreenUV) {}
};

class zViewVectorShaderBlock : public zShaderBlock {
public:
    zViewVectorShaderBlock() : zShaderBlock(ShaderBlockViewVector) {}
};

class zClockShaderBlock : public zShaderBlock {
public:
    zClockShaderBlock() : zShaderBlock(ShaderBlockClock) {}
};

class zMixShaderBlock : public zShaderOperatorBlock<3> {
public:
    zMixShaderBlock();
    int32_t GetOutputType() const override;
};

// Add, Subtract and Divide: the common type of two connected inputs.
class zComponentWiseShaderBlock : public zShaderOperatorBlock<2> {
public:
    int32_t GetOutputType() const override;

protected:
    zComponentWiseShaderBlock(int32_t blockType, const zShaderBlockInfo* info) : zShaderOperatorBlock(blockType, info)
    {
    }
};

class zAddShaderBlock : public zComponentWiseShaderBlock {
public:
    zAddShaderBlock();
};

class zSubtractShaderBlock : public zComponentWiseShaderBlock {
public:
    zSubtractShaderBlock();
};

class zDivideShaderBlock : public zComponentWiseShaderBlock {
public:
    zDivideShaderBlock();
};

class zMultiplyShaderBlock : public zShaderOperatorBlock<2> {
public:
    zMultiplyShaderBlock();
    int32_t GetOutputType() const override;
};

class zDotShaderBlock : public zShaderOperatorBlock<2> {
public:
    zDotShaderBlock();
    int32_t GetOutputType() const override;
};

class zCrossShaderBlock : public zShaderOperatorBlock<2> {
public:
    zCrossShaderBlock();
    int32_t GetOutputType() const override;
};

class zClampShaderBlock : public zShaderOperatorBlock<3> {
public:
    zClampShaderBlock();
    int32_t GetOutputType() const override;
};

// Normalize, Unpack Color and Pack Vector: the input's own type.
class zUnaryShaderBlock : public zShaderOperatorBlock<1> {
public:
    int32_t GetOutputType() const override;

protected:
    zUnaryShaderBlock(int32_t blockType, const zShaderBlockInfo* info) : zShaderOperatorBlock(blockType, info) {}
};

class zNormalizeShaderBlock : public zUnaryShaderBlock {
public:
    zNormalizeShaderBlock();
};

class zUnpackColorShaderBlock : public zUnaryShaderBlock {
public:
    zUnpackColorShaderBlock();
};

class zPackVectorShaderBlock : public zUnaryShaderBlock {
public:
    zPackVectorShaderBlock();
};

class zSwizzleShaderBlock : public zShaderOperatorBlock<1> {
public:
    // Selectors: which component of the input each output component takes.
    enum : int32_t { SelectNone = 0, SelectX = 1, SelectY = 2, SelectZ = 3, SelectW = 4 };

    zSwizzleShaderBlock();
    zSwizzleShaderBlock(zShaderBlock* input, int32_t x, int32_t y, int32_t z, int32_t w);
    int32_t GetOutputType() const override;
    zString GetId() const override;
    bool HasParam() const override { return true; }
    bool ParamFromMetaTag(Tavrin* core, const zMetaFile* document, const zMetaTag* param) override;
    zMetaTag* ParamAsMetaTag() const override;

    int32_t selectors[4] = {SelectNone, SelectNone, SelectNone, SelectNone};
};

class zBuildShaderBlock : public zShaderOperatorBlock<4> {
public:
    // Modes: a constant, or a component of the matching input.
    enum : int32_t { ModeZero = 0, ModeOne = 1, ModeX = 2, ModeY = 3, ModeZ = 4, ModeW = 5 };

    zBuildShaderBlock();
    zBuildShaderBlock(zShaderBlock* x, int32_t modeX, zShaderBlock* y, int32_t modeY, zShaderBlock* z, int32_t modeZ,
                      zShaderBlock* w, int32_t modeW);
    int32_t GetOutputType() const override;
    zString GetId() const override;
    bool HasParam() const override { return true; }
    bool ParamFromMetaTag(Tavrin* core, const zMetaFile* document, const zMetaTag* param) override;
    zMetaTag* ParamAsMetaTag() const override;

    int32_t modes[4] = {ModeX, ModeY, ModeZ, ModeW};
};

class zSinusShaderBlock : public zShaderOperatorBlock<1> {
public:
    zSinusShaderBlock();
};

class zCosinusShaderBlock : public zShaderOperatorBlock<1> {
public:
    zCosinusShaderBlock();
};

class zPowShaderBlock : public zShaderOperatorBlock<2> {
public:
    zPowShaderBlock();
};
