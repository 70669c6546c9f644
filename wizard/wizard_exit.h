#pragma once
// Ends the process at once with the code, from any thread, as the wizard
// does after an internal error: nothing more runs, output is flushed.
[[noreturn]] void wizard_exit_process(int code);
