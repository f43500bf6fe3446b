#pragma once

// Whether the full-screen saver is showing. The desktop has no system-wide
// "a screen saver runs" switch to set; the state is recorded here so that a
// host integration (a lock screen, a power manager) can hook it in one place.
void set_screensaver_running(bool running);
bool screensaver_running();
