// Details of the Windows interruption handling that the console's key read
// and the layer's own tests reach.
#pragma once
#include <windows.h>

// Installs the console control handler.
void install_interruption_handler();

// The handler: Ctrl-C, Ctrl-Break and the console window closing request an
// interruption; other events are left to the system.
BOOL WINAPI on_console_event(DWORD event);

// Marks the key read of the closing prompt. While it waits, nothing is left
// to clean up and the read cannot be woken, so an interruption ends the
// process at once, with the console input's mode `mode` put back first when
// `input` is a console.
void begin_key_wait(HANDLE input, DWORD mode);
void end_key_wait();
