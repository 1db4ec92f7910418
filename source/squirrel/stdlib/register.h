// Registration helpers shared by the standard libraries (written on the public API).
#pragma once

#include <squirrel.h>

namespace nutstd {

// Adds each function to the table at -1; the stack is left as it was.
inline void RegisterFunctions(HSQUIRRELVM v, const SQRegFunction *fns)
{
    for (const SQRegFunction *f = fns; f->name; f++) {
        sq_pushstring(v, f->name, -1);
        sq_newclosure(v, f->f, 0);
        sq_setparamscheck(v, f->nparamscheck, f->typemask);
        sq_setnativeclosurename(v, -1, f->name);
        sq_newslot(v, -3, SQFalse);
    }
}

inline void SetSlot(HSQUIRRELVM v, const char *name)
{
    // value at -1, table at -2
    sq_pushstring(v, name, -1);
    sq_push(v, -2);
    sq_remove(v, -3);
    sq_newslot(v, -3, SQFalse);
}

} // namespace nutstd
