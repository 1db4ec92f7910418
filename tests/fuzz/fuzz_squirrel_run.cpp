// Compiles arbitrary bytes as a Squirrel script and runs it, with the base, blob, math,
// string and system libraries reachable (less what touches the machine: running
// commands, removing or renaming files; the io library is left out for the same
// reason) and a step budget that ends every loop and recursion. Whatever the script
// does must end in a result or a script error, never a crash.
//
// Scripts can still ask for a lot of memory (a string doubled 27 times): run with
// -rss_limit_mb and, for long runs, -fork=N -ignore_ooms=1.
#include <cstddef>
#include <cstdint>

#include <squirrel.h>
#include <sqstdblob.h>
#include <sqstdmath.h>
#include <sqstdstring.h>
#include <sqstdsystem.h>

#include "../../source/squirrel/vm/fiber.h"

namespace {

void Quiet(HSQUIRRELVM, const SQChar *, ...) {}

void Remove(HSQUIRRELVM v, const char *name)
{
    sq_pushstring(v, name, -1);
    sq_deleteslot(v, -2, SQFalse);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    HSQUIRRELVM v = sq_open(256);
    sq_setprintfunc(v, Quiet, Quiet);
    sq_pushroottable(v);
    sqstd_register_bloblib(v);
    sqstd_register_mathlib(v);
    sqstd_register_stringlib(v);
    sqstd_register_systemlib(v);
    Remove(v, "system");
    Remove(v, "remove");
    Remove(v, "rename");
    sq_pop(v, 1);
    v->rt->stepsLeft = 20000;

    if (SQ_SUCCEEDED(sq_compilebuffer(v, reinterpret_cast<const SQChar *>(data), static_cast<SQInteger>(size), "fuzz",
                                      SQFalse))) {
        sq_pushroottable(v);
        sq_call(v, 1, SQFalse, SQFalse);
    }
    sq_close(v);
    return 0;
}
