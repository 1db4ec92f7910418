#include "opcodes.h"

namespace nut {

const char *OpName(OpCode op)
{
    static const char *const kNames[OP_COUNT] = {
#define NUT_OP_NAME(name, fmt, meaning) #name,
        NUT_OPCODES(NUT_OP_NAME)
#undef NUT_OP_NAME
    };
    return op < OP_COUNT ? kNames[op] : "?";
}

} // namespace nut
