#pragma once

// The application's message pump over the platform's event queue. Main thread
// only. Before any platform subsystem has started there is no queue: the pump
// does nothing and nothing is latched.

// Drains every pending event. An Escape key press is latched until
// PlatformEscapePressed asks for it; a request to close a window or to quit
// is latched until PlatformCloseRequested asks for it. The keyboard and mouse
// state the input devices read is refreshed on the way.
void PlatformPumpEvents();

// True when Escape is held now or was pressed since the last call; clears the
// latch.
bool PlatformEscapePressed();

// True when a window was asked to close since the last call; clears the
// latch. (SIGINT and SIGTERM are PlatformStop.h's once its handlers are in.)
bool PlatformCloseRequested();

// Latches as a real event would, so the pump's callers can be exercised
// without a display.
void PlatformInjectEscape();
void PlatformInjectCloseRequest();
