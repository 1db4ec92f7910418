// A managed handle is released when its last reference drops, once.
local a = TestPicture();
local b = a;
a = null;
print("one reference left");
b = null;
print("released");
function Temporary() {
    TestPicture();
    print("inside");
}
Temporary();
print("end");
