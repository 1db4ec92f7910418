// Bodies placed by scripts ("ItemSetPhysicPosition", "ItemSetPhysicRotation")
// between frames of a real scene: the world goes on from the new pose, for
// bodies that move and for static ones.
#include "SceneTestSupport.h"

#include <cmath>
#include <string>

namespace {

std::string Body(float sx, float sy, float sz, float mass)
{
    return "<GColItem=<Active><Shapes=<GColShape=<Active><Type=\"Cuboid\"><Dimensions=<X=" + std::to_string(sx) +
           "><Y=" + std::to_string(sy) + "><Z=" + std::to_string(sz) + ">><Mass=" + std::to_string(mass) +
           ">>>><TauItem=<Mode=<Rigid>><Mass=" + std::to_string(mass) + ">>";
}

std::string At(float x, float y, float z)
{
    return "<Position=<X=" + std::to_string(x) + "><Y=" + std::to_string(y) + "><Z=" + std::to_string(z) + ">>";
}

class ScenePhysicPlacement : public SceneFixture {
protected:
    // Runs script text with the scene's globals; false when it fails.
    bool Run(const std::string& text)
    {
        const SQInteger top = sq_gettop(v);
        bool ok = SQ_SUCCEEDED(sq_compilebuffer(v, text.c_str(), SQInteger(text.size()), "placement", SQTrue));
        if (ok) {
            sq_pushroottable(v);
            ok = SQ_SUCCEEDED(sq_call(v, 1, SQFalse, SQFalse));
        }
        sq_settop(v, top);
        return ok;
    }
    void Frames(int count)
    {
        for (int i = 0; i < count; ++i)
            scene->Update(zScene::UpdateAll);
    }
    const TauItem& BodyOf(const char* name) const { return scene->Find(name)->body; }
    const zItem& ItemOf(const char* name) const { return *scene->Find(name)->GetCoreItem(); }
    void Begin(const std::string& items)
    {
        ASSERT_TRUE(ReadScene("placement.zml", SceneText(ItemTag("MCamera", "eye", 0) + items)));
        Start(166);
        // Every step runs, however slow the machine.
        scene->physics.clock = [] { return uint32_t(1); };
    }
};

// Two boxes fall side by side; one is lifted by 5 in the middle of its fall.
// It goes on falling from there with the velocity it had: from then on it
// keeps exactly 5 above its twin.
TEST_F(ScenePhysicPlacement, AMovingBodySetElsewhereGoesOnFromThereWithItsVelocity)
{
    Begin(ItemTag("MObject", "lifted", 1, Body(1, 1, 1, 1), At(0, 50, 0)) +
          ItemTag("MObject", "twin", 2, Body(1, 1, 1, 1), At(10, 50, 0)));
    Frames(20);
    const float speed = BodyOf("lifted").state.linearVelocity.y;
    ASSERT_LT(speed, -1.0f);
    const zVector before = BodyOf("lifted").state.position;
    ASSERT_TRUE(Run("local lifted = SceneFindItem(g_scene, \"lifted\");\n"
                    "local p = ItemGetPhysicPosition(lifted);\n"
                    "ItemSetPhysicPosition(lifted, Vector(p.x, p.y + 5.0, p.z));\n"));
    EXPECT_FLOAT_EQ(BodyOf("lifted").state.position.y, before.y + 5.0f);
    EXPECT_FLOAT_EQ(BodyOf("lifted").state.linearVelocity.y, speed);
    for (int frame = 0; frame < 20; ++frame) {
        Frames(1);
        SCOPED_TRACE(frame);
        const TauItem& lifted = BodyOf("lifted");
        const TauItem& twin = BodyOf("twin");
        EXPECT_NEAR(lifted.state.position.y - twin.state.position.y, 5.0f, 1e-3f);
        EXPECT_NEAR(lifted.state.worldCenterOfMass.y - twin.state.worldCenterOfMass.y, 5.0f, 1e-3f);
        EXPECT_FLOAT_EQ(lifted.state.linearVelocity.y, twin.state.linearVelocity.y);
        EXPECT_NEAR(ItemOf("lifted").position.y - ItemOf("twin").position.y, 5.0f, 1e-3f);
    }
    EXPECT_NEAR(BodyOf("lifted").state.position.x, 0.0f, 1e-5f);
}

// A box whose centre of mass lies 1 to the side of its reference point, with
// or without mass.
std::string OffCentre(float mass)
{
    return "<GColItem=<Active><Shapes=<GColShape=<Active><Type=\"Cuboid\"><Dimensions=<X=1><Y=1><Z=1>><Mass=" +
           std::to_string(mass) + ">>>><TauItem=<Mode=<Rigid>><Mass=" + std::to_string(mass) +
           "><Pivot=<X=1><Y=0><Z=0>>>";
}

// Turned by script, a body keeps the turn, turned about its reference point:
// the reference point stays where it was and the centre of mass goes round it.
TEST_F(ScenePhysicPlacement, ABodySetTurnedTurnsAboutItsReferencePoint)
{
    Begin(ItemTag("MObject", "moving", 1, OffCentre(1), At(0, 50, 0)) +
          ItemTag("MObject", "static", 2, OffCentre(0), At(10, 0, 0)));
    for (const char* name : {"moving", "static"})
        ASSERT_NEAR(BodyOf(name).Pivot.x, 1.0f, 1e-5f) << name;
    Frames(5);
    const float x[2] = {BodyOf("moving").state.position.x, BodyOf("static").state.position.x};
    ASSERT_TRUE(Run("foreach (name in [\"moving\", \"static\"])\n"
                    "    ItemSetPhysicRotation(SceneFindItem(g_scene, name), Vector(0.0, 0.0, 1.5707963));\n"));
    Frames(10);
    const zQuaternion turn = zQuaternion::FromEuler(0.0f, 0.0f, 1.5707963f, RotationOrderYXZ);
    int i = 0;
    for (const char* name : {"moving", "static"}) {
        SCOPED_TRACE(name);
        const TauItemState& s = BodyOf(name).state;
        EXPECT_NEAR(std::fabs(s.orientation.Dot(turn)), 1.0f, 1e-5f);
        EXPECT_NEAR(s.position.x, x[i++], 1e-4f);
        // The offset (1, 0, 0) turned a quarter about z.
        const zVector offset = s.worldCenterOfMass - s.position;
        EXPECT_NEAR(std::fabs(offset.x), 0.0f, 1e-4f);
        EXPECT_NEAR(std::fabs(offset.y), 1.0f, 1e-4f);
        EXPECT_NEAR(offset.z, 0.0f, 1e-4f);
    }
    EXPECT_FLOAT_EQ(BodyOf("static").state.position.y, 0.0f);
}

// A static box (mass 0), asleep by then, is moved and turned by script under a
// box that floats far from where the static one started: it stays where it
// was set, and the falling box lands on it there.
TEST_F(ScenePhysicPlacement, AStaticBodySetElsewhereStaysThereAndCollidesThere)
{
    Begin(ItemTag("MObject", "platform", 1, Body(6, 1, 6, 0), At(0, 0, 0)) +
          ItemTag("MObject", "box", 2, Body(1, 1, 1, 1), At(20, 3, 0)));
    // The box floats, asleep too, until the platform is under it.
    scene->Find("box")->body.Flag |= TauItem::FlagNoGravity;
    Frames(150);
    ASSERT_EQ(scene->Find("platform")->body.worldList, &scene->physics.sleepingItems)
        << "the platform never fell asleep";
    scene->Find("box")->body.Flag &= ~TauItem::FlagNoGravity;
    ASSERT_TRUE(Run("local platform = SceneFindItem(g_scene, \"platform\");\n"
                    "ItemSetPhysicPosition(platform, Vector(20.0, 0.0, 0.0));\n"
                    "ItemSetPhysicRotation(platform, Vector(0.0, 0.3, 0.0));\n"
                    "ItemApplyLinearForce(SceneFindItem(g_scene, \"box\"), Vector(0.0, -0.001, 0.0));\n"));
    Frames(240);
    const TauItem& platform = BodyOf("platform");
    EXPECT_FLOAT_EQ(platform.state.position.x, 20.0f);
    EXPECT_FLOAT_EQ(platform.state.position.y, 0.0f);
    EXPECT_FLOAT_EQ(ItemOf("platform").position.x, 20.0f);
    const zQuaternion turn = zQuaternion::FromEuler(0.0f, 0.3f, 0.0f, RotationOrderYXZ);
    EXPECT_NEAR(std::fabs(platform.state.orientation.Dot(turn)), 1.0f, 1e-5f);
    // Resting on the platform's top (0.5) with its own half height (0.5).
    const float y = BodyOf("box").state.position.y;
    EXPECT_NEAR(y, 1.0f, 0.05f) << "the box did not land on the platform where it was set";
    EXPECT_NEAR(BodyOf("box").state.position.x, 20.0f, 0.05f);
}

} // namespace
