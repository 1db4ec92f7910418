// The system library: environment, processes, clocks, dates and files by name.
#include <sqstdsystem.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "register.h"

namespace {

SQInteger system_getenv(HSQUIRRELVM v)
{
    const SQChar *name;
    sq_getstring(v, 2, &name);
    const char *value = getenv(name);
    if (!value) return 0;
    sq_pushstring(v, value, -1);
    return 1;
}

SQInteger system_system(HSQUIRRELVM v)
{
    const SQChar *cmd;
    sq_getstring(v, 2, &cmd);
    sq_pushinteger(v, static_cast<SQInteger>(system(cmd)));
    return 1;
}

SQInteger system_clock(HSQUIRRELVM v)
{
    sq_pushfloat(v, static_cast<SQFloat>(clock()) / static_cast<SQFloat>(CLOCKS_PER_SEC));
    return 1;
}

SQInteger system_time(HSQUIRRELVM v)
{
    sq_pushinteger(v, static_cast<SQInteger>(time(nullptr)));
    return 1;
}

SQInteger system_remove(HSQUIRRELVM v)
{
    const SQChar *path;
    sq_getstring(v, 2, &path);
    if (remove(path) != 0) return sq_throwerror(v, "remove() failed");
    return 0;
}

SQInteger system_rename(HSQUIRRELVM v)
{
    const SQChar *from, *to;
    sq_getstring(v, 2, &from);
    sq_getstring(v, 3, &to);
    if (rename(from, to) != 0) return sq_throwerror(v, "rename() failed");
    return 0;
}

void SetInt(HSQUIRRELVM v, const char *name, int value)
{
    sq_pushstring(v, name, -1);
    sq_pushinteger(v, value);
    sq_newslot(v, -3, SQFalse);
}

SQInteger system_date(HSQUIRRELVM v)
{
    time_t t;
    SQInteger it;
    SQInteger kind = 'l';
    if (sq_gettop(v) > 1) {
        sq_getinteger(v, 2, &it);
        t = static_cast<time_t>(it);
        if (sq_gettop(v) > 2) sq_getinteger(v, 3, &kind);
    } else {
        time(&t);
    }
    struct tm parts;
    struct tm *ok = kind == 'u' ? gmtime_r(&t, &parts) : localtime_r(&t, &parts);
    if (!ok) return sq_throwerror(v, "crt api failure");
    sq_newtable(v);
    SetInt(v, "sec", parts.tm_sec);
    SetInt(v, "min", parts.tm_min);
    SetInt(v, "hour", parts.tm_hour);
    SetInt(v, "day", parts.tm_mday);
    SetInt(v, "month", parts.tm_mon);
    SetInt(v, "year", parts.tm_year + 1900);
    SetInt(v, "wday", parts.tm_wday);
    SetInt(v, "yday", parts.tm_yday);
    return 1;
}

const SQRegFunction kSystem[] = {
    {"getenv", system_getenv, 2, ".s"},   {"system", system_system, 2, ".s"},
    {"clock", system_clock, 0, nullptr}, // extra arguments are ignored
    {"time", system_time, 1, nullptr},
    {"date", system_date, -1, ".nn"},     {"remove", system_remove, 2, ".s"},
    {"rename", system_rename, 3, ".ss"},  {nullptr, nullptr, 0, nullptr}};

} // namespace

SQInteger sqstd_register_systemlib(HSQUIRRELVM v)
{
    nutstd::RegisterFunctions(v, kSystem);
    return 1;
}
