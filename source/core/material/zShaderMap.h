#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "framework/tools/zString.h"

class Tavrin;
class zMetaFile;
class zMetaTag;

// A material's surface computation. Until shader blocks exist this holds the
// "ShaderMap" tag it was read from, so that a material written back keeps its
// map unchanged; the block graph and the map generated from a material's
// fields come with the shader blocks.
class zShaderMap {
public:
    zShaderMap() = default;
    ~zShaderMap();
    zShaderMap(const zShaderMap&) = delete;
    zShaderMap& operator=(const zShaderMap&) = delete;

    // False when the tag is not a "ShaderMap"; shortcuts inside it are resolved
    // against the document.
    bool FromMetaTag(Tavrin* core, const zMetaFile* document, const zMetaTag* tag);
    // A new "ShaderMap" tag (the caller owns it), or null.
    zMetaTag* AsMetaTag(zLinkedListId* list) const;

    zString name;

private:
    zMetaTag* source = nullptr;
};
