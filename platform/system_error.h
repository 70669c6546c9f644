// The system's text of an error number (an errno value), for a message.
#pragma once

#include <string>

namespace qm_platform {
// strerror's text, as FormatMessageA gives it without its line end; empty
// for 0, which is no error.
std::string system_error_text(int error);
// The same as wide text, for a wide message.
std::wstring system_error_wide_text(int error);
}  // namespace qm_platform
