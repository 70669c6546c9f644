#include "UDB/udb_profile.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "platform/private_file.h"

#include <cstdio>

namespace {

// SQL reads a line break as a blank; stored as one, a value that was typed
// over several lines loads back whole.
std::wstring one_line(const std::wstring& text) {
  std::wstring out = text;
  for (wchar_t& c : out)
    if (c == L'\r' || c == L'\n') c = L' ';
  return out;
}

struct file_closer {
  std::FILE* f;
  ~file_closer() {
    if (f) std::fclose(f);
  }
};

struct line_buffer {
  char* data = nullptr;
  std::size_t size = 0;
  ~line_buffer() { std::free(data); }
};

}  // namespace

udb_profile::udb_profile() {
  sections[udb_profile_keys::available_queries];
  sections[udb_profile_keys::selected_tables];
  sections[udb_profile_keys::generic_settings];
}

void udb_profile::set_value(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
  sections[section][key] = value;
}

std::wstring udb_profile::get_value(const std::wstring& section, const std::wstring& key) const {
  auto s = sections.find(section);
  if (s == sections.end()) return std::wstring();
  auto v = s->second.find(key);
  return v == s->second.end() ? std::wstring() : v->second;
}

std::string udb_profile::format() const {
  std::wstring text;
  for (const auto& [name, keys] : sections) {
    text += L"[" + one_line(name) + L"]\n";
    bool bare_keys = name == udb_profile_keys::selected_tables;
    for (const auto& [key, value] : keys) {
      text += one_line(key);
      if (!bare_keys || !value.empty()) text += L"=" + one_line(value);
      text += L"\n";
    }
    text += L"\n";
  }
  for (const auto& [name, lines] : lists) {
    text += L"[" + one_line(name) + L"]\n";
    for (const auto& line : lines) text += one_line(line) + L"\n";
  }
  return tk_to_utf8(text);
}

bool udb_profile::store(const std::wstring& file_name) {
  tk_log::write(2, L"udb_profile::store(%ls)", file_name.c_str());
  std::string path;
  if (!tk_w2a(file_name.c_str(), path)) return false;
  // Made before the file is opened, so a value that cannot be written
  // leaves an old file as it was.
  std::string text = format();
  // It holds the Oracle password.
  return qm_platform::write_private_file(path, text);
}

bool udb_profile::load(const std::wstring& file_name) {
  tk_log::write(2, L"udb_profile::load(%ls)", file_name.c_str());
  if (!tk_is_file_exist(file_name, 0))
    throw tk_exception(std::wstring(L"Profile does not exist. Please verify the correct path/name was given."), 1);
  std::string path;
  if (!tk_w2a(file_name.c_str(), path)) return false;
  file_closer file{std::fopen(path.c_str(), "rb")};
  if (!file.f) return false;

  t_section* open_section = nullptr;
  std::vector<std::wstring>* open_list = nullptr;
  std::wstring open_name;
  line_buffer buffer;
  for (;;) {
    ssize_t n = ::getline(&buffer.data, &buffer.size, file.f);
    if (n < 0) break;
    std::string raw(buffer.data, static_cast<std::size_t>(n));
    if (!raw.empty() && raw.back() == '\n') raw.pop_back();
    // A file saved with CR LF line ends by another system.
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    std::wstring line = tk_trim(tk_from_utf8(raw));
    if (line.empty()) continue;

    if (line.size() >= 2 && line.front() == L'[' && line.back() == L']') {
      open_name = line.substr(1, line.size() - 2);
      open_section = &sections[open_name];
      open_list = nullptr;
      continue;
    }
    if (!open_section) return false;
    std::size_t eq = line.find(L'=');
    if (eq != std::wstring::npos) {
      open_section->emplace(tk_trim(line.substr(0, eq)), line.substr(eq + 1));
    } else {
      if (!open_list) open_list = &lists[open_name];
      open_list->push_back(line);
      open_section->emplace(line, std::wstring());
    }
  }
  return !std::ferror(file.f);
}
