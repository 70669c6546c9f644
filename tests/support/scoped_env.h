// Sets or clears an environment variable for one scope; the old value
// comes back at its end.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

class scoped_env {
 public:
  scoped_env(const char* name, const char* value) : name(name) {
    if (const char* old = std::getenv(name)) saved = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  scoped_env(const char* name, const std::string& value) : scoped_env(name, value.c_str()) {}
  ~scoped_env() {
    if (saved)
      setenv(name, saved->c_str(), 1);
    else
      unsetenv(name);
  }
  scoped_env(const scoped_env&) = delete;
  scoped_env& operator=(const scoped_env&) = delete;

 private:
  const char* name;
  std::optional<std::string> saved;
};
