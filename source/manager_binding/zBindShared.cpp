#include "framework/system/zLogStream.h"
#include "manager_binding/zBindInternal.h"
#include "ui/zTextParameters.h"

#include <cstring>

namespace sqbind {

void NewIntegerConstant(HSQUIRRELVM v, const char* name, SQInteger value)
{
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    sq_pushinteger(v, value);
    sq_newslot(v, -3, SQTrue);
    sq_pop(v, 1);
}

namespace {

bool GetFloatMember(HSQUIRRELVM v, SQInteger idx, const char* name, float& out)
{
    sq_pushstring(v, name, -1);
    if (SQ_FAILED(sq_get(v, idx)))
        return false;
    SQFloat value = 0.0f;
    const bool ok = SQ_SUCCEEDED(sq_getfloat(v, -1, &value));
    sq_pop(v, 1);
    out = float(value);
    return ok;
}

} // namespace

bool GetRect(HSQUIRRELVM v, SQInteger idx, zPicture::Rect& rect)
{
    idx = idx < 0 ? sq_gettop(v) + idx + 1 : idx;
    float sx = 0.0f, sy = 0.0f, ex = 0.0f, ey = 0.0f;
    if (!GetFloatMember(v, idx, "sx", sx) || !GetFloatMember(v, idx, "sy", sy) || !GetFloatMember(v, idx, "ex", ex) ||
        !GetFloatMember(v, idx, "ey", ey))
        return false;
    rect = {ToPixel(sx), ToPixel(sy), ToPixel(ex), ToPixel(ey)};
    return true;
}

void PushRect(HSQUIRRELVM v, const zPicture::Rect& rect)
{
    const int32_t values[4] = {rect.x0, rect.y0, rect.x1, rect.y1};
    if (!SqPushRect(v, values))
        sq_pushnull(v);
}

void ApplyTextParameterTable(HSQUIRRELVM v, SQInteger idx, zTextParameters& parameters)
{
    idx = idx < 0 ? sq_gettop(v) + idx + 1 : idx;
    const SQInteger top = sq_gettop(v);
    sq_pushnull(v);
    while (SQ_SUCCEEDED(sq_next(v, idx))) {
        const SQChar* key = nullptr;
        if (sq_gettype(v, -2) != OT_STRING || SQ_FAILED(sq_getstring(v, -2, &key))) {
            sq_pop(v, 2);
            continue;
        }
        SQInteger number = 0;
        const SQChar* text = nullptr;
        const bool isNumber = SQ_SUCCEEDED(sq_getinteger(v, -1, &number));
        const bool isText = sq_gettype(v, -1) == OT_STRING && SQ_SUCCEEDED(sq_getstring(v, -1, &text));
        if (std::strcmp(key, "size") == 0) {
            if (isNumber)
                parameters.size = int32_t(number);
        } else if (std::strcmp(key, "color") == 0) {
            if (isNumber) {
                const uint32_t packed = uint32_t(number);
                for (int i = 0; i < 4; ++i)
                    parameters.color[i] = int32_t((packed >> (8 * i)) & 0xFF);
            }
        } else if (std::strcmp(key, "align") == 0) {
            static const char* const names[] = {"left", "right", "center", "justify"};
            int32_t found = -1;
            for (int32_t i = 0; isText && i < 4; ++i)
                found = found < 0 && std::strcmp(text, names[i]) == 0 ? i : found;
            if (found >= 0)
                parameters.align = found;
            else
                LogWarning("IterateTextParameters")
                    << "unknown text alignment command '" << (isText ? text : "") << "'.\n";
        } else if (std::strcmp(key, "format") == 0) {
            static const char* const names[] = {"standard", "paragraph", "column"};
            int32_t found = -1;
            for (int32_t i = 0; isText && i < 3; ++i)
                found = found < 0 && std::strcmp(text, names[i]) == 0 ? i : found;
            if (found >= 0)
                parameters.format = found;
            else
                LogWarning("IterateTextParameters")
                    << "unknown text format command '" << (isText ? text : "") << "'.\n";
        } else if (std::strcmp(key, "tracking") == 0) {
            if (isNumber)
                parameters.tracking = int32_t(number);
        } else if (std::strcmp(key, "heading") == 0) {
            if (isNumber)
                parameters.heading = int32_t(number);
        } else {
            LogWarning("IterateTextParameters") << "unknown text attribute '" << key << "'.\n";
        }
        sq_pop(v, 2);
    }
    sq_settop(v, top);
}

} // namespace sqbind
