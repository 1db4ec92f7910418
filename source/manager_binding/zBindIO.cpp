// The io functions: script includes, file tests and the input devices (the
// program-wide mouse and keyboard and the game controllers scripts open).
// Devices pass to scripts as borrowed HID handles.
#include "framework/data_structure/ztLinkedList.h"
#include "framework/filesystem/zStream.h"
#include "framework/system/device/zInputDeviceInfo.h"
#include "framework/system/device/zInterfaceInstance.h"
#include "framework/system/device/zKeyboardDevice.h"
#include "framework/system/device/zMouseDevice.h"
#include "framework/system/zLogStream.h"
#include "manager_binding/zBindFamilies.h"
#include "manager_binding/zBindInternal.h"
#include "script/zScriptMaster.h"

#include <cstring>
#include <string>
#include <unordered_set>

namespace {

using namespace sqbind;

// The game controllers scripts made and have not deleted. "DeviceDelete"
// deletes only these: the program-wide mouse and keyboard are never deleted.
std::unordered_set<zInstanceDevice*>& ScriptDevices()
{
    static auto* devices = new std::unordered_set<zInstanceDevice*>; // outlives every VM
    return *devices;
}

int32_t GetInteger(HSQUIRRELVM v, SQInteger idx)
{
    SQInteger value = 0;
    sq_getinteger(v, idx, &value);
    return int32_t(value);
}

void PushDevice(HSQUIRRELVM v, zInstanceDevice* device)
{
    SqPushSafePtr(v, device, SqPtrHID);
}

#define FETCH_DEVICE(idx, name)                                                                                        \
    zInstanceDevice* name = nullptr;                                                                                   \
    if (!SqGetSafePtr(v, idx, &name, SqPtrHID))                                                                       \
        return sq_suspendvm(v);

SQInteger Include(HSQUIRRELVM v)
{
    const char* path = GetString(v, 2);
    zScriptMaster* master = SqGetScriptMaster(v);
    // Through the master a script is included once; a syntax error is reported
    // by the compiler and here.
    const bool ok = master != nullptr && master->GetVM() == v ? master->AddScript(path) : SqCompile(v, path);
    if (!ok)
        LogError("Include") << "failed to include '" << path << "' in VM.\n";
    return 0;
}

SQInteger FileExists(HSQUIRRELVM v)
{
    sq_pushbool(v, zStream::GetFileSize(GetString(v, 2)) != 0 ? SQTrue : SQFalse);
    return 1;
}

SQInteger GetMouseDevice(HSQUIRRELVM v)
{
    PushDevice(v, &GlobalMouseDevice);
    return 1;
}

SQInteger GetKeyboardDevice(HSQUIRRELVM v)
{
    PushDevice(v, &GlobalKeyboardDevice);
    return 1;
}

SQInteger GetDeviceList(HSQUIRRELVM v)
{
    ztLinkedList<zInputDeviceInfo> list;
    EnumerateInputDevices(list);
    sq_newarray(v, 0);
    for (auto* node = list.GetFirst(); node != nullptr; node = node->next) {
        sq_newtable(v);
        sq_pushstring(v, "id", -1);
        sq_pushstring(v, node->value.productName.Get() != nullptr ? node->value.productName.Get() : "", -1);
        sq_newslot(v, -3, SQFalse);
        sq_pushstring(v, "caps", -1);
        sq_pushinteger(v, SQInteger(node->value.flags));
        sq_newslot(v, -3, SQFalse);
        sq_arrayappend(v, -2);
    }
    return 1;
}

zInterfaceInstance* OpenController(const zInputDeviceInfo& info)
{
    auto* device = new zInterfaceInstance(info);
    ScriptDevices().insert(device);
    return device;
}

SQInteger DeviceNew(HSQUIRRELVM v)
{
    const char* name = GetString(v, 2);
    ztLinkedList<zInputDeviceInfo> list;
    EnumerateInputDevices(list);
    // The last controller of that name; earlier ones would be left without a
    // handle and never deleted, so only this one is opened.
    const zInputDeviceInfo* match = nullptr;
    for (auto* node = list.GetFirst(); node != nullptr; node = node->next) {
        const char* product = node->value.productName.Get();
        if (std::strcmp(product != nullptr ? product : "", name) == 0)
            match = &node->value;
    }
    PushDevice(v, match != nullptr ? OpenController(*match) : nullptr);
    return 1;
}

SQInteger DeviceNewFromIndex(HSQUIRRELVM v)
{
    const int32_t index = GetInteger(v, 2);
    ztLinkedList<zInputDeviceInfo> list;
    EnumerateInputDevices(list);
    zInterfaceInstance* device = nullptr;
    int32_t at = 0;
    for (auto* node = list.GetFirst(); node != nullptr && device == nullptr; node = node->next, ++at) {
        if (at == index) {
            device = OpenController(node->value);
            device->Update();
        }
    }
    PushDevice(v, device);
    return 1;
}

SQInteger DeviceAny(HSQUIRRELVM v)
{
    ztLinkedList<zInputDeviceInfo> list;
    EnumerateInputDevices(list);
    PushDevice(v, list.GetFirst() != nullptr ? OpenController(list.GetFirst()->value) : nullptr);
    return 1;
}

SQInteger DeviceGetName(HSQUIRRELVM v)
{
    FETCH_DEVICE(2, device);
    if (device == nullptr) {
        sq_pushstring(v, "None", -1);
        return 1;
    }
    const char* name = device->GetName().Get();
    if (name == nullptr || *name == '\0')
        sq_pushnull(v);
    else
        sq_pushstring(v, name, -1);
    return 1;
}

SQInteger DeviceSetEffect(HSQUIRRELVM v)
{
    FETCH_DEVICE(2, device);
    SQFloat magnitude = 0.0f;
    sq_getfloat(v, 3, &magnitude);
    // Force feedback is a game controller's only.
    if (auto* controller = dynamic_cast<zInterfaceInstance*>(device))
        controller->SetEffect(float(magnitude));
    return 0;
}

SQInteger DeviceSetFunctionBounceFilter(HSQUIRRELVM v)
{
    FETCH_DEVICE(2, device);
    if (device != nullptr)
        device->SetBounceFilter(GetInteger(v, 3), GetBool(v, 4));
    return 0;
}

SQInteger PoolOf(HSQUIRRELVM v, bool remove)
{
    FETCH_DEVICE(2, device);
    int32_t value = 0;
    if (device == nullptr || !device->PoolFunction(GetInteger(v, 3), value, nullptr, remove))
        value = 0;
    sq_pushinteger(v, value);
    return 1;
}

SQInteger DeviceGetFunction(HSQUIRRELVM v) { return PoolOf(v, false); }
SQInteger DevicePoolFunction(HSQUIRRELVM v) { return PoolOf(v, true); }

SQInteger DeviceSeekFunction(HSQUIRRELVM v)
{
    FETCH_DEVICE(2, device);
    const int32_t function = GetInteger(v, 3), value = GetInteger(v, 4);
    bool found = false;
    // Each device type looks in its own queues.
    if (auto* controller = dynamic_cast<zInterfaceInstance*>(device))
        found = controller->SeekFunction(function, value);
    else if (auto* mouse = dynamic_cast<zMouseDevice*>(device))
        found = mouse->SeekFunction(function, value);
    else if (auto* keyboard = dynamic_cast<zKeyboardDevice*>(device))
        found = keyboard->SeekFunction(function, value);
    sq_pushbool(v, found ? SQTrue : SQFalse);
    return 1;
}

SQInteger DeviceDelete(HSQUIRRELVM v)
{
    FETCH_DEVICE(2, device);
    if (device == nullptr)
        return 0;
    if (ScriptDevices().erase(device) == 0) {
        LogWarning("DeviceDelete") << "The program-wide mouse and keyboard devices are not deleted.\n";
        return 0;
    }
    SqSafePtrInvalidate(device);
    delete device;
    return 0;
}

SQInteger DeviceUpdate(HSQUIRRELVM v)
{
    FETCH_DEVICE(2, device);
    if (device != nullptr)
        device->Update();
    sq_pushbool(v, device != nullptr ? SQTrue : SQFalse);
    return 1;
}

SQInteger DeviceIsAvailable(HSQUIRRELVM v)
{
    FETCH_DEVICE(2, device);
    sq_pushbool(v, device != nullptr && device->IsAvailable() ? SQTrue : SQFalse);
    return 1;
}

SQInteger MouseUpdate(HSQUIRRELVM)
{
    GlobalMouseDevice.Update();
    return 0;
}

SQInteger MousePoolFunction(HSQUIRRELVM v)
{
    int32_t value = 0;
    if (!GlobalMouseDevice.PoolFunction(GetInteger(v, 2), value))
        value = 0;
    sq_pushinteger(v, value);
    return 1;
}

SQInteger KeyboardUpdate(HSQUIRRELVM)
{
    GlobalKeyboardDevice.Update();
    return 0;
}

SQInteger KeyboardPoolFunction(HSQUIRRELVM v)
{
    int32_t value = 0;
    if (!GlobalKeyboardDevice.PoolFunction(GetInteger(v, 2), value))
        value = 0;
    sq_pushinteger(v, value & 0xFF);
    return 1;
}

SQInteger KeyboardSeekFunction(HSQUIRRELVM v)
{
    sq_pushbool(v, GlobalKeyboardDevice.SeekFunction(GetInteger(v, 2), GetInteger(v, 3)) ? SQTrue : SQFalse);
    return 1;
}

SQInteger KeyboardSetKeyBounceFilter(HSQUIRRELVM v)
{
    GlobalKeyboardDevice.SetKeyBounceFilter(GetInteger(v, 2), GetBool(v, 3));
    return 0;
}

const char* const kKeyNames[] = {
    "KeyLShift", "KeyRShift", "KeyLCtrl", "KeyRCtrl", "KeyLAlt", "KeyRAlt", "KeyLWin", "KeyRWin",
    "KeyLMenu", "KeyRMenu", "KeyTab", "KeyTilde", "KeyCapsLock", "KeySpace", "KeyBackspace", "KeyReturn",
    "KeyInsert", "KeySuppr", "KeyStart", "KeyEnd", "KeyPageUp", "KeyPageDown", "KeyUpArrow", "KeyDownArrow",
    "KeyLeftArrow", "KeyRightArrow", "KeyEscape", "KeyF1", "KeyF2", "KeyF3", "KeyF4", "KeyF5",
    "KeyF6", "KeyF7", "KeyF8", "KeyF9", "KeyF10", "KeyF11", "KeyF12", "KeyPrintScreen",
    "KeyScrollLock", "KeyPause", "KeyNumLock", "KeyEnter", "KeyNumpad0", "KeyNumpad1", "KeyNumpad2", "KeyNumpad3",
    "KeyNumpad4", "KeyNumpad5", "KeyNumpad6", "KeyNumpad7", "KeyNumpad8", "KeyNumpad9", "KeyASCII",
};
static_assert(sizeof(kKeyNames) / sizeof(kKeyNames[0]) == 55, "key codes run from 0 to 54");

} // namespace

void SqRegisterIOFunctions(HSQUIRRELVM v)
{
    Register(v, Include, "Include", ".s");
    Register(v, FileExists, "FileExists", "x|ts");
    // From here on the mouse reports cursor positions across the client area.
    GlobalMouseDevice.SetAbsoluteMode(true);
    Register(v, GetMouseDevice, "GetMouseDevice", "x|t");
    Register(v, GetKeyboardDevice, "GetKeyboardDevice", "x|t");
    Register(v, GetDeviceList, "GetDeviceList", "x|ti");
    Register(v, DeviceNew, "DeviceNew", "x|ts");
    Register(v, DeviceNewFromIndex, "DeviceNewFromIndex", "x|ti");
    Register(v, DeviceAny, "DeviceAny", "x|t");
    Register(v, DeviceGetName, "DeviceGetName", "x|tu");
    Register(v, DeviceSetEffect, "DeviceSetEffect", "x|tuf");
    Register(v, DeviceSetFunctionBounceFilter, "DeviceSetFunctionBounceFilter", "x|tuib");
    Register(v, DeviceGetFunction, "DeviceGetFunction", "x|tui");
    Register(v, DevicePoolFunction, "DevicePoolFunction", "x|tui");
    Register(v, DeviceSeekFunction, "DeviceSeekFunction", "x|tuii");
    Register(v, DeviceDelete, "DeviceDelete", "x|tu");
    Register(v, DeviceUpdate, "DeviceUpdate", "x|tu");
    Register(v, DeviceIsAvailable, "DeviceIsAvailable", "x|tu");
    Register(v, MouseUpdate, "MouseUpdate", "x|t");
    Register(v, MousePoolFunction, "MousePoolFunction", "x|ti");
    Register(v, KeyboardUpdate, "KeyboardUpdate", "x|t");
    Register(v, KeyboardPoolFunction, "KeyboardPoolFunction", "x|ti");
    Register(v, KeyboardSeekFunction, "KeyboardSeekFunction", "x|tii");
    Register(v, KeyboardSetKeyBounceFilter, "KeyboardSetKeyBounceFilter", "x|tib");

    NewIntegerConstant(v, "DeviceTypeGame", 2);
    NewIntegerConstant(v, "DeviceCapsNone", 0);
    NewIntegerConstant(v, "DeviceCapsForceFeedback", 1);
    static const char* const axes[] = {"DeviceAxisX", "DeviceAxisY", "DeviceAxisZ", "DeviceAxisU", "DeviceAxisV"};
    for (int32_t i = 0; i < 5; ++i)
        NewIntegerConstant(v, axes[i], i);
    NewIntegerConstant(v, "DeviceAxisRX", 26);
    NewIntegerConstant(v, "DeviceAxisRY", 27);
    NewIntegerConstant(v, "DeviceAxisRZ", 28);
    NewIntegerConstant(v, "DeviceLeft", 22);
    NewIntegerConstant(v, "DeviceRight", 23);
    NewIntegerConstant(v, "DeviceUp", 24);
    NewIntegerConstant(v, "DeviceDown", 25);
    for (int32_t i = 0; i < 16; ++i) {
        const std::string name = "DeviceButton" + std::to_string(i);
        NewIntegerConstant(v, name.c_str(), 5 + i);
    }
    NewIntegerConstant(v, "DeviceKeyPress", 21);
    for (int32_t i = 0; i < 55; ++i)
        NewIntegerConstant(v, kKeyNames[i], i);
}
