#include "manager_binding/zBindMotion.h"

#include "framework/math/zCurve.h"
#include "framework/math/zVector.h"
#include "manager/motion/zMotion.h"
#include "manager_binding/SqBinding.h"

namespace {

// MotionGetName(motion) -> the motion's name.
SQInteger MotionGetName(HSQUIRRELVM v)
{
    zMotion* motion = nullptr;
    if (!SqGetSafePtr(v, 2, &motion, SqPtrMotion))
        return sq_suspendvm(v);
    if (motion == nullptr) {
        sq_pushstring(v, "Null Motion Object", -1);
        return 1;
    }
    const char* name = motion->GetName().Get();
    sq_pushstring(v, name != nullptr ? name : "", -1);
    return 1;
}

// MotionEvaluatePosition(motion, seconds) -> Vector: the position channels at
// that time, each repeating past both of its ends whatever it stores.
SQInteger MotionEvaluatePosition(HSQUIRRELVM v)
{
    zMotion* motion = nullptr;
    if (!SqGetSafePtr(v, 2, &motion, SqPtrMotion))
        return sq_suspendvm(v);
    SQFloat time = 0.0f;
    sq_getfloat(v, 3, &time);
    zVector position(0.0f, 0.0f, 0.0f, 1.0f);
    if (motion != nullptr)
        motion->EvaluatePosition(float(time), position, zCurve::Repeat);
    position.w = 1.0f;
    // A failed push has reported its binding error; the call still gives a value.
    if (!SqPushVector(v, position))
        sq_pushnull(v);
    return 1;
}

// MotionGetLength(motion) -> seconds up to the last key of its channels.
SQInteger MotionGetLength(HSQUIRRELVM v)
{
    zMotion* motion = nullptr;
    if (!SqGetSafePtr(v, 2, &motion, SqPtrMotion))
        return sq_suspendvm(v);
    sq_pushfloat(v, motion != nullptr ? SQFloat(motion->GetLength()) : 0.0f);
    return 1;
}

struct ChannelConstant {
    const char* name;
    SQInteger value;
};

// The script names of the channel ids, which scripts share with the
// "Channel" tag and the items' channel targets.
constexpr ChannelConstant kChannelConstants[] = {
    {"ChannelNone", ChannelNone},
    {"ChannelOrientation", ChannelOrientation},
    {"ChannelXPos", ChannelPositionX},
    {"ChannelYPos", ChannelPositionY},
    {"ChannelZPos", ChannelPositionZ},
    {"ChannelXRot", ChannelRotationX},
    {"ChannelYRot", ChannelRotationY},
    {"ChannelZRot", ChannelRotationZ},
    {"ChannelXScl", ChannelScaleX},
    {"ChannelYScl", ChannelScaleY},
    {"ChannelZScl", ChannelScaleZ},
    {"ChannelQuat", ChannelQuaternion},
    {"ChannelXPiv", ChannelPivotX},
    {"ChannelYPiv", ChannelPivotY},
    {"ChannelZPiv", ChannelPivotZ},
    {"ChannelRDif", ChannelDiffuseR},
    {"ChannelGDif", ChannelDiffuseG},
    {"ChannelBDif", ChannelDiffuseB},
    {"ChannelRSpc", ChannelSpecularR},
    {"ChannelGSpc", ChannelSpecularG},
    {"ChannelBSpc", ChannelSpecularB},
    {"ChannelDiffuseIntensity", ChannelDiffuseI},
    {"ChannelSpecularIntensity", ChannelSpecularI},
    {"ChannelConeAngle", ChannelConeAngle},
    {"ChannelEdgeAngle", ChannelEdgeAngle},
    {"ChannelAlpha", ChannelAlpha},
    {"ChannelZoomFactor", ChannelZoom},
    {"ChannelRange", ChannelRange},
    {"ChannelFogStart", ChannelFogStart},
    {"ChannelFogEnd", ChannelFogEnd},
    {"ChannelRFog", ChannelFogR},
    {"ChannelGFog", ChannelFogG},
    {"ChannelBFog", ChannelFogB},
};
static_assert(sizeof(kChannelConstants) / sizeof(kChannelConstants[0]) == ChannelIdCount,
              "every channel id has its script constant");

} // namespace

void SqRegisterMotionFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, MotionGetName, "MotionGetName", "x|tu");
    SqRegisterFunction(v, MotionEvaluatePosition, "MotionEvaluatePosition", "x|tuf");
    SqRegisterFunction(v, MotionGetLength, "MotionGetLength", "x|tu");

    const SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    for (const ChannelConstant& constant : kChannelConstants) {
        sq_pushstring(v, constant.name, -1);
        sq_pushinteger(v, constant.value);
        sq_newslot(v, -3, SQFalse);
    }
    sq_settop(v, top);
}
