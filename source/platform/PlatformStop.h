#pragma once

// Ending the run on SIGINT and SIGTERM, whatever the main thread is doing.
//
// The first signal asks the run to end after its frame: PlatformStopRequested
// turns true and the main loop ends cleanly. A watchdog thread gives the frame
// (or the load, when the signal comes during set-up) a grace period; when it is
// not over by then, the watchdog calls the stop callback (the application asks
// its scripts to stop there) and grants a second period. A frame still running
// after that, a shutdown that outlasts its own period, or a second signal at
// any time, end the process at once with exit code 3. Each step writes one
// line to standard error.

// The grace period of each step, in seconds.
constexpr int PlatformStopGraceSeconds = 3;

// Installs the signal handlers and starts the watchdog, once per process (the
// platform's own event queue is told to leave the signals alone). False, with
// nothing changed, when either cannot be set up.
bool PlatformInstallStopHandlers();

// True once a stop signal has come.
bool PlatformStopRequested();

// True once the watchdog found the frame overdue and called the stop callback:
// however the run then ends, it ends with exit code 3.
bool PlatformStopOverdue();

// What the watchdog calls when the frame is overdue, on its own thread, with
// the context given; null removes it. Setting or removing waits for a call in
// progress, so the context may go once the callback is removed.
void PlatformSetStopCallback(void (*callback)(void* context), void* context);

// The main loop has ended: after a stop signal, the shutdown gets a grace
// period of its own.
void PlatformStopLoopEnded();
