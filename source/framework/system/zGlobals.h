#pragma once

#include "framework/tools/zString.h"

// The tag name of an unconnected input in a shader-map block tree.
extern zString GlobalNoneTagName;
// The element keys of the script matrix types, column by column ("m00", "m10", ...).
extern zString MatrixElementNames[16];
