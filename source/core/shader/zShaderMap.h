#pragma once

#include "framework/tools/zString.h"

#include <cstdint>

class Tavrin;
class zLinkedListId;
class zMetaFile;
class zMetaTag;
class zShaderBlock;

// The surface computation of a material as a graph of shader blocks whose
// roots feed fixed output channels. The map owns every block its roots reach;
// blocks may be shared between roots and inputs.
class zShaderMap {
public:
    enum Channel : int32_t {
        Normal = 0,
        Diffuse = 1,
        Modulate = 2,
        Specular = 3,
        Glossiness = 4,
        Constant = 5,
        Opacity = 6,
        // A further root that ZML neither reads nor writes.
        Extra = 7,
        ChannelCount = 8,
        // Channels stored in ZML.
        StoredChannelCount = 7,
    };

    zShaderMap() = default;
    ~zShaderMap();
    zShaderMap(const zShaderMap&) = delete;
    zShaderMap& operator=(const zShaderMap&) = delete;

    // Deletes every block the roots reach, each once, and empties the roots.
    void Clear();
    // Reads the roots of the channels present in the tag; the others keep
    // theirs. Blocks that no root reaches afterwards are deleted. owner: the
    // material that error lines name, or null.
    bool FromMetaTag(Tavrin* core, const zMetaFile* document, const zMetaTag* tag, const char* owner = nullptr);
    // A new "ShaderMap" tag (the caller owns it), or null. The list is where
    // the tag is going to be added.
    zMetaTag* AsMetaTag(zLinkedListId* list) const;

    // The ZML name of a stored channel.
    static const char* GetChannelName(int32_t channel);

    zString name;
    zShaderBlock* roots[ChannelCount] = {};
};
