// Maps error codes to the user messages of the error handlers.
#pragma once

#include <map>
#include <string>

struct tk_error_entry {
  int code;
  const char* message;
};

class tk_error_converter {
 public:
  tk_error_converter(int count, const tk_error_entry* table);
  // A code already in the map keeps its first message.
  void load_map(int count, const tk_error_entry* table);
  // The message of the code, or an empty string.
  std::string convert(int code) const;

 private:
  std::map<int, std::string> messages;
};
