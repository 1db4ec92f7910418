#pragma once

#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// ZML text written in a test, parsed as a document; a text that does not
// parse fails the test.
inline std::unique_ptr<zMetaFile> ParseZml(const std::string& text)
{
    auto document = std::make_unique<zMetaFile>();
    EXPECT_TRUE(zMetaParser::LoadText(text.data(), text.size(), document.get(), "test.zml"));
    return document;
}

// The names of a tag's children in order.
inline std::vector<std::string> ChildNames(const zMetaTag* tag)
{
    std::vector<std::string> names;
    for (const zMetaTag* c = tag->GetFirstChild(); c != nullptr; c = c->GetNextSibling())
        names.emplace_back(c->GetName().Get());
    return names;
}
