#pragma once

// Helpers shared by the native function families (not part of the frame).

#include "bfgt/picture/zPicture.h"
#include "manager_binding/SqBinding.h"

#include <squirrel.h>

#include <cstdint>

struct zTextParameters;

namespace sqbind {

// A root-table function registered under each of its names.
inline void Register(HSQUIRRELVM v, SQFUNCTION function, const char* name, const char* mask,
                     const char* alias = nullptr)
{
    SqRegisterFunction(v, function, name, mask);
    if (alias != nullptr)
        SqRegisterFunction(v, function, alias, mask);
}

// Arguments the type mask has already checked; a missing or mistyped one
// reads as "" / 0 / false rather than failing.
inline const char* GetString(HSQUIRRELVM v, SQInteger idx)
{
    const SQChar* text = nullptr;
    return SQ_SUCCEEDED(sq_getstring(v, idx, &text)) ? text : "";
}

inline SQInteger GetInteger(HSQUIRRELVM v, SQInteger idx)
{
    SQInteger value = 0;
    sq_getinteger(v, idx, &value);
    return value;
}

inline float GetFloat(HSQUIRRELVM v, SQInteger idx)
{
    SQFloat value = 0.0f;
    sq_getfloat(v, idx, &value);
    return float(value);
}

inline bool GetBool(HSQUIRRELVM v, SQInteger idx)
{
    SQBool value = SQFalse;
    sq_getbool(v, idx, &value);
    return value != SQFalse;
}

// A script float as a pixel coordinate: truncated toward zero, NaN as 0 and
// anything beyond the int32 range held at its ends.
inline int32_t ToPixel(float value)
{
    if (!(value == value))
        return 0;
    if (value >= 2147483520.0f)
        return INT32_MAX;
    if (value <= -2147483648.0f)
        return INT32_MIN;
    return int32_t(value);
}

// A static integer slot of the root table.
void NewIntegerConstant(HSQUIRRELVM v, const char* name, SQInteger value);

// Reads the members "sx", "sy", "ex", "ey" of the value at idx as integer
// pixel bounds; false (rect untouched) when a member is missing.
bool GetRect(HSQUIRRELVM v, SQInteger idx, zPicture::Rect& rect);
// Pushes a "Rect" (see SqPushRect); pushes null when it cannot be made.
void PushRect(HSQUIRRELVM v, const zPicture::Rect& rect);

// Applies a table of text attributes ("size", "color", "align", "format",
// "tracking", "heading") to parameters; unknown keys and values are logged
// and skipped, keys that are not strings skipped silently.
void ApplyTextParameterTable(HSQUIRRELVM v, SQInteger idx, zTextParameters& parameters);

// The window-system and widget families, registered by the ui registrar.
void RegisterWindowFunctions(HSQUIRRELVM v);
void RegisterWidgetFunctions(HSQUIRRELVM v);

} // namespace sqbind
