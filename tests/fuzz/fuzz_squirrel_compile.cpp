// Compiles arbitrary bytes as a Squirrel script and discards the result: malformed input
// must end in a compile error, never a crash.
#include <cstddef>
#include <cstdint>

#include <squirrel.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A fresh VM per input: `const` and `enum` statements fill the VM's constant table.
    HSQUIRRELVM v = sq_open(256);
    sq_compilebuffer(v, reinterpret_cast<const SQChar *>(data), static_cast<SQInteger>(size), "fuzz", SQFalse);
    sq_close(v);
    return 0;
}
