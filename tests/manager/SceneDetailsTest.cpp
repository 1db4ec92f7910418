#include "SceneTestSupport.h"

#include "core/ace/zACEUnit.h"

#include <cmath>
#include <fstream>
#include <sstream>

namespace {

std::string GeometryFile(const std::string& name)
{
    std::ifstream in(std::string(TAVRIN_TEST_DATA) + "/geometry/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class SceneDetails : public SceneFixture {};

struct CommandCase {
    const char* name;
    int32_t code;
    float values[3];
    // Which component of the core item's vector the command drives, and its
    // value after one step of a quarter of the remaining time.
    int component;
    float expected;
};

void PrintTo(const CommandCase& c, std::ostream* out)
{
    *out << c.name;
}

class SceneItemCommands : public SceneDetails, public ::testing::WithParamInterface<CommandCase> {};

float Read(const zItem& item, const CommandCase& c)
{
    if (c.code == 2)
        return item.offsetMatrix.GetMatrix().GetRow(3).x;
    if (c.code == 5)
        return item.alpha;
    const zVector* v = c.code == 0 || c.code == 1 ? &item.position : c.code == 3 ? &item.scale : &item.rotation;
    return (&v->x)[c.component];
}

TEST_P(SceneItemCommands, MovesTheCoreItemByTheStepsShare)
{
    const CommandCase& c = GetParam();
    zMObject* object = scene->AddObject("o", nullptr);
    object->object.position = zVector(2, 0, 0);
    zACECommand command;
    command.code = c.code;
    command.duration = 2.0f;
    command.remaining = 2.0f;
    for (int i = 0; i < 3; ++i)
        command.parameters[i] = c.values[i];
    EXPECT_TRUE(object->ExecCommand(&command, 0.5f));
    EXPECT_NEAR(Read(object->object, c), c.expected, 1e-5f);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SceneItemCommands,
    ::testing::Values(CommandCase{"ToPosition", 0, {10, 0, 0}, 0, 2.0f + 8.0f * 0.25f},
                      CommandCase{"OffsetPosition", 1, {4, 0, 0}, 0, 2.0f + 4.0f * 0.25f},
                      CommandCase{"ToOffset", 2, {8, 0, 0}, 0, 2.0f},
                      CommandCase{"ToScale", 3, {0, 5, 0}, 1, 1.0f + 4.0f * 0.25f},
                      CommandCase{"ToRotation", 4, {0, 0, 90}, 2, 1.5707963f * 0.25f},
                      CommandCase{"ToAlpha", 5, {0, 0, 0}, 0, 0.75f}),
    [](const ::testing::TestParamInfo<CommandCase>& info) { return std::string(info.param.name); });

TEST_F(SceneDetails, SkinsBindTheirBonesAndReportBadEntries)
{
    dir.Write("strip.zml", GeometryFile("skinned_strip.zml"));
    const std::string skinned = "  <MObject=<MItem=<Id=\"skin\"><UId=0><Active>><Object=<Geometry=\"strip.zml\">>>\n";
    const std::string text = SceneText(
        skinned + ItemTag("MObject", "root", 1) + ItemTag("MObject", "tip", 2) + ItemTag("MLight", "lamp", 3) +
            ItemTag("MObject", "plain", 4),
        " <Skins=\n"
        "  <Skin=<UId=0>\n"
        "   <Bone=<Index=0><UId=1><BindMatrix=<R0=<X=1><Y=0><Z=0><W=0>><R1=<X=0><Y=1><Z=0><W=0>><R2=<X=0><Y=0><Z=1><W=0>><R3=<X=0><Y=2><Z=0><W=1>>>>\n"
        "   <Bone=<Index=1><UId=2><BindMatrix=7>>\n"
        "   <Bone=<Index=2><UId=2><BindMatrix=<R0=<X=1>>>>\n"
        "   <Bone=<Index=0><UId=40><BindMatrix=<R0=<X=1>>>>\n"
        "   <Bone=<Index=0><BindMatrix=<R0=<X=1>>>>\n"
        "  >\n"
        "  <Skin=<UId=3>>\n"
        "  <Skin=<UId=4>>\n"
        "  <Skin=<UId=99>>\n"
        "  <Skin>\n"
        " >\n");
    ASSERT_TRUE(ReadScene("skins.zml", text));
    zObject& skin = scene->FindObject("skin")->object;
    ASSERT_EQ(skin.boneCount, 2u);
    EXPECT_EQ(skin.bones[0], &scene->FindObject("root")->object);
    EXPECT_EQ(skin.bones[1], &scene->FindObject("tip")->object);
    EXPECT_FLOAT_EQ(skin.bindMatrices[0].m[7], 2.0f);
    EXPECT_EQ(Count("Invalid bone binding matrix."), 1u);
    EXPECT_EQ(Count("Invalid bone information, bone index out of bound."), 1u);
    EXPECT_EQ(Count("Invalid bone information, item UID out of bound."), 1u);
    EXPECT_EQ(Count("Invalid bone information, incomplete bone tag."), 1u);
    EXPECT_EQ(Count("Invalid skin information, item UID does not refer to a skinned object ('lamp')."), 1u);
    EXPECT_EQ(Count("Invalid skin information, object 'plain' is not bound to a skinned geometry."), 1u);
    EXPECT_EQ(Count("Invalid skin information, item UID out of bound."), 1u);
    EXPECT_EQ(Count("Incomplete skin information, object UID is missing."), 1u);

    zItem* bone = nullptr;
    EXPECT_TRUE(scene->FindBoneChild(scene->FindObject("root"), &bone));
    EXPECT_FALSE(scene->FindBoneChild(scene->FindObject("plain"), &bone));

    // A bone item that goes leaves its skin without a dangling bone.
    EXPECT_TRUE(scene->DestroyItem(scene->FindObject("tip")));
    EXPECT_EQ(skin.bones[1], nullptr);
    EXPECT_NE(skin.bones[0], nullptr);
    Start();
    scene->AddCamera("eye");
    scene->Update(zScene::UpdateAll);
}

TEST_F(SceneDetails, ExclusionFromRecordFollowsTheLinkChain)
{
    zMObject* top = scene->AddObject("top", nullptr);
    zMObject* middle = scene->AddObject("middle", nullptr);
    zMObject* leaf = scene->AddObject("leaf", nullptr);
    middle->object.SetLink(&top->object);
    leaf->object.SetLink(&middle->object);
    EXPECT_FALSE(zScene::IsExcludedFromRecord(leaf));
    top->excludeFromRecord = 1;
    EXPECT_TRUE(zScene::IsExcludedFromRecord(leaf));
    EXPECT_FALSE(zScene::IsExcludedFromRecord(scene->AddObject("alone", nullptr)));
}

TEST_F(SceneDetails, BillboardsFaceTheCamera)
{
    zMCamera* camera = scene->AddCamera("eye");
    camera->camera.rotation = zVector(0, 1.0f, 0);
    camera->UpdateTransform();
    zMObject* sprite = scene->AddObject("sprite", nullptr);
    sprite->billboardFlags |= zMItem::BillboardFlag;
    sprite->object.rotation = zVector(0, 0, 0.5f);
    Start();
    scene->Update(zScene::UpdateAll);
    const zMatrix3 expected = zMatrix3::FromMatrix4(camera->camera.worldMatrix) * zMatrix3::RotationZ(0.5f);
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(sprite->object.orientation.m[i], expected.m[i], 1e-5f) << i;
    EXPECT_EQ(sprite->object.orientationMethod, zItem::OrientationEuler);
}

TEST_F(SceneDetails, ActiveListFollowsActivation)
{
    zMObject* a = scene->AddObject("a", nullptr);
    EXPECT_EQ(scene->activeItems.size(), 1u);
    EXPECT_TRUE(scene->UpdateActiveList(a, true));
    EXPECT_FALSE(scene->UpdateActiveList(a, true));
    EXPECT_TRUE(scene->UpdateActiveList(a, false));
    EXPECT_TRUE(scene->UpdateActiveList(a, false));
    EXPECT_EQ(scene->activeItems.size(), 1u);
    a->Activate(false, false);
    EXPECT_TRUE(scene->activeItems.empty());
}

} // namespace
