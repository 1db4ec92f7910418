#include "framework/math/zCurve.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::string Name(const zMetaTag* tag)
{
    return tag->GetName().Get() != nullptr ? tag->GetName().Get() : "";
}

std::vector<const zMetaTag*> Children(const zMetaTag* tag)
{
    std::vector<const zMetaTag*> children;
    for (const zMetaTag* child = tag->GetFirstChild(); child != nullptr; child = child->GetNextSibling())
        children.push_back(child);
    return children;
}

// A "Curve" tag with a "Knot" node holding a count and the given key tags
// (name, text; a null text gives an integer tag instead).
std::unique_ptr<zMetaTag> CurveTag(int count, const std::vector<std::pair<const char*, const char*>>& keys)
{
    auto root = std::make_unique<zMetaTag>("Curve");
    zMetaTag* knots = root->CreateChild("Knot");
    knots->CreateInteger("Count", count);
    for (const auto& [name, text] : keys) {
        if (text != nullptr)
            knots->CreateString(name, text);
        else
            knots->CreateInteger(name, 1);
    }
    return root;
}

} // namespace

TEST(zCurveTag, WritesKnotsAndNonDefaultBehaviours)
{
    zCurve curve;
    ASSERT_TRUE(curve.Allocate(2));
    curve.GetKey(0)->time = 0.5f;
    curve.GetKey(0)->value = -1.25f;
    zCurveKey* key = curve.GetKey(1);
    key->kind = zCurveKey::HermiteAlt;
    key->time = 2.0f;
    key->value = 3.0f;
    for (int p = 0; p < zCurveKey::ParameterCount; ++p)
        key->parameters[p] = 0.125f * float(p + 1);
    curve.postBehaviour = zCurve::OffsetRepeat;

    std::unique_ptr<zMetaTag> tag(curve.AsMetaTag());
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(Name(tag.get()), "Curve");
    const auto children = Children(tag.get());
    ASSERT_EQ(children.size(), 2u);  // Constant pre-behaviour left out
    EXPECT_EQ(Name(children[0]), "Knot");
    EXPECT_EQ(Name(children[1]), "PostBehavior");
    EXPECT_STREQ(children[1]->GetString(), "OffsetRepeat");

    const auto knots = Children(children[0]);
    ASSERT_EQ(knots.size(), 3u);
    EXPECT_EQ(Name(knots[0]), "Count");
    EXPECT_EQ(knots[0]->GetType(), zMetaTag::TypeInteger);
    EXPECT_EQ(knots[0]->GetInteger(), 2);
    EXPECT_EQ(Name(knots[1]), "Knot");
    EXPECT_STREQ(knots[1]->GetString(), "0.500:-1.250000");
    EXPECT_EQ(Name(knots[2]), "KnotEx");
    // Internal kind 4 is file code 2.
    EXPECT_STREQ(knots[2]->GetString(), "2.000:2:3.000000:0.125:0.250:0.375:0.500:0.625:0.750:0.875:");

    curve.preBehaviour = zCurve::Reset;
    curve.postBehaviour = zCurve::Constant;
    tag.reset(curve.AsMetaTag());
    const auto withPre = Children(tag.get());
    ASSERT_EQ(withPre.size(), 2u);
    EXPECT_EQ(Name(withPre[1]), "PreBehavior");
    EXPECT_STREQ(withPre[1]->GetString(), "Reset");
}

TEST(zCurveTag, FileCodesMapBothWays)
{
    struct Case {
        int code;
        int32_t kind;
        int writtenCode;
    };
    const Case cases[] = {{0, 0, 0}, {1, 1, -1}, {2, 4, 2}, {3, 5, 3}, {4, 3, 4}, {5, 2, 5}, {6, 6, 6}, {7, 0, 0}, {-3, 0, 0}};
    for (const Case& c : cases) {
        const std::string text = "1.000:" + std::to_string(c.code) + ":2.000000:0.000:0.000:0.000:0.000:0.000:0.000:0.000:";
        auto tag = CurveTag(2, {{"Knot", "0:0"}, {"KnotEx", text.c_str()}});
        zCurve curve;
        ASSERT_TRUE(curve.FromMetaTag(nullptr, tag.get())) << c.code;
        EXPECT_EQ(curve.GetKey(1)->kind, c.kind) << c.code;
        std::unique_ptr<zMetaTag> back(curve.AsMetaTag());
        const auto knots = Children(Children(back.get())[0]);
        if (c.writtenCode < 0) {
            EXPECT_EQ(Name(knots[2]), "Knot");
        } else {
            const std::string written = knots[2]->GetString();
            EXPECT_EQ(written.substr(0, 8), "1.000:" + std::to_string(c.writtenCode) + ":") << c.code;
        }
    }
}

TEST(zCurveTag, ReadsKnotsParametersAndBehaviours)
{
    auto tag = CurveTag(3, {{"Knot", "0,5:1,25"}, {"KnotEx", "2.000:5:3.5:0.1:0.2:0.3:0.4:0.5:0.6:"}, {"KnotEx", "4:3:1:1:2:3:4:5:6:7:"}});
    tag->CreateString("PreBehavior", "Oscillate");
    tag->CreateString("PostBehavior", "Constant");
    zCurve curve;
    curve.postBehaviour = zCurve::Repeat;
    LogCapture capture;
    ASSERT_TRUE(curve.FromMetaTag(nullptr, tag.get()));
    EXPECT_TRUE(capture.lines.empty());
    ASSERT_EQ(curve.GetKeyCount(), 3u);
    EXPECT_EQ(curve.preBehaviour, zCurve::Oscillate);
    EXPECT_EQ(curve.postBehaviour, zCurve::Constant);

    const zCurveKey* first = curve.GetKey(0);
    EXPECT_EQ(first->kind, zCurveKey::Linear);
    EXPECT_FLOAT_EQ(first->time, 0.5f);   // comma as decimal separator
    EXPECT_FLOAT_EQ(first->value, 1.25f);

    const zCurveKey* second = curve.GetKey(1);
    EXPECT_EQ(second->kind, zCurveKey::TCB);
    EXPECT_FLOAT_EQ(second->value, 3.5f);
    EXPECT_FLOAT_EQ(second->parameters[zCurveKey::Tension], 0.1f);
    EXPECT_FLOAT_EQ(second->parameters[zCurveKey::OutTime], 0.6f);
    // The text ends after the sixth parameter: the seventh is -1.
    EXPECT_EQ(second->parameters[zCurveKey::OutValue], -1.0f);

    const zCurveKey* third = curve.GetKey(2);
    EXPECT_EQ(third->kind, zCurveKey::Bezier);
    EXPECT_EQ(third->parameters[zCurveKey::OutValue], 7.0f);
}

TEST(zCurveTag, RoundTripThroughZmlText)
{
    zCurve curve;
    ASSERT_TRUE(curve.Allocate(3));
    const float times[] = {0, 1.5f, 4};
    const float values[] = {2, -3.5f, 0.125f};
    const int32_t kinds[] = {zCurveKey::Linear, zCurveKey::Bezier, zCurveKey::Step};
    for (uint32_t i = 0; i < 3; ++i) {
        zCurveKey* key = curve.GetKey(i);
        key->time = times[i];
        key->value = values[i];
        key->kind = kinds[i];
        key->parameters[zCurveKey::Tangent] = -0.25f * float(i);
    }
    curve.preBehaviour = zCurve::Repeat;
    curve.postBehaviour = zCurve::Oscillate;

    zMetaFile document;
    document.AddRootTag(curve.AsMetaTag());
    std::string text;
    ASSERT_TRUE(zMetaParser::SaveText(&document, text));
    zMetaFile loaded;
    ASSERT_TRUE(zMetaParser::LoadText(text.data(), text.size(), &loaded, "curve.zml")) << text;

    zCurve back;
    ASSERT_TRUE(back.FromMetaTag(&loaded, loaded.GetFirstRootTag()));
    ASSERT_EQ(back.GetKeyCount(), 3u);
    EXPECT_EQ(back.preBehaviour, zCurve::Repeat);
    EXPECT_EQ(back.postBehaviour, zCurve::Oscillate);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(back.GetKey(i)->time, times[i]);
        EXPECT_EQ(back.GetKey(i)->value, values[i]);
        EXPECT_EQ(back.GetKey(i)->kind, kinds[i]);
        EXPECT_EQ(back.GetKey(i)->parameters[zCurveKey::Tangent], i == 0 ? 0.0f : -0.25f * float(i));
    }
}

TEST(zCurveTag, ErrorsThatStopReading)
{
    struct Case {
        const char* name;
        std::unique_ptr<zMetaTag> tag;
        const char* message;
        uint32_t keysLeft;
    };
    std::vector<Case> cases;
    cases.push_back({"root name", std::make_unique<zMetaTag>("Curves"), "Could not parse curve. Root tag id is incorrect (Curves).\n", 4});
    {
        auto root = std::make_unique<zMetaTag>("Curve");
        zMetaTag* knots = root->CreateChild("Knot");
        knots->CreateString("Knot", "0:0");
        knots->CreateInteger("Count", 1);
        cases.push_back({"count not first", std::move(root), "First sub-tag in <Curve> must be the knot <Count> tag.\n", 0});
    }
    {
        auto root = std::make_unique<zMetaTag>("Curve");
        root->CreateChild("Knot");
        cases.push_back({"no count", std::move(root), "First sub-tag in <Curve> must be the knot <Count> tag.\n", 0});
    }
    cases.push_back({"too many knots", CurveTag(1, {{"Knot", "0:0"}, {"Knot", "1:1"}}), "Too many knot in <Curve>, 1", 1});
    cases.push_back({"too many extended", CurveTag(1, {{"Knot", "0:0"}, {"KnotEx", "1:1:1:"}}), "Too many knot in <Knot>, 1", 1});
    cases.push_back({"too few", CurveTag(3, {{"Knot", "0:0"}, {"Knot", "1:1"}}), "<Curve> is corrupted, discarding.\n", 0});
    // A count far beyond the tags present is refused without being allocated.
    cases.push_back({"huge count", CurveTag(2000000000, {{"Knot", "0:0"}}), "<Curve> is corrupted, discarding.\n", 0});
    cases.push_back({"negative count", CurveTag(-5, {{"Knot", "0:0"}}), "Too many knot in <Curve>, -5", 0});

    for (Case& c : cases) {
        zCurve curve;
        ASSERT_TRUE(curve.Allocate(4));
        LogCapture capture;
        EXPECT_FALSE(curve.FromMetaTag(nullptr, c.tag.get())) << c.name;
        EXPECT_TRUE(capture.Contains(c.message)) << c.name;
        EXPECT_TRUE(capture.Contains("[!] zCurve::FromMetaTag (")) << c.name;
        EXPECT_EQ(curve.GetKeyCount(), c.keysLeft) << c.name;
    }
}

TEST(zCurveTag, WarningsLeaveTheTagOut)
{
    auto tag = CurveTag(2, {{"Knot", "0:0"}, {"Knot", nullptr}, {"KnotEx", nullptr}, {"Key", "5:5"}, {"KnotEx", "2:1:4:"}});
    tag->CreateString("PreBehavior", "Sometimes");
    tag->CreateInteger("PostBehavior", 2);
    tag->CreateFloat("Speed", 1.0f);
    zCurve curve;
    LogCapture capture;
    ASSERT_TRUE(curve.FromMetaTag(nullptr, tag.get()));
    ASSERT_EQ(curve.GetKeyCount(), 2u);
    EXPECT_EQ(curve.GetKey(1)->time, 2.0f);
    EXPECT_EQ(curve.GetKey(1)->value, 4.0f);
    EXPECT_EQ(curve.preBehaviour, zCurve::Constant);
    EXPECT_EQ(curve.postBehaviour, zCurve::Constant);
    const char* expected[] = {
        "Invalid knot tag while parsing curve.\n",
        "Invalid extended knot tag while parsing curve.\n",
        "Unsupported knot tag 'Key'.\n",
        "Unknown pre-behavior 'Sometimes'.\n",
        "Unknown post-behavior ''.\n",
        "Unknown tag 'Speed' in <Curve>.\n",
    };
    ASSERT_EQ(capture.lines.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(capture.lines[i].rfind("[*] zCurve::FromMetaTag (", 0), 0u) << capture.lines[i];
        EXPECT_NE(capture.lines[i].find(expected[i]), std::string::npos) << capture.lines[i];
    }
}

TEST(zCurveTag, ReadingResetsBehavioursLeftOutByTheWriter)
{
    zCurve curve;
    curve.preBehaviour = zCurve::Repeat;
    curve.postBehaviour = zCurve::Reset;
    auto tag = CurveTag(2, {{"Knot", "0:0"}, {"Knot", "1:1"}});
    ASSERT_TRUE(curve.FromMetaTag(nullptr, tag.get()));
    EXPECT_EQ(curve.preBehaviour, zCurve::Constant);
    EXPECT_EQ(curve.postBehaviour, zCurve::Constant);
    float v = 0;
    EXPECT_TRUE(curve.RawEvaluate(0.5f, v));
    EXPECT_FLOAT_EQ(v, 0.5f);
}
