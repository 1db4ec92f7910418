#pragma once

#include "framework/tools/zString.h"

// The common part of every file system's handle record; each file system
// derives its own and is the only one to look inside.
struct zIOHandle {
    virtual ~zIOHandle() = default;

    zString name;
};
