// Test hook: the window probe of the Linux layer. Tests link it into their
// own build of the program; the shipped program has none of it.
#pragma once

// When DRAVIK_WINAPI_PROBE names a file, each SIGUSR1 the process receives
// makes the layer write its visible windows there (replacing the file at
// once, written elsewhere first), in the text format of the Windows window
// probe (tests/wine/win32_probe.c). The dump is written from the window
// thread's event wait, so it also answers while a message box is open.
void winapiProbeInstallFromEnvironment();
