#include "script/zScriptValues.h"

namespace {

SqVectorPusher vectorPusher = nullptr;

} // namespace

void SqSetVectorPusher(SqVectorPusher pusher)
{
    vectorPusher = pusher;
}

bool SqPushVectorValue(HSQUIRRELVM v, const zVector& value)
{
    return vectorPusher != nullptr && vectorPusher(v, value);
}
