/* The system library: environment, processes, time and files by name. */
#ifndef SQSTD_SYSTEMLIB_H
#define SQSTD_SYSTEMLIB_H

#include <squirrel.h>

#ifdef __cplusplus
extern "C" {
#endif

SQUIRREL_API SQInteger sqstd_register_systemlib(HSQUIRRELVM v);

#ifdef __cplusplus
}
#endif

#endif
