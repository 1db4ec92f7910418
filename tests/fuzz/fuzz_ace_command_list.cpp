#include "core/ace/zACEManager.h"
#include "core/ace/zACEUnit.h"
#include "framework/system/zLogStream.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Any text compiles or fails with a log line; a compiled list then runs for a
// while without leaving the list.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    GlobalLog.VerbosityMask = 0;
    static zACEManager* manager = [] {
        auto* m = new zACEManager;
        m->DefineACECommand("toposition", 0, 3);
        m->DefineACECommand("toscale", 3, 3);
        m->DefineACECommand("toalpha", 5, 1);
        return m;
    }();
    const std::string text(reinterpret_cast<const char*>(data), size);
    zACEUnit unit;
    const int32_t count = manager->LoadACECommandList(text.c_str(), &unit);
    if (count >= 0 && count != unit.commands.GetCount())
        __builtin_trap();
    for (int i = 0; i < 64 && unit.IsRunning(); ++i)
        unit.Update(0.25f);
    return 0;
}
