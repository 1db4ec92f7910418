#include "core/ace/zACEUnit.h"

#include "framework/system/zLogStream.h"

bool zACEUnit::ExecCommand(zACECommand* command, float slice)
{
    if (command == nullptr || slice == 0.0f)
        return false;
    switch (command->code) {
    case ACECodeNext:
        command->remaining = 0.0f;
        current = loopStart;
        break;
    case ACECodeLoop:
        command->remaining = 0.0f;
        loopStart = current;
        break;
    case ACECodeSeparator:
        LogWarning("zACEUnit::ExecCommand") << "ACE unit is executing exec opcode (?!).\n";
        break;
    default:
        break;
    }
    return true;
}

void zACEUnit::ResetCommandList()
{
    commands.Clear(true);
    current = nullptr;
    loopStart = nullptr;
}

void zACEUnit::Update(float step)
{
    if (current == nullptr)
        return;
    bool running = false;
    bool jumped = false;
    zACECommand* node = current;
    for (; node != nullptr && node->code != ACECodeSeparator; node = node->GetNext()) {
        // In double precision a remaining time of exactly the float 0.001 still runs.
        if (double(node->remaining) <= 0.001)
            continue;
        float slice = step;
        if (node->remaining <= step) {
            slice = node->remaining;
        } else {
            running = true;
            // What this step would leave is too little ever to run: the step
            // takes it too, so the command still ends on its target. The
            // group ends on the next update all the same.
            if (double(node->remaining - step) <= 0.001)
                slice = node->remaining;
        }
        ExecCommand(node, slice);
        node->remaining -= slice;
        if (node->code == ACECodeNext)
            jumped = true;
    }
    zACECommand* groupEnd = node != nullptr ? node->GetNext() : nullptr;

    if (jumped) {
        // The "next" already moved current to the loop start; without one the unit is done.
        for (zACECommand* n = loopStart; n != nullptr && n != groupEnd; n = n->GetNext())
            n->remaining = n->duration;
    } else if (!running) {
        current = groupEnd;
    }
}
