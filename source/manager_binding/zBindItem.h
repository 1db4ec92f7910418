#pragma once

#include <squirrel.h>

// The item family: identity, state, command lists, script unit and the core
// item's transformation; also the item physics and item motion functions and
// the item, orientation, rotation-order and physic-flag constants. Every
// function takes an Item handle first; handles it pushes borrow their objects.
void SqRegisterItemFunctions(HSQUIRRELVM v);
