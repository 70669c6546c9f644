#pragma once
class tk_exception;
// Writes an error that cannot be thrown (for example in a destructor) to
// the log at level 3.
void tk_log_internal_error(const tk_exception& e);
