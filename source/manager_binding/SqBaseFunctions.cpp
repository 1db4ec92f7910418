#include "manager_binding/SqBaseFunctions.h"

#include "framework/system/zLogStream.h"
#include "manager_binding/SqBinding.h"
#include "script/zScriptMaster.h"

#include <sys/wait.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

SQInteger Assert(HSQUIRRELVM v)
{
    SQBool condition = SQTrue;
    const SQChar* message = "";
    sq_getbool(v, 2, &condition);
    sq_getstring(v, 3, &message);
    if (condition)
        return 0;
    if (zScriptMaster* master = SqGetScriptMaster(v))
        master->SetOk(false);
    char text[1024];
    std::snprintf(text, sizeof(text), "Assertion failed: \"%s\"", message);
    SqPrintCallStack(v, text);
    return 0;
}

SQInteger Pow(HSQUIRRELVM v)
{
    SQFloat base = 0.0f;
    SQFloat exponent = 0.0f;
    sq_getfloat(v, 2, &base);
    sq_getfloat(v, 3, &exponent);
    sq_pushfloat(v, SQFloat(std::pow(double(base), double(exponent))));
    return 1;
}

// Reads the two integers of "Mod" and "AbsMod"; false after raising the
// script error for a remainder the machine cannot compute.
bool ModArguments(HSQUIRRELVM v, SQInteger& a, SQInteger& b)
{
    sq_getinteger(v, 2, &a);
    sq_getinteger(v, 3, &b);
    if (b == 0) {
        sq_throwerror(v, "division by zero");
        return false;
    }
    if (a == INT_MIN && b == -1) {
        sq_throwerror(v, "integer overflow");
        return false;
    }
    return true;
}

SQInteger Mod(HSQUIRRELVM v)
{
    SQInteger a = 0;
    SQInteger b = 1;
    if (!ModArguments(v, a, b))
        return SQ_ERROR;
    sq_pushinteger(v, a % b);
    return 1;
}

SQInteger AbsMod(HSQUIRRELVM v)
{
    SQInteger a = 0;
    SQInteger b = 1;
    if (!ModArguments(v, a, b))
        return SQ_ERROR;
    SQInteger r = a % b;
    // Wraps like the machine's integers for a negative b near INT_MIN.
    if (r < 0)
        r = SQInteger(uint32_t(r) + uint32_t(b));
    sq_pushinteger(v, r);
    return 1;
}

SQInteger ObjectIsValid(HSQUIRRELVM v)
{
    void* object = nullptr;
    if (!SqGetSafePtr(v, 2, &object, 0))
        return sq_suspendvm(v);
    sq_pushbool(v, object != nullptr);
    return 1;
}

SQInteger ObjectIsSame(HSQUIRRELVM v)
{
    void* first = nullptr;
    void* second = nullptr;
    if (!SqGetSafePtr(v, 2, &first, 0) || !SqGetSafePtr(v, 3, &second, 0))
        return sq_suspendvm(v);
    sq_pushbool(v, first == second);
    return 1;
}

SQInteger ShellExecute(HSQUIRRELVM v)
{
    const SQChar* command = nullptr;
    const SQChar* arguments = nullptr;
    sq_getstring(v, 2, &command);
    sq_getstring(v, 3, &arguments);
    sq_pushinteger(v, SqShellExecute(command, arguments));
    return 1;
}

SQInteger FileRename(HSQUIRRELVM v)
{
    const SQChar* from = nullptr;
    const SQChar* to = nullptr;
    sq_getstring(v, 2, &from);
    sq_getstring(v, 3, &to);
    sq_pushbool(v, from != nullptr && to != nullptr && std::rename(from, to) == 0);
    return 1;
}

} // namespace

int32_t SqShellExecute(const char* command, const char* arguments)
{
    if (command == nullptr)
        return -1;
    // Built without a length limit: a cut command line would run another command.
    std::string line = command;
    if (arguments != nullptr)
        line.append(" ").append(arguments);
    LogHeading("ShellExecute") << "Execute command '" << line.c_str() << "'\n\n";
    FILE* pipe = popen(line.c_str(), "r");
    if (pipe == nullptr)
        return -1;
    char piece[257];
    bool lineOpen = false;
    size_t count;
    while ((count = std::fread(piece, 1, sizeof(piece) - 1, pipe)) > 0) {
        piece[count] = '\0';
        *GlobalLogStream << piece;
        lineOpen = piece[count - 1] != '\n';
    }
    if (lineOpen)
        *GlobalLogStream << "\n";
    const int status = pclose(pipe);
    if (status == -1)
        return -1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    // Killed by a signal: the shells' convention.
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

void SqRegisterBaseFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, Assert, "__Assert", "x|tbs");
    SqRegisterFunction(v, Pow, "Pow", "x|tff");
    SqRegisterFunction(v, Mod, "Mod", "x|tii");
    SqRegisterFunction(v, AbsMod, "AbsMod", "x|tii");
    SqRegisterFunction(v, ObjectIsValid, "ObjectIsValid", "x|tu");
    SqRegisterFunction(v, ObjectIsSame, "ObjectIsSame", "x|tuu");
    SqRegisterFunction(v, ShellExecute, "ShellExecute", "x|tss");
    SqRegisterFunction(v, FileRename, "FileRename", "x|tss");
    for (const char* alias : {"AIPathIsValid", "GeometryIsValid", "ItemIsValid", "MetatagIsValid", "TextureIsValid",
                              "WidgetIsValid", "WindowIsValid"})
        SqRegisterFunction(v, ObjectIsValid, alias, "x|tu");
}
