// The command-line interpreter: sq [options] file.nut [args...]
#include <cstdarg>
#include <cstdio>

#include <squirrel.h>
#include <sqstdaux.h>
#include <sqstdblob.h>
#include <sqstdio.h>
#include <sqstdmath.h>
#include <sqstdstring.h>
#include <sqstdsystem.h>

namespace {

void PrintToStdout(HSQUIRRELVM, const SQChar *fmt, ...)
{
    va_list vl;
    va_start(vl, fmt);
    vfprintf(stdout, fmt, vl);
    va_end(vl);
}

void PrintToStderr(HSQUIRRELVM, const SQChar *fmt, ...)
{
    va_list vl;
    va_start(vl, fmt);
    vfprintf(stderr, fmt, vl);
    va_end(vl);
}

void PrintVersion()
{
    printf("%s %s (%d bits)\n", SQUIRREL_VERSION, SQUIRREL_COPYRIGHT, static_cast<int>(sizeof(SQInteger) * 8));
}

void PrintUsage()
{
    fprintf(stderr, "usage: sq <options> <scriptpath [args]>.\n"
                    "Available options are:\n"
                    "   -o              specifies output file for the -c option\n"
                    "   -c              compiles only\n"
                    "   -d              generates debug infos\n"
                    "   -v              displays version infos\n"
                    "   -h              prints help\n");
}

// Runs the command line and returns the process exit status.
int Run(HSQUIRRELVM v, int argc, char *argv[])
{
    int arg = 1;
    bool compileOnly = false;
    const char *output = nullptr;
    for (; arg < argc && argv[arg][0] == '-'; arg++) {
        switch (argv[arg][1]) {
        case 'd': sq_enabledebuginfo(v, SQTrue); break;
        case 'c': compileOnly = true; break;
        case 'o':
            if (arg + 1 < argc) output = argv[++arg];
            break;
        case 'v': PrintVersion(); return 0;
        case 'h':
            PrintVersion();
            PrintUsage();
            return 0;
        default:
            PrintVersion();
            printf("unknown prameter '-%c'\n", argv[arg][1]);
            PrintUsage();
            return -1;
        }
    }
    if (arg >= argc) {
        PrintVersion();
        PrintUsage();
        return 0;
    }
    const char *script = argv[arg++];
    if (SQ_SUCCEEDED(sqstd_loadfile(v, script, SQTrue))) {
        if (compileOnly) {
            if (SQ_SUCCEEDED(sqstd_writeclosuretofile(v, output ? output : "out.cnut"))) return 0;
            const SQChar *err;
            sq_getlasterror(v);
            if (SQ_SUCCEEDED(sq_getstring(v, -1, &err))) printf("Error [%s]\n", err);
            return -2;
        }
        sq_pushroottable(v);
        for (int i = arg; i < argc; i++) sq_pushstring(v, argv[i], -1);
        if (SQ_FAILED(sq_call(v, argc - arg + 1, SQTrue, SQTrue))) return 0; // already reported
        SQInteger status = 0;
        if (sq_gettype(v, -1) == OT_INTEGER) sq_getinteger(v, -1, &status);
        return static_cast<int>(status);
    }
    const SQChar *err;
    sq_getlasterror(v);
    if (SQ_SUCCEEDED(sq_getstring(v, -1, &err))) printf("Error [%s]\n", err);
    return -2;
}

} // namespace

int main(int argc, char *argv[])
{
    HSQUIRRELVM v = sq_open(1024);
    sq_setprintfunc(v, PrintToStdout, PrintToStderr);
    sq_pushroottable(v);
    sqstd_register_bloblib(v);
    sqstd_register_iolib(v);
    sqstd_register_systemlib(v);
    sqstd_register_mathlib(v);
    sqstd_register_stringlib(v);
    sqstd_seterrorhandlers(v);
    int status = Run(v, argc, argv);
    sq_close(v);
    fflush(stdout);
    return status;
}
