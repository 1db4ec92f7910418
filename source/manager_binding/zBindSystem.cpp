// System family: wall clock, locale and the engine's random generator.
#include "framework/math/zRandom.h"
#include "framework/system/zClock.h"
#include "manager_binding/SqBinding.h"
#include "manager_binding/zBindFamilies.h"

namespace {

SQInteger SystemGetClock(HSQUIRRELVM v)
{
    sq_pushinteger(v, SQInteger(GetClockTicks()));
    return 1;
}

SQInteger SystemGetClockFrequency(HSQUIRRELVM v)
{
    sq_pushinteger(v, 10000);
    return 1;
}

SQInteger SystemGetLocale(HSQUIRRELVM v)
{
    sq_pushstring(v, "EN", -1);
    return 1;
}

// A negative or fractional bound counts as its truncated unsigned value, as
// the generator takes it.
uint32_t ReadBound(HSQUIRRELVM v, SQInteger idx)
{
    SQInteger value = 0;
    if (sq_gettype(v, idx) == OT_FLOAT) {
        SQFloat number = 0.0f;
        sq_getfloat(v, idx, &number);
        value = number >= -2147483648.0f && number < 2147483648.0f ? SQInteger(number) : 0;
    } else {
        sq_getinteger(v, idx, &value);
    }
    return uint32_t(value);
}

SQInteger SystemRand(HSQUIRRELVM v)
{
    sq_pushinteger(v, SQInteger(RandomInt(ReadBound(v, 2))));
    return 1;
}

SQInteger SystemSeedRand(HSQUIRRELVM v)
{
    SeedRandom(ReadBound(v, 2));
    return 0;
}

} // namespace

void SqSetRootInteger(HSQUIRRELVM v, const char* name, SQInteger value)
{
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    sq_pushinteger(v, value);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
}

void SqSetRootNullHandle(HSQUIRRELVM v, const char* name, int32_t kind)
{
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    SqPushSafePtr(v, nullptr, kind);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
}

void SqRegisterSystemFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, SystemGetClock, "SystemGetClock", "x|t");
    SqRegisterFunction(v, SystemGetClockFrequency, "SystemGetClockFrequency", "x|t");
    SqRegisterFunction(v, SystemGetLocale, "SystemGetLocale", "x|t");
    SqRegisterFunction(v, SystemRand, "SystemRand", ".n");
    SqRegisterFunction(v, SystemSeedRand, "SystemSeedRand", ".n");
}
