#pragma once

#include "core/resource/zTexture.h"
#include "core/shader/zShaderBlocks.h"
#include "core/shader/zShaderMap.h"

#include <map>
#include <string>

// A text naming every block reachable from the root with its parameters and
// inputs; a block met again shows as "@n", so sharing is part of the text.
inline void DescribeBlock(const zShaderBlock* block, std::map<const zShaderBlock*, int>& seen, std::string& out)
{
    if (block == nullptr) {
        out += "-";
        return;
    }
    auto found = seen.find(block);
    if (found != seen.end()) {
        out += "@" + std::to_string(found->second);
        return;
    }
    const int number = int(seen.size());
    seen[block] = number;
    out += std::to_string(number) + ":" + block->GetId().Get();
    if (block->GetType() == ShaderBlockConstant || block->GetType() == ShaderBlockColor) {
        const float* v = block->GetType() == ShaderBlockConstant
            ? static_cast<const zConstantShaderBlock*>(block)->value
            : static_cast<const zColorShaderBlock*>(block)->colour;
        for (int i = 0; i < 4; ++i)
            out += (i == 0 ? "[" : ",") + std::to_string(v[i]);
        out += "]";
    }
    if (block->GetType() == ShaderBlockTexture) {
        const zTexture* texture = static_cast<const zTextureShaderBlock*>(block)->texture;
        out += texture != nullptr ? texture->id.Get() : "(none)";
    }
    if (block->GetInputCount() == 0)
        return;
    out += "(";
    for (uint32_t i = 0; i < block->GetInputCount(); ++i) {
        if (i > 0)
            out += " ";
        DescribeBlock(block->GetInput(i), seen, out);
    }
    out += ")";
}

inline std::string DescribeBlock(const zShaderBlock* block)
{
    std::map<const zShaderBlock*, int> seen;
    std::string out;
    DescribeBlock(block, seen, out);
    return out;
}

// The stored channels, one line each, blocks numbered across the whole map.
inline std::string DescribeMap(const zShaderMap& map)
{
    std::map<const zShaderBlock*, int> seen;
    std::string out;
    for (int channel = 0; channel < zShaderMap::StoredChannelCount; ++channel) {
        out += std::string(zShaderMap::GetChannelName(channel)) + "=";
        DescribeBlock(map.roots[channel], seen, out);
        out += "\n";
    }
    return out;
}
