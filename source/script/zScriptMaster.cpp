#include "script/zScriptMaster.h"

#include "framework/data_structure/zProperty.h"
#include "framework/filesystem/zStream.h"
#include "framework/system/zLogStream.h"

#include <sqstdblob.h>
#include <sqstdio.h>
#include <sqstdmath.h>
#include <sqstdstring.h>
#include <sqstdsystem.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// A path given to AddScript and whether its one load succeeded.
class zLoadedScript : public zLinkedListIdEntry {
public:
    zLoadedScript(const char* path, bool loaded) : zLinkedListIdEntry(path), loaded(loaded) {}
    bool loaded;
};

enum class CompileResult { Ran, Unreadable, NotCompiled };

CompileResult CompileAndRun(HSQUIRRELVM v, const char* path)
{
    char* raw = nullptr;
    const uint32_t size = zStream::LoadFile(path, raw);
    std::unique_ptr<char[]> buffer(raw);
    if (size == 0)
        return CompileResult::Unreadable;
    const SQInteger top = sq_gettop(v);
    if (SQ_FAILED(sq_compilebuffer(v, buffer.get(), SQInteger(size), path, SQTrue))) {
        LogError("SqCompile") << "Failed to compile buffer in script '" << path << "'.\n";
        sq_settop(v, top);
        return CompileResult::NotCompiled;
    }
    sq_pushroottable(v);
    sq_call(v, 1, SQFalse, SQTrue);
    // A native that suspended the VM from the top level leaves its frame on the
    // stack; it stays there for the host to see.
    if (sq_getvmstate(v) != SQ_VMSTATE_SUSPENDED)
        sq_settop(v, top);
    return CompileResult::Ran;
}

// Logs text (at most 1023 characters) as script lines, each under the "[S] " prefix.
void LogScriptText(const char* text)
{
    const char* line = text;
    do {
        const char* end = std::strchr(line, '\n');
        const size_t length = end == nullptr ? std::strlen(line) : size_t(end - line);
        char piece[1026];
        std::snprintf(piece, sizeof(piece), "%.*s\n", int(length), line);
        *GlobalLogStream << LogScriptPrefix << piece;
        line = end == nullptr ? nullptr : end + 1;
    } while (line != nullptr && *line != '\0');
}

} // namespace

zScriptMaster::~zScriptMaster() { StopVM(); }

zScriptMaster* SqGetScriptMaster(HSQUIRRELVM v)
{
    return v == nullptr ? nullptr : static_cast<zScriptMaster*>(sq_getforeignptr(v));
}

void SqPrintFunction(HSQUIRRELVM, const SQChar* format, ...)
{
    // Longer texts are cut: scripts can print strings of any length.
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    LogScriptText(text);
}

void SqCompilerError(HSQUIRRELVM, const SQChar* description, const SQChar* source, SQInteger line, SQInteger)
{
    LogError("SqCompilerError") << "Compilation error, " << (source ? source : "unknown") << "(" << int(line)
                                << "): " << (description ? description : "") << "\n";
}

SQInteger SqRuntimeErrorHandler(HSQUIRRELVM v)
{
    if (zScriptMaster* master = SqGetScriptMaster(v))
        master->SetOk(false);
    *GlobalLogStream << "[|] \n";
    *GlobalLogStream << "[|] VM runtime error, execution stopped.\n";
    const SQInteger top = sq_gettop(v);
    for (SQInteger i = 2; i <= top; ++i) {
        const SQChar* text = nullptr;
        if (sq_gettype(v, i) == OT_STRING && SQ_SUCCEEDED(sq_getstring(v, i, &text)))
            *GlobalLogStream << "[|]     Error: " << text << "\n";
    }
    SqPrintCallStack(v, nullptr);
    // The VM honours this only for natives called straight from script code,
    // so an error handler never leaves the VM suspended.
    return sq_suspendvm(v);
}

namespace {

// Levels of a call stack shown at its inner and its outer end; a deeper stack (a
// runaway recursion has up to millions) shows a count of the levels in between.
constexpr SQInteger CallStackInnerLevels = 24;
constexpr SQInteger CallStackOuterLevels = 8;

// The deepest level the VM reports (0 when it reports none above the caller).
SQInteger CallStackDepth(HSQUIRRELVM v)
{
    SQStackInfos info;
    const auto exists = [&](SQInteger level) { return SQ_SUCCEEDED(sq_stackinfos(v, level, &info)); };
    SQInteger low = 0;
    SQInteger high = 1;
    while (exists(high)) {
        low = high;
        high *= 2;
    }
    while (high - low > 1) {
        const SQInteger middle = low + (high - low) / 2;
        if (exists(middle))
            low = middle;
        else
            high = middle;
    }
    return low;
}

} // namespace

void SqPrintCallStack(HSQUIRRELVM v, const char* message)
{
    *GlobalLogStream << "[|] \n";
    *GlobalLogStream << "[|] Script call stack (" << (message ? message : "Requested") << "):\n";
    const SQInteger depth = v != nullptr ? CallStackDepth(v) : 0;
    const bool cut = depth > CallStackInnerLevels + CallStackOuterLevels;
    SQStackInfos info;
    for (SQInteger level = 1; level <= depth; ++level) {
        if (cut && level == CallStackInnerLevels + 1) {
            const SQInteger skipped = depth - CallStackInnerLevels - CallStackOuterLevels;
            *GlobalLogStream << "[|]     ... (" << int(skipped) << " levels not shown)\n";
            level = depth - CallStackOuterLevels;
            continue;
        }
        if (SQ_FAILED(sq_stackinfos(v, level, &info)))
            break;
        *GlobalLogStream << "[|] " << (level == 1 ? "    -> In function " : "    -> Called from ")
                         << (info.funcname ? info.funcname : "unknown") << "() ('"
                         << (info.source ? info.source : "unknown") << "', Line " << int(info.line) << ").\n";
    }
    *GlobalLogStream << "[|] \n";
}

bool zScriptMaster::StartVM(HSQUIRRELVM existing)
{
    if (vm != nullptr)
        return false;
    if (existing != nullptr) {
        std::lock_guard<std::mutex> lock(vmMutex);
        vm = existing;
        ok = true;
        return true;
    }
    HSQUIRRELVM v = sq_open(1024);
    if (v == nullptr)
        return false;
    sq_setprintfunc(v, SqPrintFunction, SqPrintFunction);
    sq_setforeignptr(v, this);
    sq_pushroottable(v);
    sqstd_register_bloblib(v);
    sqstd_register_iolib(v);
    sqstd_register_systemlib(v);
    sqstd_register_mathlib(v);
    sqstd_register_stringlib(v);
    sq_setcompilererrorhandler(v, SqCompilerError);
    sq_newclosure(v, SqRuntimeErrorHandler, 0);
    sq_seterrorhandler(v);
    std::lock_guard<std::mutex> lock(vmMutex);
    vm = v;
    ok = true;
    return true;
}

void zScriptMaster::StopVM()
{
    if (vm == nullptr)
        return;
    HSQUIRRELVM v = vm;
    {
        std::lock_guard<std::mutex> lock(vmMutex);
        vm = nullptr;
    }
    ok = false;
    // Release hooks run while the VM closes; they see the master stopped.
    sq_close(v);
    loadedScripts.Clear();
}

void zScriptMaster::RequestStop()
{
    std::lock_guard<std::mutex> lock(vmMutex);
    if (vm != nullptr)
        sq_requeststop(vm);
}

bool zScriptMaster::AddScript(const char* path)
{
    if (vm == nullptr) {
        LogError("zScriptMaster::AddScript") << "Cannot compile script, VM not initialized.\n";
        return false;
    }
    if (!ok || path == nullptr || *path == '\0')
        return false;
    if (const zLoadedScript* known = static_cast<const zLoadedScript*>(loadedScripts.FindByName(path)))
        return known->loaded;
    // Listed before loading: a file that fails is not tried again.
    zLoadedScript* entry = new zLoadedScript(path, false);
    loadedScripts.Add(entry, true, true);
    zString located(path);
    if (!zStream::LocateFile(located)) {
        LogError("zScriptMaster::AddScript") << "Failed to locate script '" << path << "'.\n";
        return false;
    }
    switch (CompileAndRun(vm, located.Get())) {
    case CompileResult::Ran:
        entry->loaded = true;
        return true;
    case CompileResult::Unreadable:
        LogError("zScriptMaster::AddScript") << "Script '" << path << "' failed compilation.\n";
        return false;
    case CompileResult::NotCompiled:
        // Already reported by the compiler handler and SqCompile.
        return false;
    }
    return false;
}

bool SqCompile(HSQUIRRELVM v, const char* path)
{
    if (v == nullptr || path == nullptr)
        return false;
    return CompileAndRun(v, path) == CompileResult::Ran;
}

bool zScriptMaster::SetupFunctionCall(const char* name, const HSQOBJECT* function, const HSQOBJECT* self)
{
    if (vm == nullptr) {
        LogError("zScriptMaster::SetupFunctionCall")
            << "Could not setup function call, script master is not initialized.\n";
        return false;
    }
    if (function != nullptr) {
        sq_pushobject(vm, *function);
    } else {
        if (name == nullptr)
            return false;
        sq_pushroottable(vm);
        sq_pushstring(vm, name, -1);
        if (SQ_FAILED(sq_get(vm, -2))) {
            sq_pop(vm, 1);
            return false;
        }
        sq_remove(vm, -2);
    }
    if (self != nullptr)
        sq_pushobject(vm, *self);
    else
        sq_pushroottable(vm);
    return true;
}

bool zScriptMaster::DoFunctionCall(int32_t argumentCount, bool keepResult)
{
    if (vm == nullptr)
        return false;
    const bool wasSuspended = sq_getvmstate(vm) == SQ_VMSTATE_SUSPENDED;
    if (SQ_FAILED(sq_call(vm, argumentCount + 1, keepResult ? SQTrue : SQFalse, SQTrue))) {
        sq_pop(vm, 1);
        return false;
    }
    // A call that suspended the VM leaves its frame where it stopped.
    if (!wasSuspended && sq_getvmstate(vm) == SQ_VMSTATE_SUSPENDED)
        return true;
    if (keepResult)
        sq_remove(vm, -2);
    else
        sq_pop(vm, 1);
    return true;
}

bool SqSetGlobalFromProperty(HSQUIRRELVM v, const zProperty& property)
{
    if (v == nullptr)
        return false;
    const SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    sq_pushstring(v, property.GetName().Get() ? property.GetName().Get() : "", -1);
    switch (property.GetType()) {
    case zProperty::Float: {
        float value = 0.0f;
        if (!property.GetFloat(value))
            break;
        sq_pushfloat(v, value);
        sq_newslot(v, -3, SQFalse);
        sq_settop(v, top);
        return true;
    }
    case zProperty::Integer: {
        int32_t value = 0;
        if (!property.GetInt(value))
            break;
        sq_pushinteger(v, value);
        sq_newslot(v, -3, SQFalse);
        sq_settop(v, top);
        return true;
    }
    case zProperty::String: {
        const char* value = nullptr;
        if (!property.GetString(value) || value == nullptr)
            break;
        sq_pushstring(v, value, -1);
        sq_newslot(v, -3, SQFalse);
        sq_settop(v, top);
        return true;
    }
    default:
        break;
    }
    sq_settop(v, top);
    return false;
}

bool zScriptMaster::SetGlobalFromProperty(const zProperty& property) { return SqSetGlobalFromProperty(vm, property); }
