#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "framework/tools/zString.h"

#include <squirrel.h>

#include <cstdint>
#include <mutex>

class zProperty;

// Owner of the run's Squirrel VM: starts and stops it, routes script output
// and errors into the log, loads each script file once and offers the
// low-level protocol for calling script functions. Main thread only, but for
// RequestStop.
//
// The VM's foreign pointer is the master, so handlers and native functions
// reached from the VM find it (SqGetScriptMaster).
class zScriptMaster {
public:
    zScriptMaster() = default;
    ~zScriptMaster();
    zScriptMaster(const zScriptMaster&) = delete;
    zScriptMaster& operator=(const zScriptMaster&) = delete;

    // Opens a VM (stack of 1024 slots, print and error handlers, the blob, io,
    // system, math and string libraries in the root table), or adopts the given
    // one unchanged. False when a VM is already held or opening fails. An
    // adopted VM becomes the master's: StopVM and the destructor close it.
    bool StartVM(HSQUIRRELVM existing = nullptr);
    // Closes the VM and forgets the loaded scripts; nothing without a VM.
    void StopVM();

    // Locates, compiles and runs a script file once per VM. A path already
    // given returns the result of its first load without reading the file
    // again (a missing or broken file is not retried). False without a VM,
    // after a runtime error (ok flag clear), for a missing file or when the
    // file does not compile.
    bool AddScript(const char* path);

    // Calling a script function: SetupFunctionCall pushes the function (the
    // given object, else the root table's slot of that name) and this (the
    // given object, else the root table); the caller pushes its arguments;
    // DoFunctionCall calls with them. With keep, the result is left on the top
    // for the caller to read and pop; otherwise the stack is back as before
    // SetupFunctionCall. A failed lookup pushes nothing and returns false
    // without a message. Works whatever the ok flag.
    bool SetupFunctionCall(const char* name, const HSQOBJECT* function = nullptr, const HSQOBJECT* self = nullptr);
    bool DoFunctionCall(int32_t argumentCount, bool keepResult = false);

    // Turns a float, integer or string property into a root-table variable.
    bool SetGlobalFromProperty(const zProperty& property);

    // Stops the script running now with the error "script stopped: the run is
    // ending" (sq_requeststop: a loop ends at its next step; a request while
    // no script runs is dropped). From any thread; nothing without a VM.
    void RequestStop();

    HSQUIRRELVM GetVM() const { return vm; }
    // True while a native function has suspended the VM (a handle of the wrong
    // kind): the run is to end with exit code 3.
    bool IsSuspended() const { return vm != nullptr && sq_getvmstate(vm) == SQ_VMSTATE_SUSPENDED; }
    // False while stopped and after a runtime error or a binding error.
    bool IsOk() const { return ok; }
    void SetOk(bool value) { ok = value; }
    int32_t GetUnitCallCount() const { return unitCallCount; }
    void CountUnitCall() { ++unitCallCount; }
    // The scene restarts the count at the top of every frame.
    void ResetUnitCallCount() { unitCallCount = 0; }

private:
    HSQUIRRELVM vm = nullptr;
    bool ok = false;
    zString unused;
    // One entry per path given to AddScript, in load order; see zLoadedScript.
    zLinkedListId loadedScripts;
    int32_t unitCallCount = 0;
    // Held while the VM is set or closed, and by RequestStop.
    std::mutex vmMutex;
};

// The master whose VM this is (through the foreign pointer); null for a VM
// that no master started.
zScriptMaster* SqGetScriptMaster(HSQUIRRELVM v);

// Compiles a file (the path is also the source name) and runs its top level
// once with the root table as this. False when the file cannot be read or is
// empty, and when it does not compile (the compiler handler and this function
// log it). A runtime error in the top level is reported by the VM's handler
// and still counts as run.
bool SqCompile(HSQUIRRELVM v, const char* path);

// Float, integer or string property to a root-table slot (new or replaced).
bool SqSetGlobalFromProperty(HSQUIRRELVM v, const zProperty& property);

// Logs the script call stack: a "[|] " line, the header "Script call stack
// (<message or Requested>):", one line per script level, a "[|] " line.
// Printed whatever the verbosity mask. A stack deeper than 32 levels shows its
// innermost 24 and outermost 8, with a line counting the levels between.
void SqPrintCallStack(HSQUIRRELVM v, const char* message);

// The handlers StartVM installs; exposed for VMs that hosts build themselves.
void SqPrintFunction(HSQUIRRELVM v, const SQChar* format, ...) __attribute__((format(printf, 2, 3)));
void SqCompilerError(HSQUIRRELVM v, const SQChar* description, const SQChar* source, SQInteger line,
                     SQInteger column);
SQInteger SqRuntimeErrorHandler(HSQUIRRELVM v);
