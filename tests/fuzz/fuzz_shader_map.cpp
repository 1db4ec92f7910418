#include "core/shader/zShaderBlock.h"
#include "core/shader/zShaderMap.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Any shader-map text reads into an acyclic graph whose types can be asked
// for, which writes back and reads back to a graph of the same size. Without
// a core no texture is loaded, so input never names files to open.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    GlobalLog.VerbosityMask = 0;
    zMetaFile document;
    if (!zMetaParser::LoadText(reinterpret_cast<const char*>(data), size, &document, "map.zml"))
        return 0;
    zShaderMap map;
    if (!map.FromMetaTag(nullptr, &document, document.GetFirstRootTag()))
        return 0;
    std::vector<zShaderBlock*> blocks;
    for (zShaderBlock* root : map.roots) {
        if (root == nullptr)
            continue;
        root->GetOutputType();
        root->GetId();
        root->CollectBlocks(blocks);
    }
    // No input leads back to its block.
    for (zShaderBlock* block : blocks) {
        for (uint32_t i = 0; i < block->GetInputCount(); ++i) {
            if (block->GetInput(i) != nullptr && block->GetInput(i)->DependsOn(block))
                __builtin_trap();
        }
    }
    zMetaFile written;
    written.AddRootTag(map.AsMetaTag(&written));
    std::string text;
    zMetaParser::SaveText(&written, text);
    zMetaFile reread;
    if (!zMetaParser::LoadText(text.data(), text.size(), &reread, "again.zml"))
        __builtin_trap();
    zShaderMap again;
    again.FromMetaTag(nullptr, &reread, reread.GetFirstRootTag());
    std::vector<zShaderBlock*> blocksAgain;
    for (zShaderBlock* root : again.roots) {
        if (root != nullptr)
            root->CollectBlocks(blocksAgain);
    }
    if (blocksAgain.size() != blocks.size())
        __builtin_trap();
    return 0;
}
