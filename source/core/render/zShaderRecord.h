#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "framework/data_structure/ztLinkedList.h"
#include "framework/tools/zString.h"

// A program the renderer loaded from a shader library. The renderer's
// LoadShader creates it (a back-end derives its own record with its program
// objects); the renderer's list of loaded shaders owns it, keyed by name.
class zShaderRecord : public zLinkedListIdEntry {
public:
    explicit zShaderRecord(const char* name = nullptr) : zLinkedListIdEntry(name) {}

    // The entry of the library it came from in the renderer's list of loaded
    // library paths; null until the library loader registers the record.
    ztLinkedList<zString>::Node* library = nullptr;
};
