#pragma once

// TAVRIN_ASSERT(condition) checks one of the engine's own invariants: an index
// into a fixed table, the links of a list, a pointer whose ownership moves.
// A false condition means the engine is wrong, so the check prints the
// condition and where it stands, then aborts, before memory is corrupted
// silently. Bad input from files or scripts is never asserted: it gets an
// error message and a failure result.
//
// Active where TAVRIN_ASSERTS is defined (the debug, asan, tsan and fuzz
// presets; the CMake option TAVRIN_ASSERTS); elsewhere the condition is
// compiled but never evaluated, so it costs nothing and cannot rot.
#if defined(TAVRIN_ASSERTS)
#define TAVRIN_ASSERT(condition) \
    ((condition) ? static_cast<void>(0) : zAssertFailed(#condition, __FILE__, __LINE__))
#else
#define TAVRIN_ASSERT(condition) static_cast<void>(sizeof(!(condition)))
#endif

// Writes "Assertion failed: <condition> (<file>:<line>)" to standard error and
// aborts. Any thread.
[[noreturn]] void zAssertFailed(const char* condition, const char* file, int line);
