#include "core/ace/zACEManager.h"

#include "core/ace/zACEUnit.h"
#include "framework/system/zLogStream.h"
#include "framework/tools/zString.h"
#include "framework/tools/zTextScanner.h"

#include <cstring>
#include <new>

zACEManager::zACEManager()
{
    DefineACECommand("nop", ACECodeNop, 0);
    DefineACECommand("loop", ACECodeLoop, 0);
    DefineACECommand("next", ACECodeNext, 0);
    sealed = 1;
}

bool zACEManager::DefineACECommand(const char* name, int32_t code, int32_t parameterCount)
{
    if (sealed != 0 && code < 0) {
        LogError("zACEManager::DefineACECommand") << "Negative command codes are reserved.\n";
        return false;
    }
    if (name == nullptr || name[0] == '\0') {
        LogError("zACEManager::DefineACECommand") << "An ACE command needs a name.\n";
        return false;
    }
    auto* definition = new (std::nothrow) zACECommandDefinition(name, code, parameterCount);
    if (definition == nullptr) {
        LogError("zACEManager::DefineACECommand")
            << "Failed to allocate new container to define ACE command '" << name << "'.\n";
        return false;
    }
    commands.Append(definition);
    return true;
}

const zACECommandDefinition* zACEManager::FindCommand(const zString& name) const
{
    return static_cast<const zACECommandDefinition*>(commands.Find(name));
}

int32_t zACEManager::LoadACECommandList(const char* text, zACEUnit* unit) const
{
    static const char* const method = "zACEManager::LoadACECommandList";
    if (text == nullptr) {
        LogError(method) << "Cannot load a null command list.\n";
        return -1;
    }
    if (unit == nullptr) {
        LogError(method) << "Cannot load a command list into a null unit.\n";
        return -1;
    }

    unit->ResetCommandList();
    const char* end = text + std::strlen(text);
    const char* p = SkipBlanksAndComments(text, end);
    if (p >= end) {
        unit->current = unit->commands.GetHead();
        return 0;
    }

    for (;;) {
        auto* command = new (std::nothrow) zACECommand;
        if (command == nullptr) {
            LogError(method) << "Failed to allocate an ACE command.\n";
            return -1;
        }
        unit->commands.Append(command);

        // Names and durations end at '-'; parameters keep it as their sign.
        const char* nameEnd = FindTokenEnd(p, end, false);
        zString name;
        name.AssignRange(p, nameEnd);
        const zACECommandDefinition* definition = FindCommand(name);
        if (definition == nullptr) {
            LogError(method) << "Undefined ACE command '" << name << "'.\n";
            return -1;
        }
        command->code = definition->code;

        p = SkipBlanksAndComments(nameEnd, end);
        if (p >= end) {
            LogError(method) << "No duration for ACE command '" << name << "'.\n";
            return -1;
        }
        const char* durationEnd = FindTokenEnd(p, end, false);
        float duration = ParseFloat(p, durationEnd);
        if (!(duration >= 0.001f))
            duration = 0.001f;
        command->duration = duration;
        command->remaining = duration;
        p = SkipBlanksAndComments(durationEnd, end);

        int32_t read = 0;
        while (p < end && *p != '+' && *p != ';') {
            if (read == zACECommand::MaxParameters) {
                LogError(method) << "ACE compiled with " << zACECommand::MaxParameters
                                 << " command parameter(s) maximum.\n";
                return -1;
            }
            if (*p != ',') {
                LogError(method) << "Expected ',' in ACE list declaration.\n";
                return -1;
            }
            p = SkipBlanksAndComments(p + 1, end);
            if (p >= end) {
                LogError(method) << "Expected ACE command parameter following ','.\n";
                return -1;
            }
            const char* parameterEnd = FindTokenEnd(p, end, true);
            command->parameters[read++] = ParseFloat(p, parameterEnd);
            p = SkipBlanksAndComments(parameterEnd, end);
        }
        if (p >= end) {
            LogError(method) << "Mangled ACE command list.\n";
            return -1;
        }
        if (read != definition->parameterCount) {
            LogError(method) << "ACE command '" << name << "' takes " << definition->parameterCount
                             << " parameter(s), found " << read << ".\n";
            return -1;
        }
        if (*p == ';') {
            auto* separator = new (std::nothrow) zACECommand;
            if (separator == nullptr) {
                LogError(method) << "Failed to allocate an ACE command.\n";
                return -1;
            }
            separator->code = ACECodeSeparator;
            unit->commands.Append(separator);
        }
        p = SkipBlanksAndComments(p + 1, end);
        if (p >= end) {
            unit->current = unit->commands.GetHead();
            return unit->commands.GetCount();
        }
    }
}
