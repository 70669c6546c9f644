// A date, a time or both, read from text in a few fixed forms (with the
// platform's parser as the last resort) and printed as YYYY-MM-DD hh:mm:ss.
#pragma once

#include "OLE/ole_variant.h"
#include "platform/win32.h"

#include <string>

class ole_date {
 public:
  enum kind { invalid = 0, date_time = 1, date_only = 2, time_only = 3 };

  explicit ole_date(const SYSTEMTIME& time);
  explicit ole_date(const std::string& text);
  explicit ole_date(const std::wstring& text);

  bool is_valid() const;
  ole_variant to_variant() const;
  // Milliseconds are written as three digits after the point.
  std::string to_string(bool with_milliseconds) const;
  std::wstring to_wstring(bool with_milliseconds) const;

  // A date and time at exactly 00:00:00 prints as a date only.
  bool midnight_as_date = true;
  int type = invalid;
  SYSTEMTIME st{};

 protected:
  void read(const std::string& text);
  void import_from_string(const std::string& text);
  void process_milliseconds(const char* seconds);
  void refine_type();

 private:
  // Digits of the year and of the day as the text wrote them.
  int year_digits = 0;
  int day_digits = 0;
};
