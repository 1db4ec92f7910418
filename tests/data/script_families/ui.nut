// Windows of a 2D scene built and handled from a script.
class Rect { sx = 0; sy = 0; ex = 0; ey = 0; }
function R(r) { return format("%d,%d,%d,%d", r.sx.tointeger(), r.sy.tointeger(), r.ex.tointeger(), r.ey.tointeger()); }
function V(v) { return format("%g,%g,%g", v.x, v.y, v.z); }
local ui = TestUI();
// A loaded font named "default", whatever the cases load.
named_font <- UILoadFont("ui/../default.ttf");
// The ids of the windows 101 to 103, back to front (other cases leave windows too).
function Order() {
    local ids = [];
    foreach (id in split(TestWindowOrder(), ","))
        if (id.tointeger() > 100) ids.append(id);
    local out = "";
    foreach (i, id in ids) out += (i > 0 ? "," : "") + id;
    return out;
}
// The collector also marks stack slots above the top, which keep what earlier
// calls left there: overwrite them before asking whether something was freed.
function Scrub() {
    local a = 0, b = 0, c = 0, d = 0, e = 0, f = 0, g = 0, h = 0, i = 0, j = 0, k = 0, l = 0;
    return a + b + c + d + e + f + g + h + i + j + k + l;
}
// A handler whose closure holds obj.
function Holder(obj) { return function(e, t) { ::seen <- obj.name; }; }

cases <- {
    add_window = function() {
        local w = UIAddWindow(ui, 7, 10.0, 20.0, 100.0, 50.0);
        return WindowGetTitle(w) + " " + R(WindowGetRect(w)) + " " + V(WindowGetPosition(w)) + " " + WindowIsShown(w);
    },
    add_window_on_empty_ui = function() {
        local empty = TestNullHandle(EngineTypeWindowSystem);
        return WindowIsValid(UIAddWindow(empty, 1, 0.0, 0.0, 10.0, 10.0)) + " " +
               WindowIsValid(WindowSystemAddBitmapWindow(empty, 1, "ui/ui_check_true.tga", 0.0, 0.0, 10.0, 10.0));
    },
    title = function() {
        local w = UIAddWindow(ui, 1, 0.0, 0.0, 10.0, 10.0);
        WindowSetTitle(w, "Settings");
        return WindowGetTitle(w) + " " + WindowGetTitle(TestNullHandle(EngineTypeWindow));
    },
    screen_rect_ignores_parent = function() {
        local parent = UIAddWindow(ui, 1, 100.0, 100.0, 200.0, 200.0);
        local child = UIAddWindow(ui, 2, 5.0, 6.0, 40.0, 30.0);
        WindowSetParent(child, parent);
        return R(WindowGetScreenRect(child));
    },
    empty_window_defaults = function() {
        local w = TestNullHandle(EngineTypeWindow);
        return WindowGetStyle(w) + " " + R(WindowGetRect(w)) + " " + V(WindowGetSize(w)) + " " + WindowGetOpacity(w) +
               " " + WindowIsShown(w) + " " + WindowGetExcludeFromRecord(w);
    },
    style_bits = function() {
        local w = UIAddWindow(ui, 1, 0.0, 0.0, 10.0, 10.0);
        WindowSetStyle(w, StyleMovable);
        WindowAddStyle(w, StyleAlwaysOnTop);
        local both = WindowGetStyle(w);
        WindowRemoveStyle(w, StyleAlwaysOnTop);
        local one = WindowGetStyle(w);
        WindowSetStyle(w, 0);
        return both + " " + one + " " + WindowGetStyle(w);
    },
    opacity_clamped = function() {
        local w = UIAddWindow(ui, 1, 0.0, 0.0, 10.0, 10.0);
        WindowSetOpacity(w, 2.0);
        local high = WindowGetOpacity(w);
        WindowSetOpacity(w, -1.0);
        return high + " " + WindowGetOpacity(w);
    },
    centre = function() {
        UISetInternalResolution(ui, 800, 600);
        local w = UIAddWindow(ui, 1, 0.0, 0.0, 100.0, 50.0);
        WindowCentre(w);
        UISetInternalResolution(ui, 1280, 960);
        return V(WindowGetPosition(w));
    },
    parent_cycle_refused = function() {
        local a = UIAddWindow(ui, 1, 0.0, 0.0, 10.0, 10.0), b = UIAddWindow(ui, 2, 0.0, 0.0, 10.0, 10.0);
        WindowSetParent(b, a);
        WindowSetParent(a, b); // would make a loop: refused
        WindowSetParent(a, a);
        WindowShow(b, false);
        // b hides only itself: a hangs below nothing.
        return WindowIsShown(b) + " " + WindowIsShown(a);
    },
    order_and_self_moves = function() {
        local a = UIAddWindow(ui, 101, 0.0, 0.0, 10.0, 10.0), b = UIAddWindow(ui, 102, 0.0, 0.0, 10.0, 10.0);
        local c = UIAddWindow(ui, 103, 0.0, 0.0, 10.0, 10.0);
        local out = Order();
        WindowMoveToFront(a);
        out += " " + Order();
        WindowMoveToFrontOf(a, a);
        WindowMoveToBackOf(a, a);
        out += " " + Order();
        WindowMoveToBack(a);
        out += " " + Order();
        WindowMoveToBackOf(a, TestNullHandle(EngineTypeWindow));
        out += " " + Order();
        WindowMoveToFrontOf(a, b);
        return out + " " + Order();
    },
    event_out_of_range = function() {
        local w = UIAddWindow(ui, 1, 0.0, 0.0, 10.0, 10.0);
        WindowSetEventHandler(w, 15, function(e, t) {});
        WindowSetEventHandlerWithContext(w, -1, {}, function(e, t) {});
        return TestFire(w, 15) + " " + TestFire(w, -1);
    },
    handler_kept_and_released = function() {
        local w = UIAddWindow(ui, 1, 0.0, 0.0, 10.0, 10.0);
        local captured = {name = "captured"};
        local watch = captured.weakref();
        WindowSetEventHandler(w, EventMove, Holder(captured));
        captured = null;
        collectgarbage();
        local alive = watch.ref() != null;
        local fired = TestFire(w, EventMove);
        // Replacing the handler lets go of the first closure and what it holds.
        WindowSetEventHandler(w, EventMove, function(e, t) {});
        Scrub();
        collectgarbage();
        return alive + " " + fired + " " + ::seen + " " + (watch.ref() != null);
    },
    handler_released_with_window = function() {
        local w = UIAddWindow(ui, 1, 0.0, 0.0, 10.0, 10.0);
        local captured = {name = "captured"}, context = {};
        local watch = captured.weakref(), contextWatch = context.weakref();
        WindowSetEventHandlerWithContext(w, EventShade, context, Holder(captured));
        captured = null;
        context = null;
        local alive = watch.ref() != null && contextWatch.ref() != null;
        UIDeleteWindow(ui, w);
        Scrub();
        collectgarbage();
        return alive + " " + (watch.ref() != null) + " " + (contextWatch.ref() != null);
    },
    context_kept = function() {
        local w = UIAddWindow(ui, 1, 0.0, 0.0, 10.0, 10.0);
        WindowSetEventHandlerWithContext(w, EventLeftMouseClick, {tag = "ctx"}, function(e, t) {});
        WindowSetEventHandler(w, EventLeftMouseClick, function(e, t) { ::seen <- this.tag + ":" + e; });
        TestFire(w, EventLeftMouseClick);
        return ::seen;
    },
    command_list = function() {
        local w = UIAddWindow(ui, 1, 0.0, 0.0, 10.0, 10.0);
        WindowSetCommandList(w, "toalpha 1.0, 0.5;");
        local running = WindowIsCommandListDone(w);
        WindowResetCommandList(w);
        return running + " " + WindowIsCommandListDone(w) + " " + UIIsCommandListDone(ui);
    },
    delete_window = function() {
        local w = UIAddWindow(ui, 1, 0.0, 0.0, 10.0, 10.0);
        local before = WindowIsValid(w);
        UIDeleteWindow(ui, w);
        return before + " " + WindowIsValid(w);
    },
    script_instance = function() { local i = UIGetScriptInstance(ui); return i == null ? "null" : "instance"; },
    fonts = function() {
        return ObjectIsValid(UIGetFont("default")) + " " + ObjectIsValid(WindowSystemGetFont("no such font"));
    },
    // Fonts are named after their file's base name; only a path that is
    // already a font's name, unchanged, is refused.
    font_same_path_twice = function() {
        local first = UILoadFont("ui/../default.ttf");
        local second = UILoadFont("ui/../default.ttf");
        return ObjectIsValid(first) + " " + ObjectIsValid(second) + " " + ObjectIsSame(first, second);
    },
    font_same_name_by_another_path = function() {
        local first = UILoadFont("ui/../default.ttf");
        local second = UILoadFont("default.ttf");
        return ObjectIsValid(first) + " " + ObjectIsValid(second);
    },
    font_path_that_is_a_font_name = @() ObjectIsValid(UILoadFont("default")),
    too_few_arguments = function() { WindowShow(UIAddWindow(ui, 1, 0.0, 0.0, 10.0, 10.0)); return "ran"; },
    integer_where_float_expected = function() { UIAddWindow(ui, 1, 0, 0, 10, 10); return "ran"; },
    constants = function() {
        return TextFormatLine + " " + TextFormatStandard + " " + EventUnshade + " " + StyleMovable + " " + WidgetAlignBottom;
    },
};
