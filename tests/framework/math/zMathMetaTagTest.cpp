#include "MathTestSupport.h"

#include "framework/math/zMatrix3.h"
#include "framework/math/zMatrix4.h"
#include "framework/math/zQuaternion.h"
#include "framework/math/zVector.h"
#include "framework/metafile/zMetaFile.h"
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

// A node whose children hold the given floats under the given names.
zMetaTag* FloatNode(const char* name, const std::vector<std::pair<const char*, float>>& values)
{
    zMetaTag* tag = new zMetaTag(name);
    for (const auto& [childName, value] : values)
        tag->CreateFloat(childName, value);
    return tag;
}

} // namespace

TEST(zVectorTag, WritesXYZAndOptionallyW)
{
    const zVector v(1.5f, -2.0f, 3.25f, 0.5f);
    std::unique_ptr<zMetaTag> plain(v.AsMetaTag());
    EXPECT_EQ(Name(plain.get()), "Vector");
    auto children = Children(plain.get());
    ASSERT_EQ(children.size(), 3u);
    const char* names[] = {"X", "Y", "Z", "W"};
    const float values[] = {1.5f, -2.0f, 3.25f, 0.5f};
    for (size_t i = 0; i < children.size(); ++i) {
        EXPECT_EQ(Name(children[i]), names[i]);
        EXPECT_EQ(children[i]->GetType(), zMetaTag::TypeFloat);
        EXPECT_EQ(children[i]->GetFloat(), values[i]);
    }

    std::unique_ptr<zMetaTag> named(v.AsMetaTag("Position", true));
    EXPECT_EQ(Name(named.get()), "Position");
    children = Children(named.get());
    ASSERT_EQ(children.size(), 4u);
    EXPECT_EQ(Name(children[3]), "W");
    EXPECT_EQ(children[3]->GetFloat(), 0.5f);
}

TEST(zVectorTag, ReadsChildrenByPosition)
{
    struct Case {
        const char* name;
        bool result;
        zVector expected;
    };
    zMetaFile document;
    zMetaTag* target = document.AddRootTag(new zMetaTag("Target", 42.0f));
    ASSERT_NE(target, nullptr);

    std::vector<std::pair<std::unique_ptr<zMetaTag>, Case>> cases;
    // Names do not matter.
    cases.emplace_back(FloatNode("Vector", {{"A", 1}, {"B", 2}, {"C", 3}}), Case{"names", true, {1, 2, 3, 7}});
    {
        auto* tag = new zMetaTag("Vector");
        tag->CreateInteger("X", 4);
        tag->CreateString("Y", "5");
        tag->CreateFloat("Z", 6);
        tag->CreateShortcut("W", "Target;");   // not resolved: not a number
        cases.emplace_back(tag, Case{"types", true, {4, -999, 6, -999}});
    }
    cases.emplace_back(FloatNode("Vector", {{"X", 1}, {"Y", 2}}), Case{"short", false, {1, 2, 9, 7}});
    cases.emplace_back(FloatNode("Vector", {{"X", 1}, {"Y", 2}, {"Z", 3}, {"W", 4}, {"V", 5}}), Case{"five", true, {1, 2, 3, 4}});
    cases.emplace_back(new zMetaTag("Empty"), Case{"empty", false, {9, 9, 9, 7}});
    for (const auto& [tag, c] : cases) {
        zVector v(9, 9, 9, 7);
        EXPECT_EQ(v.FromMetaTag(tag.get()), c.result) << c.name;
        EXPECT_EQ(v.x, c.expected.x) << c.name;
        EXPECT_EQ(v.y, c.expected.y) << c.name;
        EXPECT_EQ(v.z, c.expected.z) << c.name;
        EXPECT_EQ(v.w, c.expected.w) << c.name;
    }
    zVector v;
    EXPECT_FALSE(v.FromMetaTag(nullptr));
}

TEST(zVector2Tag, RoundTripAndShortcuts)
{
    std::unique_ptr<zMetaTag> tag(zVector2(0.25f, -8).AsMetaTag());
    EXPECT_EQ(Name(tag.get()), "Vector2");
    zVector2 back;
    ASSERT_TRUE(back.FromMetaTag(nullptr, tag.get()));
    EXPECT_EQ(back.x, 0.25f);
    EXPECT_EQ(back.y, -8.0f);

    zMetaFile document;
    document.AddRootTag(new zMetaTag("Width", 640));
    zMetaTag size("Size");
    size.CreateShortcut("X", "Width;");
    size.CreateFloat("Y", 480.0f);
    zVector2 resolved;
    ASSERT_TRUE(resolved.FromMetaTag(&document, &size));
    EXPECT_EQ(resolved.x, 640.0f);
    EXPECT_EQ(resolved.y, 480.0f);

    // Without a document the shortcut is no number.
    ASSERT_TRUE(resolved.FromMetaTag(nullptr, &size));
    EXPECT_EQ(resolved.x, -999.0f);

    LogCapture capture;
    zMetaTag broken("Size");
    broken.CreateShortcut("X", "Missing;");
    broken.CreateFloat("Y", 1.0f);
    broken.CreateFloat("Z", 2.0f);
    zVector2 partial(5, 5);
    EXPECT_FALSE(partial.FromMetaTag(&document, &broken));
    EXPECT_EQ(partial.y, 5.0f);

    zMetaTag one("Size");
    one.CreateFloat("X", 3.0f);
    EXPECT_FALSE(partial.FromMetaTag(nullptr, &one));
    EXPECT_EQ(partial.x, 3.0f);
}

TEST(zMatrixTag, Matrix3RoundTripAndRowNames)
{
    zMatrix3 m;
    m.Set(1, 2, 3, 4, 5, 6, 7, 8, 9);
    std::unique_ptr<zMetaTag> tag(m.AsMetaTag());
    EXPECT_EQ(Name(tag.get()), "Mtx3");
    const auto rows = Children(tag.get());
    ASSERT_EQ(rows.size(), 3u);
    const char* names[] = {"R0", "R1", "R2"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Name(rows[size_t(i)]), names[i]);
        const auto values = Children(rows[size_t(i)]);
        ASSERT_EQ(values.size(), 3u);  // no W
        EXPECT_EQ(values[0]->GetFloat(), float(3 * i + 1));
        EXPECT_EQ(values[2]->GetFloat(), float(3 * i + 3));
    }
    zMatrix3 back;
    ASSERT_TRUE(back.FromMetaTag(nullptr, tag.get()));
    EXPECT_TRUE(MatricesNear(back, m, 0));

    std::unique_ptr<zMetaTag> named(m.AsMetaTag("Orientation"));
    EXPECT_EQ(Name(named.get()), "Orientation");
}

TEST(zMatrixTag, Matrix3WithMissingRowsKeepsWhatWasRead)
{
    zMetaTag tag("Mtx3");
    tag.AddChild(FloatNode("A", {{"X", 1}, {"Y", 2}, {"Z", 3}}));
    tag.AddChild(FloatNode("B", {{"X", 4}, {"Y", 5}, {"Z", 6}}));
    zMatrix3 m;
    EXPECT_FALSE(m.FromMetaTag(nullptr, &tag));
    EXPECT_TRUE(VectorNear(m.GetRow(0), 1, 2, 3, 0));
    EXPECT_TRUE(VectorNear(m.GetRow(1), 4, 5, 6, 0));
    EXPECT_TRUE(VectorNear(m.GetRow(2), 0, 0, 1, 0));

    // A short row fails as well, keeping its components that were given.
    tag.AddChild(FloatNode("C", {{"X", 7}, {"Y", 8}}));
    zMatrix3 n;
    EXPECT_FALSE(n.FromMetaTag(nullptr, &tag));
    EXPECT_TRUE(VectorNear(n.GetRow(2), 7, 8, 1, 0));

    // Rows may be shortcuts into the document.
    zMetaFile document;
    document.AddRootTag(FloatNode("Up", {{"X", 0}, {"Y", 1}, {"Z", 0}}));
    zMetaTag linked("Mtx3");
    linked.AddChild(FloatNode("R0", {{"X", 1}, {"Y", 0}, {"Z", 0}}));
    linked.CreateShortcut("R1", "Up;");
    linked.AddChild(FloatNode("R2", {{"X", 0}, {"Y", 0}, {"Z", 1}}));
    zMatrix3 o = zMatrix3::ScaleMatrix(zVector(5, 5, 5));
    ASSERT_TRUE(o.FromMetaTag(&document, &linked));
    EXPECT_TRUE(MatricesNear(o, IdentityMatrix3, 0));
}

TEST(zMatrixTag, Matrix4RowsCarryW)
{
    zMatrix4 m;
    for (int i = 0; i < 16; ++i)
        m.m[i] = float(i) * 0.5f;
    std::unique_ptr<zMetaTag> tag(m.AsMetaTag());
    EXPECT_EQ(Name(tag.get()), "Mtx4");
    const auto rows = Children(tag.get());
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(Name(rows[3]), "R3");
    const auto translation = Children(rows[3]);
    ASSERT_EQ(translation.size(), 4u);
    EXPECT_EQ(translation[0]->GetFloat(), 1.5f);   // m3
    EXPECT_EQ(translation[3]->GetFloat(), 7.5f);   // m15
    zMatrix4 back;
    ASSERT_TRUE(back.FromMetaTag(nullptr, tag.get()));
    EXPECT_TRUE(MatricesNear(back, m, 0));

    // A row given without w keeps the matrix's own.
    zMetaTag three("Mtx4");
    for (int i = 0; i < 4; ++i)
        three.AddChild(FloatNode("R", {{"X", float(i)}, {"Y", 0}, {"Z", 0}}));
    zMatrix4 identity;
    ASSERT_TRUE(identity.FromMetaTag(nullptr, &three));
    EXPECT_EQ(identity.m[15], 1.0f);
    EXPECT_EQ(identity.m[12], 0.0f);
    EXPECT_EQ(identity.m[3], 3.0f);

    zMetaTag shortTag("Mtx4");
    shortTag.AddChild(FloatNode("R0", {{"X", 2}, {"Y", 0}, {"Z", 0}, {"W", 0}}));
    zMatrix4 partial;
    EXPECT_FALSE(partial.FromMetaTag(nullptr, &shortTag));
    EXPECT_EQ(partial.m[0], 2.0f);
}

TEST(zMatrixTag, TransformMatrixRecomputesItsInverse)
{
    const zMatrix4 m = zMatrix4::FromTransformation(zVector(1, 2, 3), zVector(0.5f, 0.1f, -0.3f), zVector(2, 2, 2), zVector(0, 0, 0));
    zTransformMatrix t;
    t.Set(m);
    std::unique_ptr<zMetaTag> tag(t.AsMetaTag());
    EXPECT_EQ(Name(tag.get()), "Mtx4");
    zTransformMatrix back;
    ASSERT_TRUE(back.FromMetaTag(nullptr, tag.get()));
    EXPECT_TRUE(MatricesNear(back.GetMatrix(), m, 0));
    EXPECT_TRUE(MatricesNear(back.GetInverse(), t.GetInverse(), 0));
}

TEST(zQuaternionTag, FourChildrenByPosition)
{
    const zQuaternion q(0.1f, 0.2f, 0.3f, 0.9f);
    std::unique_ptr<zMetaTag> tag(q.AsMetaTag());
    EXPECT_EQ(Name(tag.get()), "Quaternion");
    const auto children = Children(tag.get());
    ASSERT_EQ(children.size(), 4u);
    EXPECT_EQ(Name(children[3]), "W");
    zQuaternion back(0, 0, 0, 0);
    ASSERT_TRUE(back.FromMetaTag(nullptr, tag.get()));
    EXPECT_EQ(back.x, 0.1f);
    EXPECT_EQ(back.w, 0.9f);

    zMetaTag mixed("Rotation");
    mixed.CreateInteger("A", 1);
    mixed.CreateString("B", "x");
    mixed.CreateFloat("C", 0.5f);
    zQuaternion partial(7, 7, 7, 7);
    EXPECT_FALSE(partial.FromMetaTag(nullptr, &mixed));
    EXPECT_EQ(partial.x, 1.0f);
    EXPECT_EQ(partial.y, -999.0f);
    EXPECT_EQ(partial.z, 0.5f);
    EXPECT_EQ(partial.w, 7.0f);
    mixed.CreateFloat("D", 0.25f);
    EXPECT_TRUE(partial.FromMetaTag(nullptr, &mixed));
    EXPECT_EQ(partial.w, 0.25f);
}
