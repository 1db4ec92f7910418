// The base library.
print(type(1) + " " + type({}) + " " + type(print) + " " + _versionnumber_ + " " + _version_ + " " + _charsize_ + " " + _intsize_ + " " + _floatsize_ + "\n");
local f = compilestring("return 6 * 7;");
print(f() + " " + compilestring("return this.x;", "named").call({ x = "bound" }) + "\n");
try { compilestring("1 +"); } catch (e) { print("compile: " + e + "\n"); }
try { assert(1 == 2); } catch (e) { print(e + "\n"); }
assert(true);
print(array(2).len() + " " + array(2, 7)[1] + "\n");
local root = getroottable();
root.newglobal <- "g";
print(newglobal + " " + ("print" in root) + "\n");
local saved = setroottable({ print = print });
print(("newglobal" in getroottable()) + "\n");
setroottable(saved);
print(newglobal + "\n");
local oldconst = setconsttable({});
print(typeof oldconst + "\n");
setconsttable(oldconst);
function where() { return getstackinfos(1); }
local info = where();
print(info.func + " " + info.src + " " + info.line + " " + typeof info.locals + "\n");
local here = getstackinfos(0);
print(here.func + " " + here.src + " " + here.line + "\n");
print(getstackinfos(100) + "\n");
dummy();
local seen = [];
seterrorhandler(function(e) { seen.append(e); });
local t = newthread(function() { throw "in thread"; });
try { t.call(); } catch (e) {}
print(seen.len() + " " + seen[0] + "\n");
seterrorhandler(null);
local lines = [];
setdebughook(function(type, src, line, name) { if (type == 'l') lines.append(line); });
enabledebuginfo(true);
compilestring("local a = 1;\nlocal b = 2;\n")();
setdebughook(null);
print(lines.len() + " " + lines[0] + " " + lines[1] + "\n");
foreach (fn in [@() array(-1), @() type(), @() compilestring(1), @() newthread(1), @() getstackinfos("x")]) {
    try { fn(); } catch (e) { print(e + "\n"); }
}
print(typeof collectgarbage() + "\n");
