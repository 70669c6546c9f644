#include "TK/tk_exception.h"

#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "platform/utf8.h"
#include "platform/win32.h"

#include <cstdio>

namespace {
const char k_unknown[] = "Unknown exception";
const char k_assertion_prefix[] = "Internal error: \ncode=";
}  // namespace

tk_exception::tk_exception(int lvl) : message(k_unknown), level(lvl) {}

tk_exception::tk_exception(const std::string& msg, int lvl)
    : message(msg.empty() ? std::string(k_unknown) : msg), level(lvl) {}

tk_exception::tk_exception(const std::wstring& msg, int lvl) : level(lvl) {
  // A path in the message may hold bytes that are no text.
  if (!tk_w2a(qm_platform::path_as_text(msg).c_str(), message)) message.clear();
}

const char* tk_exception::what() const noexcept { return message.c_str(); }

tk_exception_ex::tk_exception_ex() : tk_exception(1) { take_last_error(std::string()); }

tk_exception_ex::tk_exception_ex(const std::string& prefix, int lvl) : tk_exception(lvl) {
  take_last_error(prefix);
}

void tk_exception_ex::take_last_error(const std::string& prefix) {
  DWORD last = GetLastError();
  code = static_cast<int>(last);
  char* text = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, last,
                           MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0,
                           nullptr);
  if (n > 0 && text) {
    message = prefix + text;
    tk_log::write(2, "GetLastError: %s", text);
  }
  if (text) LocalFree(text);
}

tk_mail_assertion::tk_mail_assertion(const char* source_file, int line) : tk_exception(2) {
  const char* file = source_file ? source_file : "";
  tk_log::write(2, "tk_mail_assertion::ctor(%s)", file);
  tk_log::write(2, "make_err_meggase(%s, %d)", file, line);
  char buffer[276];
  std::snprintf(buffer, sizeof buffer, "%s\\%d", file, line);
  tk_log::write(2, "result=%s", buffer);
  static const char digits[] = "0123456789abcdef";
  message = k_assertion_prefix;
  for (const char* p = buffer; *p; ++p) {
    auto byte = static_cast<unsigned char>(*p);
    message += digits[byte >> 4];
    message += digits[byte & 15];
  }
}

tk_final_exception::tk_final_exception() { tk_log::write(2, "tk_final_exception::ctor"); }
