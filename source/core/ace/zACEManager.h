#pragma once

#include "framework/data_structure/zLinkedList.h"

#include <cstdint>

class zACEUnit;
class zString;

// A command of the vocabulary: its name (the entry's id), code and parameter count.
class zACECommandDefinition : public zLinkedListIdEntry {
public:
    zACECommandDefinition(const char* name, int32_t commandCode, int32_t count)
        : zLinkedListIdEntry(name), code(commandCode), parameterCount(count)
    {
    }

    int32_t code;
    int32_t parameterCount;
};

// The command vocabulary, with the built-in "nop", "loop" and "next", and the
// compiler of command-list texts such as
// "toposition 2.0, 1, 0, 5 + toalpha 2.0, 0.5; next 0.01;".
class zACEManager {
public:
    zACEManager();
    zACEManager(const zACEManager&) = delete;
    zACEManager& operator=(const zACEManager&) = delete;

    // Negative codes are reserved to the built-in commands. A name defined
    // twice keeps both definitions; look-ups find the first.
    bool DefineACECommand(const char* name, int32_t code, int32_t parameterCount);
    // The first definition of that name, or null.
    const zACECommandDefinition* FindCommand(const zString& name) const;

    // Compiles text into the unit, replacing its list. The result is the number
    // of commands in the list (separators included), or -1 after an error; a
    // failed list stays in the unit without a current command, so it does not run.
    int32_t LoadACECommandList(const char* text, zACEUnit* unit) const;

    // Set once the built-in commands are defined.
    uint8_t sealed = 0;
    zLinkedListId commands;
};
