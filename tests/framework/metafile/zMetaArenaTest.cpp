#include "framework/metafile/zMetaArena.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/tools/zAsciiEncoder.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::unique_ptr<zMetaFile> LoadBody(const std::string& body)
{
    const std::string text = "<ZML=1.0>\n" + body;
    auto document = std::make_unique<zMetaFile>();
    EXPECT_TRUE(zMetaParser::LoadText(text.data(), text.size(), document.get(), "arena.zml"));
    return document;
}

} // namespace

// Tags read from text share their document's arena; a tag taken out of the
// document keeps that memory alive after the document is gone (the sanitizer
// build would report a use after free otherwise).
TEST(MetaArena, TagsOutliveTheDocumentTheyWereReadInto)
{
    std::vector<uint8_t> big(40000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = uint8_t(i * 13);
    zMetaTag source("Big");
    ASSERT_TRUE(source.SetBinary(big.data(), int32_t(big.size()), zAsciiEncoder::EncodingYEnc));
    const std::string block(source.GetEncodedData(), size_t(source.GetEncodedSize()));

    auto document = LoadBody("<N=<S=\"kept text\"><L=@\"N:S;\"><B==" + std::to_string(block.size()) + ":"
                             + std::to_string(big.size()) + "@\n" + block + ">>\n<Other=1>");
    zMetaTag* node = document->GetFirstRootTag();
    ASSERT_TRUE(document->Unlink(node));

    zMetaTag holder("Holder");
    holder.AddChild(node);
    document.reset();

    EXPECT_STREQ(holder.GetTag("N:S;")->GetString(), "kept text");
    EXPECT_STREQ(holder.GetTag("N:L;")->GetShortcut(), "N:S;");
    std::vector<uint8_t> out(big.size());
    ASSERT_TRUE(holder.GetTag("N:B;")->GetBinaryData(out.data(), int32_t(out.size())));
    EXPECT_EQ(out, big);

    // Values replaced on a tag that lives in the arena are owned by the tag.
    zMetaTag* s = holder.GetTag("N:S;");
    s->SetString("replaced");
    s->SetBinary(big.data(), 100, zAsciiEncoder::EncodingUU);
    s->SetString("again");
    EXPECT_STREQ(s->GetString(), "again");
    node->GetChildren().Remove(holder.GetTag("N:L;"));
    EXPECT_EQ(node->GetChildCount(), 2);
}

TEST(MetaArena, ReleasedChunksAreKeptWithinTheirBound)
{
    zMetaArena::ReleaseCachedChunks();
    EXPECT_EQ(zMetaArena::GetCachedBytes(), 0u);
    std::string body;
    for (int i = 0; i < 5000; ++i)
        body += "<Item=<Name=\"item\"><Value=" + std::to_string(i) + ">>\n";
    LoadBody(body);
    const size_t kept = zMetaArena::GetCachedBytes();
    EXPECT_GT(kept, 0u);
    EXPECT_LE(kept, zMetaArena::MaxCachedBytes);
    // The next document takes its chunks from the cache.
    auto again = LoadBody(body);
    EXPECT_LT(zMetaArena::GetCachedBytes(), kept);
    again.reset();
    zMetaArena::ReleaseCachedChunks();
    EXPECT_EQ(zMetaArena::GetCachedBytes(), 0u);
}

TEST(MetaArena, BlocksAreAlignedAndDistinct)
{
    zMetaArena* arena = zMetaArena::Create();
    ASSERT_NE(arena, nullptr);
    std::vector<char*> blocks;
    for (size_t size : {size_t(1), size_t(7), size_t(0), size_t(100), size_t(zMetaArena::ChunkSize),
                        size_t(zMetaArena::ChunkSize / 3), size_t(33)}) {
        auto* block = static_cast<char*>(arena->Allocate(size));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignof(std::max_align_t), 0u);
        std::fill(block, block + size, char(blocks.size()));
        blocks.push_back(block);
    }
    EXPECT_EQ(blocks[3][99], char(3));
    EXPECT_STREQ(arena->CopyText("abcdef", "abcdef" + 3), "abc");
    arena->Release();
}
