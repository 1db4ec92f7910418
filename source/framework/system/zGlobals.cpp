// The program-wide objects that exist before main and are destroyed after it.
// They are defined together so that they are built in the order of this file
// and torn down in the reverse order: the log outlives everything built after
// it, and the disk file system, built before the log, closes its remaining
// files without logging. The font list (before the disk file system) and the
// picture codec list (after the keyboard) take their places here when their
// subsystems are built.
#include "framework/system/zGlobals.h"

#include "framework/filesystem/zArchive.h"
#include "framework/filesystem/zIODiskFS.h"
#include "framework/system/device/zKeyboardDevice.h"
#include "framework/system/device/zMouseDevice.h"
#include "framework/system/zLogStream.h"

zIODiskFS GlobalDiskFS;
ztLinkedList<zIOBaseFS*> GlobalFallbackFSList;
zLogStream GlobalLog;
zStream GlobalArchiveStream(1);
ztLinkedList<zString> GlobalSearchPathList;
zString GlobalNoneTagName("None");
zString MatrixElementNames[16] = {
    "m00", "m10", "m20", "m30", "m01", "m11", "m21", "m31",
    "m02", "m12", "m22", "m32", "m03", "m13", "m23", "m33",
};
zMouseDevice GlobalMouseDevice;
zKeyboardDevice GlobalKeyboardDevice;

// Constant-initialised: current before any constructor runs.
zIOBaseFS* GlobalCurrentFS = &GlobalDiskFS;
