// A settings file (.qlt) in memory, with its reader and writer. Every save
// and every load uses a fresh object.
#pragma once

#include <map>
#include <string>
#include <vector>

// Sections and keys of the settings files.
namespace udb_profile_keys {
inline constexpr const wchar_t* available_queries = L"Available Queries";
inline constexpr const wchar_t* selected_tables = L"Selected Tables";
inline constexpr const wchar_t* generic_settings = L"Generic settings";
inline constexpr const wchar_t* oracle_settings = L"Oracle settings";
inline constexpr const wchar_t* excel_settings = L"MS Excel settings";

inline constexpr const wchar_t* src = L"src";
inline constexpr const wchar_t* dest = L"dest";
inline constexpr const wchar_t* logfile = L"logfile";
inline constexpr const wchar_t* only_definitions = L"only definitions";
inline constexpr const wchar_t* skip_indexes = L"skip indexes";
inline constexpr const wchar_t* mode = L"mode";
// "1" when the file's texts carry escapes (see udb_profile::store).
inline constexpr const wchar_t* escaped_text = L"escaped text";

inline constexpr const wchar_t* host = L"host";
inline constexpr const wchar_t* user = L"user";
inline constexpr const wchar_t* password = L"password";
inline constexpr const wchar_t* port = L"port";

inline constexpr const wchar_t* format_version = L"format version";
inline constexpr const wchar_t* dates_to_strings = L"convert dates to strings";
inline constexpr const wchar_t* wrap_text = L"wrap text";
inline constexpr const wchar_t* split_data = L"split data";
}  // namespace udb_profile_keys

class udb_profile {
 public:
  using t_section = std::map<std::wstring, std::wstring>;

  // The three sections that always exist: available queries, selected
  // tables and generic settings.
  udb_profile();

  void set_value(const std::wstring& section, const std::wstring& key, const std::wstring& value);
  // Empty when the section or the key is missing.
  std::wstring get_value(const std::wstring& section, const std::wstring& key) const;

  t_section& get_selected_tables() { return sections[udb_profile_keys::selected_tables]; }
  t_section& get_available_queries() { return sections[udb_profile_keys::available_queries]; }

  // False when the file cannot be written; an old file of that name is
  // then left as it was. The file is readable by its owner only: it holds
  // the Oracle password.
  // Every key and value loads back as it was. A text that holds a line
  // break (a query typed over several lines) cannot stand on one line as
  // it is: then the file gets "escaped text=1" among its generic settings,
  // every backslash is written doubled and every line feed and carriage
  // return as \n and \r. A key that holds "=" or a key or value with a
  // blank at either end cannot either: then the marker is "escaped text=2"
  // and, beside those escapes, such an "=" is written \= and each blank at
  // an end \s. A file without line breaks and such texts gets neither the
  // key nor escapes, and a file without the key is read as it stands. A
  // table name alone on its line that looks like a section header is
  // written with the "=" of its empty value. The values of "dest" and
  // "logfile" name files: their bytes are written as they are (see
  // path_to_utf8), text or not; every other text must convert to UTF-8.
  // False, with the system's error (GetLastError), when the file cannot be
  // written; store_failure_message then tells the user. It is written as
  // qm_platform::replace_private_file replaces a file: a symbolic link that
  // is not followed leaves store_problem saying why instead.
  bool store(const std::wstring& file_name);
  std::wstring store_problem;
  // Raises tk_exception when the file does not exist or cannot be read
  // (also when a read fails on the way), and with what is wrong with it
  // when a line holds a zero byte or a header names no section of a
  // settings file; false on a line before the first section header, which
  // the caller reports (load_failure_message). A line that looks like a
  // header but holds "=" is an entry. A UTF-8 byte-order mark is skipped.
  // Bytes that are no UTF-8 are kept in "dest" and "logfile" (as
  // path_from_utf8 keeps them) and raise anywhere else.
  bool load(const std::wstring& file_name);

  // What the user is told of a file whose load() gave false.
  static std::wstring load_failure_message(const std::wstring& file_name);
  // What the user is told of a file whose store() gave false, with the
  // system's reason: call it before anything else can change that error.
  static std::wstring store_failure_message(const std::wstring& file_name);
  // The same, with the reason given.
  static std::wstring store_failure_message(const std::wstring& file_name, const std::wstring& reason);

  std::map<std::wstring, t_section> sections;
  // Lines without "=" of each section, as loaded.
  std::map<std::wstring, std::vector<std::wstring>> lists;

 private:
  std::string format() const;
};
