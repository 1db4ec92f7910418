#pragma once

#include <squirrel.h>

#include <cstdint>

// "__Assert", "Pow", "Mod", "AbsMod", "ObjectIsValid" (and its aliases),
// "ObjectIsSame", "ShellExecute", "FileRename"; the root table is not
// required on the stack.
void SqRegisterBaseFunctions(HSQUIRRELVM v);

// Runs "command arguments" (no space without arguments) through the shell,
// logging the command line and the command's output; returns the command's
// exit status (128 + signal when a signal ended it), -1 when it cannot be
// started or for a null command.
int32_t SqShellExecute(const char* command, const char* arguments);
