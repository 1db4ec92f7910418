// Files, includes and input devices from a script; a virtual game controller
// named "Script Pad" is attached with button 0 down and axis X at its top.
function S(x) { return x == null ? "null" : x; }

cases <- {
    file_exists = function() { return FileExists("empty.txt") + " " + FileExists("full.txt") + " " + FileExists("none.txt"); },
    include_runs_once = function() {
        Include("inc.nut");
        local first = ::included;
        Include("inc.nut");
        return first + " " + ::included;
    },
    include_syntax_error = function() { Include("broken.nut"); return "done"; },
    mouse_and_keyboard_names = function() {
        return S(DeviceGetName(GetMouseDevice())) + " " + S(DeviceGetName(GetKeyboardDevice())) + " " +
               DeviceGetName(TestNullHandle(EngineTypeHID));
    },
    delete_mouse_ignored = function() {
        local m = GetMouseDevice();
        DeviceDelete(m);
        return DeviceIsAvailable(m) + " " + ObjectIsValid(m);
    },
    controller_calls_on_keyboard = function() {
        local k = GetKeyboardDevice();
        DeviceSetEffect(k, 5000.0);
        DeviceSetEffect(GetMouseDevice(), 5000.0);
        return DeviceSeekFunction(k, DeviceKeyPress, 0) + " " + KeyboardPoolFunction(DeviceAxisX);
    },
    device_list = function() {
        local list = GetDeviceList(0);
        return list.len() + " " + list[0].id + " " + list[0].caps;
    },
    device_by_name = function() {
        local d = DeviceNew("Script Pad");
        local none = DeviceNew("No Such Pad");
        local out = DeviceGetName(d) + " " + DeviceIsAvailable(d) + " " + (ObjectIsValid(none) ? "handle" : "null");
        DeviceDelete(d);
        return out;
    },
    device_by_index = function() {
        local d = DeviceNewFromIndex(0);
        local out = DeviceIsAvailable(d) + " " + ObjectIsValid(DeviceNewFromIndex(1)) + " " +
                    ObjectIsValid(DeviceNewFromIndex(-1));
        DeviceDelete(d);
        return out;
    },
    peek_and_pool = function() {
        local d = DeviceAny();
        DeviceUpdate(d);
        DeviceUpdate(d);
        local out = DeviceGetFunction(d, DeviceButton0) + " " + DeviceGetFunction(d, DeviceButton0) + " ";
        out += DevicePoolFunction(d, DeviceButton0) + " ";
        DevicePoolFunction(d, DeviceButton0);
        out += DevicePoolFunction(d, DeviceButton0);
        DeviceDelete(d);
        return out;
    },
    seek = function() {
        local d = DeviceAny();
        DeviceUpdate(d);
        local out = DeviceSeekFunction(d, DeviceButton0, 128) + " " + DeviceSeekFunction(d, DeviceButton1, 128);
        DeviceDelete(d);
        return out;
    },
    axis_value = function() {
        local d = DeviceAny();
        DeviceUpdate(d);
        local out = DeviceGetFunction(d, DeviceAxisX);
        DeviceDelete(d);
        return out;
    },
    delete_controller = function() {
        local d = DeviceAny();
        DeviceDelete(d);
        // The handle is stale now: no object behind it.
        return ObjectIsValid(d) + " " + DeviceIsAvailable(d);
    },
    key_constants = function() {
        return KeyLShift + " " + KeyF12 + " " + KeyNumpad0 + " " + KeyASCII + " " + DeviceButton15 + " " +
               DeviceKeyPress + " " + DeviceAxisRZ;
    },
};
