/* The io library: files as streams, script loading and bytecode files. */
#ifndef SQSTDIO_H
#define SQSTDIO_H

#include <squirrel.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A C stdio FILE*, for sqstd_createfile and sqstd_getfile. */
typedef void *SQFILE;

SQUIRREL_API SQRESULT sqstd_createfile(HSQUIRRELVM v, SQFILE file, SQBool own);
SQUIRREL_API SQRESULT sqstd_getfile(HSQUIRRELVM v, SQInteger idx, SQFILE *file);

SQUIRREL_API SQRESULT sqstd_loadfile(HSQUIRRELVM v, const SQChar *filename, SQBool printerror);
SQUIRREL_API SQRESULT sqstd_dofile(HSQUIRRELVM v, const SQChar *filename, SQBool retval, SQBool printerror);
/* Writes the closure on top of the stack as sq_writeclosure does; a native function is
   refused before the file is created. */
SQUIRREL_API SQRESULT sqstd_writeclosuretofile(HSQUIRRELVM v, const SQChar *filename);

SQUIRREL_API SQRESULT sqstd_register_iolib(HSQUIRRELVM v);

#ifdef __cplusplus
}
#endif

#endif
