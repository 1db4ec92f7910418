#pragma once

#include <squirrel.h>

class zVector;

// Engine values that scripts see as instances of classes the bindings define
// ("Vector"). The scene and the other libraries below the bindings push them
// through here; the bindings install the pusher when they register the class,
// so those libraries never link the bindings. Main thread only, like the VM.

using SqVectorPusher = bool (*)(HSQUIRRELVM v, const zVector& value);

// Installs the function that pushes a native "Vector"; null uninstalls it.
void SqSetVectorPusher(SqVectorPusher pusher);

// Pushes value as a new "Vector" instance. False, with nothing pushed, when no
// pusher is installed (no bindings registered) or the pusher fails.
bool SqPushVectorValue(HSQUIRRELVM v, const zVector& value);
