// The program's exception family. Handlers read message, code and level.
#pragma once

#include <exception>
#include <string>

class tk_exception : public std::exception {
 public:
  explicit tk_exception(int level);
  tk_exception(const std::string& message, int level);
  tk_exception(const std::wstring& message, int level);
  ~tk_exception() override = default;

  const char* what() const noexcept override;

  std::string message;
  int code = 0;
  // 0: the step failed and the run may go on; 1: the run must stop;
  // 2: internal error.
  int level;
};

// Carries the calling thread's last system error and its text.
class tk_exception_ex : public tk_exception {
 public:
  tk_exception_ex();
  tk_exception_ex(const std::string& prefix, int level);

 private:
  void take_last_error(const std::string& prefix);
};

// A broken internal condition; the user sees source and line hex-encoded.
class tk_mail_assertion : public tk_exception {
 public:
  tk_mail_assertion(const char* source_file, int line);
};

// Ends a conversion run on the user's request; outside the family on purpose.
class tk_final_exception : public std::exception {
 public:
  tk_final_exception();
};
