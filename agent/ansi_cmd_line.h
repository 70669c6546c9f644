// Reads narrow command-line arguments against a table of option prefixes.
#pragma once

struct cmd_line_option {
  int id;
  const char* prefix;  // the table ends with an empty prefix
};

class TCmdLine {
 public:
  virtual ~TCmdLine() = default;
  virtual void next() = 0;
  virtual bool has_more() const = 0;
};

class ansi_cmd_line : public TCmdLine {
 public:
  // Skips the program path; parses the first argument at once.
  ansi_cmd_line(int argc, char** argv, const cmd_line_option* table);

  void next() override;
  bool has_more() const override;

  const char* get_value() const { return value; }
  int get_option_id() const { return option_id; }
  int get_positional_count() const { return positional_count; }
  const char* get_positional(int i) const { return positional[i]; }
  // The argument being looked at.
  const char* current() const { return *cursor; }

  static constexpr int max_positional = 20;

 private:
  void parse(const char* argument);

  const cmd_line_option* option_table;
  const char* value = nullptr;
  int option_id = -1;
  int positional_count = 0;
  const char* positional[max_positional] = {};
  char** cursor;
  int left;
};
