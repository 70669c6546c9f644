#pragma once
#include "tests/support/temp_folder.h"

#include <clocale>
#include <cstdlib>
#include <string>
#include <unistd.h>

// Switches the process to a German locale, whose decimal separator is a
// comma, built into a temporary folder when the system has none. False
// when no such locale can be had.
inline bool use_comma_locale() {
  struct built {
    built() {
      std::string cmd = "localedef -i de_DE -f UTF-8 '" + made.path + "/de_DE.UTF-8' >/dev/null 2>&1";
      if (std::system(cmd.c_str()) != 0) {
      }
    }
    qm_test::temp_folder made{"qm_locale_"};
  };
  if (std::setlocale(LC_ALL, "de_DE.UTF-8")) return true;
  static built locale;
  setenv("LOCPATH", locale.made.path.c_str(), 1);
  return std::setlocale(LC_ALL, "de_DE.UTF-8") && std::localeconv()->decimal_point[0] == ',';
}

// Back to the C locale at the end of a scope; later locale look-ups of
// the process no longer search the temporary folder.
struct c_locale_at_exit {
  ~c_locale_at_exit() {
    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
  }
};
