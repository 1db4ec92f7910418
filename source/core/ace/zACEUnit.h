#pragma once

#include "framework/data_structure/zLinkedList.h"

#include <cstdint>

// Built-in command codes; user commands have codes 0 and above.
enum : int32_t {
    ACECodeNop = -1,
    // Inserted by the list reader for ';': ends a group.
    ACECodeSeparator = -2,
    ACECodeLoop = -3,
    ACECodeNext = -4,
};

// A compiled command: what it does, for how long, with up to three values.
class zACECommand : public zLinkedListEntry {
public:
    static constexpr int32_t MaxParameters = 3;

    zACECommand* GetNext() const { return static_cast<zACECommand*>(next); }

    int32_t code = 0;
    // At least 0.001.
    float duration = 0.0f;
    // Time still to run; set to the duration when compiled and when a loop is re-armed.
    float remaining = 0.0f;
    float parameters[MaxParameters] = {};
};

// A compiled command list: commands and separators in order, owned.
class zACECommandList : public zLinkedList {
public:
    zACECommand* GetHead() const { return static_cast<zACECommand*>(first); }
};

// Owns one compiled command list and runs it over time, a group at a time: the
// commands joined by '+' run together, ';' starts the next group. Items,
// windows and 2D scenes embed a unit and run their own commands in
// ExecCommand, passing the others to this base.
class zACEUnit {
public:
    zACEUnit() = default;
    virtual ~zACEUnit() = default;
    zACEUnit(const zACEUnit&) = delete;
    zACEUnit& operator=(const zACEUnit&) = delete;

    // Runs one command for a slice of time. The base handles the built-in
    // codes; false for a null command or an empty slice. The command's
    // remaining time is still the time before the slice: the last slice
    // equals it.
    virtual bool ExecCommand(zACECommand* command, float slice);

    // A value moved the share of the way left to its target; the target
    // itself once the share reaches 1, so that a command ends exactly on it.
    static float StepToward(float value, float target, float share)
    {
        return share >= 1.0f ? target : value + (target - value) * share;
    }

    // Deletes the list; the unit is idle.
    void ResetCommandList();
    // Advances the current group by step seconds.
    void Update(float step);
    // True while a group is left to run.
    bool IsRunning() const { return current != nullptr; }

    zACECommandList commands;
    // First command of the group being run; null when the list is finished.
    zACECommand* current = nullptr;
    zACECommand* loopStart = nullptr;
};
