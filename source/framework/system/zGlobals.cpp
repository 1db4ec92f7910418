// The program-wide objects that exist before main and are destroyed after it.
// They are defined together so that they are built in the order of this file
// and torn down in the reverse order: the log outlives everything built after
// it, and the disk file system closes its remaining files last.
#include "framework/filesystem/zIODiskFS.h"
#include "framework/system/device/zKeyboardDevice.h"
#include "framework/system/device/zMouseDevice.h"
#include "framework/system/zLogStream.h"

zIODiskFS GlobalDiskFS;
ztLinkedList<zIOBaseFS*> GlobalFallbackFSList;
zLogStream GlobalLog;
ztLinkedList<zString> GlobalSearchPathList;
zMouseDevice GlobalMouseDevice;
zKeyboardDevice GlobalKeyboardDevice;

// Constant-initialised: current before any constructor runs.
zIOBaseFS* GlobalCurrentFS = &GlobalDiskFS;
