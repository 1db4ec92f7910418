/* The math library. */
#ifndef SQSTD_MATH_H
#define SQSTD_MATH_H

#include <squirrel.h>

#ifdef __cplusplus
extern "C" {
#endif

SQUIRREL_API SQRESULT sqstd_register_mathlib(HSQUIRRELVM v);

#ifdef __cplusplus
}
#endif

#endif
