#pragma once

#include "CoreTestSupport.h"

#include "core/zad/TavrinGlobals.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"

#include <string>

// A ZML document read from a body written after the header.
struct ZmlText {
    explicit ZmlText(const std::string& body)
    {
        const std::string text = "<ZML=1.0>\n" + body;
        ok = zMetaParser::LoadText(text.data(), text.size(), &document, "test.zml");
    }
    const zMetaTag* Root() const { return document.GetFirstRootTag(); }

    zMetaFile document;
    bool ok = false;
};

// The ZML text of a tag and its subtree.
inline std::string TagText(const zMetaTag* tag)
{
    std::string text;
    if (tag != nullptr)
        zMetaParser::SaveTag(text, nullptr, tag, 0);
    return text;
}

// A renderer that also records the material and geometry calls, with the
// module tag each one saw.
class ResourceRenderer : public RecordingRenderer {
public:
    explicit ResourceRenderer(Tavrin* owner) : RecordingRenderer(owner, true) {}

    void Note(const char* call)
    {
        Record(call);
        moduleTags.push_back(GlobalModuleTag);
    }
    bool SetupMaterial(zMaterial*) override
    {
        Note("SetupMaterial");
        return true;
    }
    void FreeMaterial(zMaterial*) override { Note("FreeMaterial"); }
    void UpdateMaterial(zMaterial*) override { Note("UpdateMaterial"); }
    bool SetupGeometry(zGeometry*) override
    {
        Note("SetupGeometry");
        return true;
    }
    void FreeGeometry(zGeometry*) override { Note("FreeGeometry"); }

    std::vector<int32_t> moduleTags;
};
