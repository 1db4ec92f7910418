#include "CoreTestSupport.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include "core/material/zMaterial.h"
#include "core/render/zShaderRecord.h"
#include "core/zad/Tavrin.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// A renderer whose LoadShader hands out plain records, or none for programs
// named "Rejected", and which records what it is asked to free.
class ShaderRenderer : public RecordingRenderer {
public:
    using RecordingRenderer::RecordingRenderer;

    zShaderRecord* LoadShader(const char* name, const char* vertex, const char* pixel) override
    {
        loaded.push_back(std::string(name) + "|" + vertex + "|" + pixel);
        if (std::string(name) == "Rejected")
            return nullptr;
        return new zShaderRecord(name);
    }
    void FreeShader(zShaderRecord* shader) override { freed.emplace_back(shader->id.Get()); }

    std::vector<std::string> loaded;
    std::vector<std::string> freed;
};

std::string Shader(const std::string& name, const std::string& vertex = "v", const std::string& pixel = "p")
{
    return "<Shader=<Name=\"" + name + "\"><Vertex=\"" + vertex + "\"><Pixel=\"" + pixel + "\">>\n";
}

std::string Include(const std::string& uri, const std::string& tag)
{
    return "<Include=<Uri=\"" + uri + "\"><Tag=\"" + tag + "\">>\n";
}

std::string Library(const std::string& body)
{
    return "<ZML=1.0>\n" + body;
}

class ShaderLibraryTest : public ::testing::Test {
protected:
    std::vector<std::string> ShaderNames() const
    {
        std::vector<std::string> names;
        zLinkedListCursor cursor;
        while (zShaderRecord* record = renderer.shaders.NextAs<zShaderRecord>(cursor))
            names.emplace_back(record->id.Get());
        return names;
    }
    std::vector<std::string> Libraries() const
    {
        std::vector<std::string> paths;
        for (auto* node = renderer.shaderLibraries.GetFirst(); node != nullptr; node = node->next)
            paths.emplace_back(node->value.Get());
        return paths;
    }

    TempDir dir;
    Tavrin core;
    ShaderRenderer renderer{&core, false};
};

TEST_F(ShaderLibraryTest, RegistersTheProfileShadersWithTheirLibrary)
{
    const std::string path = dir.Write(
        "lib.zml", Library("<Other=" + Shader("Wrong") + ">\n<GLSL_Deferred=" + Shader("Ambient", "vs1", "fs1") +
                           "<Comment=\"ignored\">\n" + Shader("Light", "vs2", "fs2") + ">\n"));
    LogCapture capture;
    ASSERT_TRUE(renderer.LoadShaderLibrary(path.c_str(), "GLSL_Deferred;"));

    EXPECT_EQ(renderer.loaded, (std::vector<std::string>{"Ambient|vs1|fs1", "Light|vs2|fs2"}));
    EXPECT_EQ(ShaderNames(), (std::vector<std::string>{"Ambient", "Light"}));
    EXPECT_EQ(Libraries(), std::vector<std::string>{path});
    zLinkedListCursor cursor;
    while (zShaderRecord* record = renderer.shaders.NextAs<zShaderRecord>(cursor)) {
        ASSERT_NE(record->library, nullptr);
        EXPECT_TRUE(record->library->value.EqualsCString(path.c_str()));
    }
    EXPECT_TRUE(capture.Contains("Loading shader library '" + path + "' (profile GLSL_Deferred;)..."));
    EXPECT_TRUE(capture.Contains("Done, 2 shader(s) in library."));
}

TEST_F(ShaderLibraryTest, WithoutAProfileTheDefaultOneIsRead)
{
    const std::string path = dir.Write("lib.zml", Library("<Default=" + Shader("Base") + ">\n"));
    LogCapture capture;
    ASSERT_TRUE(renderer.LoadShaderLibrary(path.c_str(), nullptr));
    EXPECT_EQ(ShaderNames(), std::vector<std::string>{"Base"});
    EXPECT_TRUE(capture.Contains("(profile 'Default')..."));
}

TEST_F(ShaderLibraryTest, APathIsReadOnceWhateverTheProfile)
{
    const std::string path =
        dir.Write("lib.zml", Library("<A=" + Shader("First") + ">\n<B=" + Shader("Second") + ">\n"));
    ASSERT_TRUE(renderer.LoadShaderLibrary(path.c_str(), "A"));
    LogCapture capture;
    EXPECT_TRUE(renderer.LoadShaderLibrary(path.c_str(), "B"));
    EXPECT_TRUE(capture.lines.empty());
    EXPECT_EQ(ShaderNames(), std::vector<std::string>{"First"});
    EXPECT_EQ(Libraries().size(), 1u);
}

TEST_F(ShaderLibraryTest, AnIncludeCycleEndsAtTheLibraryAlreadyLoaded)
{
    const std::string a = dir.Path("a.zml");
    const std::string b = dir.Path("b.zml");
    dir.Write("a.zml", Library("<P=" + Shader("A1") + Include(b, "Q") + Shader("A2") + ">\n"));
    dir.Write("b.zml", Library("<Q=" + Include(a, "P") + Shader("B1") + ">\n"));
    LogCapture capture;
    ASSERT_TRUE(renderer.LoadShaderLibrary(a.c_str(), "P"));
    EXPECT_EQ(ShaderNames(), (std::vector<std::string>{"A1", "B1", "A2"}));
    EXPECT_EQ(Libraries(), (std::vector<std::string>{a, b}));
    EXPECT_TRUE(capture.Contains("-- Loading external shader library '" + b + "'."));
    // Nested libraries count every shader this renderer loaded so far.
    EXPECT_TRUE(capture.Contains("Done, 2 shader(s) in library."));
    EXPECT_TRUE(capture.Contains("Done, 3 shader(s) in library."));
    zLinkedListCursor cursor;
    renderer.shaders.Next(cursor);
    auto* nested = renderer.shaders.NextAs<zShaderRecord>(cursor);
    EXPECT_TRUE(nested->library->value.EqualsCString(b.c_str()));
}

TEST_F(ShaderLibraryTest, AChainOfIncludesEndsAtItsNestingLimit)
{
    // Each library includes the next: loading the first would otherwise
    // recurse once per file.
    constexpr int libraries = 20;
    for (int i = 0; i < libraries; ++i) {
        const std::string next = i + 1 < libraries ? Include(dir.Path("l" + std::to_string(i + 1) + ".zml"), "P") : "";
        dir.Write("l" + std::to_string(i) + ".zml", Library("<P=" + next + Shader("S" + std::to_string(i)) + ">\n"));
    }
    LogCapture capture;
    ASSERT_TRUE(renderer.LoadShaderLibrary(dir.Path("l0.zml").c_str(), "P"));
    EXPECT_EQ(Libraries().size(), 17u);
    EXPECT_EQ(ShaderNames().size(), 17u);
    EXPECT_TRUE(capture.Contains("Include of '" + dir.Path("l17.zml") + "' in '" + dir.Path("l16.zml") +
                                 "' is nested more than 16 libraries deep, not loaded."));
    // The limit is on nesting: the library refused there loads on its own.
    ASSERT_TRUE(renderer.LoadShaderLibrary(dir.Path("l17.zml").c_str(), "P"));
    EXPECT_EQ(Libraries().size(), 20u);
}

TEST_F(ShaderLibraryTest, AProfileWithoutShadersLoadsNone)
{
    const std::string path = dir.Write("lib.zml", Library("<Default=<Note=1>>\n"));
    LogCapture capture;
    EXPECT_TRUE(renderer.LoadShaderLibrary(path.c_str(), nullptr));
    EXPECT_TRUE(capture.Contains("Done, 0 shader(s) in library."));
}

TEST_F(ShaderLibraryTest, ARejectedProgramIsSkippedSilently)
{
    const std::string path = dir.Write("lib.zml", Library("<Default=" + Shader("Rejected") + Shader("Kept") + ">\n"));
    LogCapture capture;
    EXPECT_TRUE(renderer.LoadShaderLibrary(path.c_str(), nullptr));
    EXPECT_EQ(renderer.loaded.size(), 2u);
    EXPECT_EQ(ShaderNames(), std::vector<std::string>{"Kept"});
    EXPECT_FALSE(capture.Contains("[!]"));
}

// A library that fails as a whole: result false, the message, whether the
// path counts as loaded, and no shader registered after the failure.
struct WholeFailure {
    const char* label;
    const char* file; // null: no file at all
    const char* profile;
    bool nullPath;
    const char* message; // null: no error line
    bool remembered;
};

// Names the case in test listings and failure messages.
void PrintTo(const WholeFailure& c, std::ostream* out)
{
    *out << c.label;
}

class ShaderLibraryFailureTest : public ShaderLibraryTest, public ::testing::WithParamInterface<WholeFailure> {};

TEST_P(ShaderLibraryFailureTest, FailsWithItsMessage)
{
    const WholeFailure& c = GetParam();
    const std::string path = c.file != nullptr ? dir.Write("lib.zml", c.file) : dir.Path("missing.zml");
    LogCapture capture;
    EXPECT_FALSE(renderer.LoadShaderLibrary(c.nullPath ? nullptr : path.c_str(), c.profile));
    if (c.message != nullptr) {
        EXPECT_TRUE(capture.Contains(std::string("[!] zRenderer::LoadShaderLibrary (")));
        EXPECT_TRUE(capture.Contains(c.message)) << c.message;
    }
    EXPECT_EQ(Libraries().size(), c.remembered ? 1u : 0u);
    EXPECT_TRUE(renderer.loaded.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShaderLibraryFailureTest,
    ::testing::Values(
        WholeFailure{"NoPath", nullptr, nullptr, true, "no library path specified.", false},
        WholeFailure{"Unreadable", nullptr, "P", false, nullptr, false},
        WholeFailure{"Malformed", "<ZML=1.0>\n<P=<Shader=<Name=\"a\"", "P", false, nullptr, false},
        WholeFailure{"MissingProfile", "<ZML=1.0>\n<Q=<Shader=<Name=\"a\"><Vertex=\"v\"><Pixel=\"p\">>>\n", "P",
                     false, "profile 'P' not found.", true},
        WholeFailure{"MissingDefault", "<ZML=1.0>\n<Q=<X=1>>\n", nullptr, false, "profile 'Default' not found.", true},
        WholeFailure{"PureProfile", "<ZML=1.0>\n<P>\n", "P", false, "profile 'P' empty.", true},
        WholeFailure{"ValueProfile", "<ZML=1.0>\n<P=\"text\">\n", "P", false, "profile 'P' empty.", true}),
    [](const ::testing::TestParamInfo<WholeFailure>& info) { return std::string(info.param.label); });

// Children that fail alone: the message, and the shaders before and after
// them still registered.
struct ChildFailure {
    const char* label;
    std::string child;
    const char* message;
};

// Names the case in test listings and failure messages.
void PrintTo(const ChildFailure& c, std::ostream* out)
{
    *out << c.label;
}

class ShaderLibraryChildFailureTest : public ShaderLibraryTest, public ::testing::WithParamInterface<ChildFailure> {};

TEST_P(ShaderLibraryChildFailureTest, SkipsTheChildAndGoesOn)
{
    const ChildFailure& c = GetParam();
    const std::string path = dir.Write("lib.zml", Library("<P=" + Shader("Before") + c.child + Shader("After") + ">\n"));
    LogCapture capture;
    EXPECT_TRUE(renderer.LoadShaderLibrary(path.c_str(), "P"));
    EXPECT_TRUE(capture.Contains(c.message)) << c.message;
    EXPECT_EQ(ShaderNames(), (std::vector<std::string>{"Before", "After"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShaderLibraryChildFailureTest,
    ::testing::Values(
        ChildFailure{"IncludeWithoutTag", "<Include=<Uri=\"x.zml\">>\n", "incomplete Include() command."},
        ChildFailure{"IncludeWithoutUri", "<Include=<Tag=\"P\">>\n", "incomplete Include() command."},
        ChildFailure{"IncludeUriNotAString", "<Include=<Uri=3><Tag=\"P\">>\n", "incomplete Include() command."},
        ChildFailure{"IncludeOfAMissingFile", Include("/nonexistent/none.zml", "P"), "failed to load shader library."},
        ChildFailure{"ShaderWithoutPixel", "<Shader=<Name=\"x\"><Vertex=\"v\">>\n",
                     "shader incomplete (check <id>, <vertex> and <pixel> tags)."},
        ChildFailure{"ShaderWithoutName", "<Shader=<Vertex=\"v\"><Pixel=\"p\">>\n",
                     "shader incomplete (check <id>, <vertex> and <pixel> tags)."},
        ChildFailure{"PureShader", "<Shader>\n", "shader incomplete (check <id>, <vertex> and <pixel> tags)."}),
    [](const ::testing::TestParamInfo<ChildFailure>& info) { return std::string(info.param.label); });

TEST_F(ShaderLibraryTest, AnIncludedLibraryWithoutItsProfileFailsAlone)
{
    const std::string b = dir.Write("b.zml", Library("<Q=" + Shader("Nested") + ">\n"));
    const std::string a = dir.Write("a.zml", Library("<P=" + Include(b, "Missing") + Shader("Own") + ">\n"));
    LogCapture capture;
    EXPECT_TRUE(renderer.LoadShaderLibrary(a.c_str(), "P"));
    EXPECT_TRUE(capture.Contains("profile 'Missing' not found."));
    EXPECT_TRUE(capture.Contains("failed to load shader library."));
    EXPECT_EQ(ShaderNames(), std::vector<std::string>{"Own"});
    EXPECT_EQ(Libraries(), (std::vector<std::string>{a, b}));
}

std::string hookTarget;
std::vector<std::string> loadedHookCalls;

TEST_F(ShaderLibraryTest, TheMissingHookMayLocateTheLibrary)
{
    hookTarget = dir.Write("real.zml", Library("<Default=" + Shader("Found") + ">\n"));
    loadedHookCalls.clear();
    GlobalShaderLibraryMissingHook = [](zString& path) { path.Assign(hookTarget.c_str()); };
    GlobalShaderLibraryLoadedHook = [](const zString& path) { loadedHookCalls.emplace_back(path.Get()); };
    const bool loaded = renderer.LoadShaderLibrary("alias.zml", nullptr);
    const bool again = renderer.LoadShaderLibrary("alias.zml", nullptr);
    GlobalShaderLibraryMissingHook = nullptr;
    GlobalShaderLibraryLoadedHook = nullptr;

    EXPECT_TRUE(loaded);
    EXPECT_TRUE(again);
    EXPECT_EQ(ShaderNames(), std::vector<std::string>{"Found"});
    EXPECT_EQ(loadedHookCalls, std::vector<std::string>{"alias.zml"});
    EXPECT_EQ(Libraries(), std::vector<std::string>{"alias.zml"});
}

TEST_F(ShaderLibraryTest, AHookThatCannotLocateTheLibraryFails)
{
    GlobalShaderLibraryMissingHook = [](zString& path) { path.Assign("/nonexistent/still-missing.zml"); };
    const bool loaded = renderer.LoadShaderLibrary(dir.Path("missing.zml").c_str(), nullptr);
    GlobalShaderLibraryMissingHook = nullptr;
    EXPECT_FALSE(loaded);
    EXPECT_TRUE(Libraries().empty());
}

TEST_F(ShaderLibraryTest, FreeAllShadersFreesInListOrderAndForgetsTheLibraries)
{
    const std::string path = dir.Write("lib.zml", Library("<Default=" + Shader("X") + Shader("Y") + Shader("Z") + ">\n"));
    ASSERT_TRUE(renderer.LoadShaderLibrary(path.c_str(), nullptr));
    renderer.FreeAllShaders();
    EXPECT_EQ(renderer.freed, (std::vector<std::string>{"X", "Y", "Z"}));
    EXPECT_EQ(renderer.shaders.GetCount(), 0);
    EXPECT_TRUE(Libraries().empty());
    // A renderer that closes and reopens video reads its programs again.
    EXPECT_TRUE(renderer.LoadShaderLibrary(path.c_str(), nullptr));
    EXPECT_EQ(renderer.shaders.GetCount(), 3);
}

TEST(MaterialShaderLibraryTest, AMaterialLoadsItsLibraryAndNamesItWhenWritten)
{
    TempDir dir;
    Tavrin core;
    ShaderRenderer renderer(&core, true);
    const std::string path = dir.Write("glass.zml", Library("<Default=" + Shader("Glass") + ">\n"));
    const std::string text = "<ZML=1.0>\n<Material=<Id=\"m\"><ShaderLibrary=\"" + path + "\"><Shader=\"Glass\">>\n";
    zMetaFile document;
    ASSERT_TRUE(zMetaParser::LoadText(text.data(), text.size(), &document));
    zMaterial material(&core);
    ASSERT_TRUE(material.FromMetaTag(&document, document.GetFirstRootTag()));
    EXPECT_EQ(renderer.loaded, std::vector<std::string>{"Glass|v|p"});
    EXPECT_TRUE(material.shader == "Glass");

    std::unique_ptr<zMetaTag> written(material.AsMetaTag(nullptr));
    ASSERT_NE(written, nullptr);
    const zMetaTag* library = written->GetTag("ShaderLibrary");
    ASSERT_NE(library, nullptr);
    EXPECT_STREQ(library->GetString(), path.c_str());
    EXPECT_EQ(library->GetNextSibling(), written->GetTag("Shader"));

    // A shader no library provided is written without one.
    material.shader = "Unknown";
    written.reset(material.AsMetaTag(nullptr));
    EXPECT_EQ(written->GetTag("ShaderLibrary"), nullptr);
    EXPECT_NE(written->GetTag("Shader"), nullptr);
}

} // namespace
