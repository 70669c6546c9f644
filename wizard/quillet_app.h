// The wizard's entry: start-up checks, the quick launch with a settings
// file, the sheet's modal run and the teardown.
#pragma once

#include <cstdint>

using HINSTANCE = void*;

// The command line is the narrow command line without the program name,
// used whole as the path of a settings file when it is not empty.
int WinMain(HINSTANCE instance, HINSTANCE previous, char* command_line, int show);

// Ends the process with -1 when the widgets are too old.
void gui_startup_check();
// Compared unsigned: major in the high 16 bits, minor in the low 16.
bool gui_version_accepted(std::uint32_t version, std::uint32_t minimum);
// The run-time version of the widget library, in that form.
std::uint32_t gui_library_version();
// The oldest version the wizard accepts: the one it was built with.
std::uint32_t gui_minimum_version();
// False when no window system can be reached (no display and no Qt
// platform named, or an X display that cannot be connected to or does not
// answer in time): the wizard then cannot start.
bool gui_platform_available();

// After SIGINT, SIGTERM or SIGHUP (which have asked the run to stop): waits a
// bounded time for a conversion run to remove what it made, then ends the
// process by the signal.
void wizard_end_by_signal();
