// Strings, code pages, the program's location and file tests.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// The program file and its folder (with a trailing "/").
std::string tk_get_module_name();
std::wstring tk_get_module_name_w();
std::string tk_get_module_dir();
std::wstring tk_get_module_dir_w();
std::wstring tk_get_current_dir_w();

// mode 1 tests reading and writing; any other mode tests reading only.
bool tk_is_file_exist(const std::string& path, int mode);
bool tk_is_file_exist(const std::wstring& path, int mode);
bool tk_is_path_exist(const std::string& folder);
bool tk_is_path_exist(const std::wstring& folder);

// The lines of a file, each without its "\n" or "\r\n", however long.
// False when the file cannot be opened, a read fails before its end, or a
// line holds a NUL byte: the rest of that line would be lost.
bool tk_read_lines(const std::string& path, std::vector<std::string>& lines);

// The same one line at a time, for files of any size: only the line read
// is held.
class tk_line_reader {
 public:
  explicit tk_line_reader(const std::string& path);
  ~tk_line_reader();
  tk_line_reader(const tk_line_reader&) = delete;
  tk_line_reader& operator=(const tk_line_reader&) = delete;

  bool is_open() const { return file != nullptr; }
  // False at the end of the file, and where reading stops before it: a
  // read that failed, or a line that holds a NUL byte.
  bool next(std::string& line);
  // Once next() gave false: whether the whole file was read, or the line
  // that stopped it held a NUL byte.
  bool ended() const { return state == at_end; }
  bool holds_zero_byte() const { return state == zero_byte; }
  // The number of the line read last, from 1.
  std::size_t line_number() const { return number; }

 private:
  enum { reading, at_end, failed, zero_byte } state = reading;
  std::FILE* file;
  char* buffer = nullptr;
  std::size_t size = 0;
  std::size_t number = 0;
};

// Wide text and the ANSI code page (UTF-8 here); false on a null input or
// text that does not convert.
bool tk_w2a(const wchar_t* text, std::string& out);
bool tk_a2w(const char* text, std::wstring& out);
// Raise tk_exception_ex on text that does not convert.
std::string tk_to_utf8(const std::wstring& text);
std::wstring tk_from_utf8(const std::string& text);

// Blanks are the space character only.
std::string tk_ltrim(const std::string& text);
std::string tk_rtrim(const std::string& text);
std::string tk_trim(const std::string& text);
std::wstring tk_ltrim(const std::wstring& text);
std::wstring tk_rtrim(const std::wstring& text);
std::wstring tk_trim(const std::wstring& text);

std::vector<std::wstring> tk_split(const std::wstring& text, wchar_t separator);
std::wstring tk_join(const std::vector<std::wstring>& items, wchar_t separator);

class tk_wstring {
 public:
  static std::wstring replace_all(const std::wstring& text, const std::wstring& what, const std::wstring& with);
  static std::wstring to_upper(const std::wstring& text);
};

// Excel and BIFF count text in UTF-16 units, where a character beyond the
// Basic Multilingual Plane takes two; a wide string holds one per character.
std::size_t tk_utf16_length(std::wstring_view text);
// The characters of the longest head of `text` that takes at most `units`
// UTF-16 units: a character is never split into its two halves.
std::size_t tk_utf16_head(std::wstring_view text, std::size_t units);
// Cuts `text` to that head; true when something was cut.
bool tk_utf16_cut(std::wstring& text, std::size_t units);

// A floating-point number as a person writes it: the shortest text that
// reads back as the same value (0.1, 1.5, 3, 1E+100, 5E-324); an infinity
// or a NaN as Oracle shows it: "Inf", "-Inf", "Nan".
std::string tk_number_text(double value);
std::string tk_number_text(float value);

// -1, 0 or 1; case-insensitive in every script.
int tk_compare_no_case(const std::string& a, const std::string& b);
int tk_compare_no_case(const std::wstring& a, const std::wstring& b);

// Two upper-case hexadecimal digits per byte and a terminating null into
// `out`, which holds at least 2 * count + 1 characters.
void tk_bytes_to_hex(std::size_t count, const unsigned char* bytes, char* out);
std::string tk_bytes_to_hex(std::size_t count, const unsigned char* bytes);
