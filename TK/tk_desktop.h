// Desktop services of the wizard: the clipboard, a bug report by mail and
// the version of a system library. None of them raises: failures are logged.
#pragma once

#include <cstdint>
#include <string>

// Puts the text on the clipboard as Unicode text.
void tk_copy_to_clipboard2(const std::wstring& text);
// Hands a report to the desktop's mail client; returns after a log line
// when there is none. The subject gets "Bug report on " in front.
void tk_send_bug(const std::string& subject, const std::string& body);
// Major version in the high 16 bits, minor in the low 16, or 0.
std::uint32_t get_dll_version(const wchar_t* file_name);

// The recipient of the bug reports.
#define TK_SUPPORT_CONTACT "Brightfold Support <support@brightfold.example>"
