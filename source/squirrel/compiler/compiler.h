// Single-pass compiler: source text straight to register bytecode, no syntax tree.
#pragma once

#include "../vm/value.h"

namespace nut {

struct Fiber;

// Compiles a whole script into the prototype of its main function. On failure the
// fiber's last error holds the message and, with raiseError, the host's compiler error
// handler has been told the line and column.
bool Compile(Fiber *f, SQLEXREADFUNC read, SQUserPointer source, const char *sourceName, bool raiseError,
             Value &proto);

} // namespace nut
