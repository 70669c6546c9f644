#include "UDB/udb_profile.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "platform/private_file.h"
#include "platform/system_error.h"
#include "platform/utf8.h"
#include "platform/win32.h"

namespace {

namespace keys = udb_profile_keys;

bool has_line_break(const std::wstring& text) { return text.find_first_of(L"\r\n") != std::wstring::npos; }

std::wstring escape(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    if (c == L'\\')
      out += L"\\\\";
    else if (c == L'\n')
      out += L"\\n";
    else if (c == L'\r')
      out += L"\\r";
    else
      out += c;
  }
  return out;
}

// The writer's escapes turned back; a backslash before any other character
// (a file edited by hand) stays as it is.
std::wstring unescape(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c == L'\\' && i + 1 < text.size()) {
      wchar_t next = text[i + 1];
      if (next == L'\\' || next == L'n' || next == L'r') {
        out += next == L'n' ? L'\n' : next == L'r' ? L'\r' : L'\\';
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

// The values that name files: their bytes are the file's name, text or
// not, and are written and read as they are (see path_to_utf8).
bool holds_path(const std::wstring& section, const std::wstring& key) {
  return section == keys::generic_settings && (key == keys::dest || key == keys::logfile);
}

std::string path_bytes(const std::wstring& value) {
  std::string out;
  // A code point that is neither text nor a path's byte fails as text does.
  return qm_platform::path_to_utf8(value.data(), value.size(), out) ? out : tk_to_utf8(value);
}

[[noreturn]] void unreadable() {
  throw tk_exception(std::wstring(L"Profile does not exist. Please verify the correct path/name was given."), 1);
}

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
  bool escaped = false;
  for (const auto& [name, entries] : sections) {
    escaped = escaped || has_line_break(name);
    for (const auto& [key, value] : entries) escaped = escaped || has_line_break(key) || has_line_break(value);
  }
  for (const auto& [name, lines] : lists) {
    escaped = escaped || has_line_break(name);
    for (const auto& line : lines) escaped = escaped || has_line_break(line);
  }
  auto out = [escaped](const std::wstring& text) { return escaped ? escape(text) : text; };
  std::map<std::wstring, t_section> written = sections;
  if (escaped) written[keys::generic_settings][keys::escaped_text] = L"1";

  std::string text;
  for (const auto& [name, entries] : written) {
    text += tk_to_utf8(L"[" + out(name) + L"]\n");
    bool bare_keys = name == keys::selected_tables;
    for (const auto& [key, value] : entries) {
      text += tk_to_utf8(out(key));
      if (holds_path(name, key))
        text += "=" + path_bytes(out(value));
      else if (!bare_keys || !value.empty())
        text += tk_to_utf8(L"=" + out(value));
      text += "\n";
    }
    text += "\n";
  }
  for (const auto& [name, lines] : lists) {
    text += tk_to_utf8(L"[" + out(name) + L"]\n");
    for (const auto& line : lines) text += tk_to_utf8(out(line) + L"\n");
  }
  return text;
}

bool udb_profile::store(const std::wstring& file_name) {
  tk_log::write(2, L"udb_profile::store(%ls)", file_name.c_str());
  std::string path = qm_platform::path_to_utf8(file_name.c_str());
  // Made before the file is opened, so a value that cannot be written
  // leaves an old file as it was.
  std::string text = format();
  // It holds the Oracle password. Written beside the old file and renamed
  // over it, so that a failed write leaves the old file whole.
  qm_platform::replace_failure failure = qm_platform::replace_private_file(path, text);
  store_problem = failure.error ? std::wstring() : failure.reason;
  if (failure.error) SetLastError(static_cast<DWORD>(failure.error));
  return !failure.failed();
}

std::wstring udb_profile::load_failure_message(const std::wstring& file_name) {
  return L"Cannot load the settings file \"" + file_name + L"\": it has a line before its first section header.";
}

std::wstring udb_profile::store_failure_message(const std::wstring& file_name) {
  std::string reason = qm_platform::system_error_text(static_cast<int>(GetLastError()));
  return store_failure_message(file_name, qm_platform::text_from_system(reason.c_str()));
}

std::wstring udb_profile::store_failure_message(const std::wstring& file_name, const std::wstring& reason) {
  return L"Cannot save the settings file \"" + qm_platform::path_as_text(file_name) + L"\": " + reason + L".";
}

bool udb_profile::load(const std::wstring& file_name) {
  tk_log::write(2, L"udb_profile::load(%ls)", file_name.c_str());
  if (!tk_is_file_exist(file_name, 0)) unreadable();
  std::string path = qm_platform::path_to_utf8(file_name.c_str());
  // No file this program writes holds a NUL byte; a read that failed is
  // no end of the file.
  std::vector<std::string> raw_lines;
  if (!tk_read_lines(path, raw_lines)) unreadable();
  // Editors may put a byte-order mark before UTF-8 text.
  if (!raw_lines.empty() && raw_lines.front().compare(0, 3, "\xEF\xBB\xBF") == 0) raw_lines.front().erase(0, 3);

  t_section* open_section = nullptr;
  std::vector<std::wstring>* open_list = nullptr;
  std::wstring open_name;
  for (const std::string& raw : raw_lines) {
    std::wstring decoded;
    bool text = qm_platform::utf8_to_wide(raw.data(), raw.size(), decoded);
    // Bytes that are no UTF-8 stand only in a path; anywhere else the line
    // is refused as text that cannot be read.
    if (!text) decoded = qm_platform::path_from_utf8(raw.c_str());
    auto refuse_bytes = [&] {
      if (!text) tk_from_utf8(raw);
    };
    std::wstring line = tk_trim(decoded);
    if (line.empty()) continue;

    if (line.size() >= 2 && line.front() == L'[' && line.back() == L']') {
      refuse_bytes();
      open_name = line.substr(1, line.size() - 2);
      open_section = &sections[open_name];
      open_list = nullptr;
      continue;
    }
    if (!open_section) {
      refuse_bytes();
      return false;
    }
    std::size_t eq = line.find(L'=');
    if (eq != std::wstring::npos) {
      std::wstring key = tk_trim(line.substr(0, eq));
      if (!holds_path(open_name, key)) refuse_bytes();
      open_section->emplace(key, line.substr(eq + 1));
    } else {
      refuse_bytes();
      if (!open_list) open_list = &lists[open_name];
      open_list->push_back(line);
      open_section->emplace(line, std::wstring());
    }
  }
  auto& generic = sections[keys::generic_settings];
  auto marker = generic.find(keys::escaped_text);
  if (marker == generic.end()) return true;
  bool escaped = marker->second == L"1";
  generic.erase(marker);
  if (escaped) {
    std::map<std::wstring, t_section> plain_sections;
    for (const auto& [name, entries] : sections) {
      t_section& plain = plain_sections[unescape(name)];
      for (const auto& [key, value] : entries) plain.emplace(unescape(key), unescape(value));
    }
    std::map<std::wstring, std::vector<std::wstring>> plain_lists;
    for (const auto& [name, lines] : lists)
      for (const auto& line : lines) plain_lists[unescape(name)].push_back(unescape(line));
    sections = std::move(plain_sections);
    lists = std::move(plain_lists);
  }
  return true;
}
