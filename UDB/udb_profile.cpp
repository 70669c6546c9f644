#include "UDB/udb_profile.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "platform/private_file.h"
#include "platform/system_error.h"
#include "platform/utf8.h"
#include "platform/win32.h"

#include <algorithm>
#include <string_view>

namespace {

namespace keys = udb_profile_keys;

// How a file's texts are written: as they stand; with escapes for line
// breaks ("escaped text=1"); or with escapes for every character that
// cannot stand as it is on its line as well ("escaped text=2"): an "="
// in a key, which would end it, blanks at either end of a key or a value,
// which the reader trims, and a NUL, which no settings file holds.
enum escape_level { as_they_stand = 0, line_breaks = 1, every_text = 2 };

bool has_line_break(const std::wstring& text) { return text.find_first_of(L"\r\n") != std::wstring::npos; }

bool blank_at_an_end(const std::wstring& text) { return !text.empty() && (text.front() == L' ' || text.back() == L' '); }

escape_level needs(const std::wstring& text, bool key) {
  if (blank_at_an_end(text) || text.find(L'\0') != std::wstring::npos || (key && text.find(L'=') != std::wstring::npos))
    return every_text;
  return has_line_break(text) ? line_breaks : as_they_stand;
}

std::wstring escape(const std::wstring& text, escape_level level, bool key) {
  if (level == as_they_stand) return text;
  // The blanks before `first` and from `last` on stand at the ends.
  std::size_t first = text.size(), last = 0;
  if (level == every_text) {
    first = std::min(text.find_first_not_of(L' '), text.size());
    std::size_t end = text.find_last_not_of(L' ');
    last = end == std::wstring::npos ? 0 : end + 1;
  }
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c == L'\\')
      out += L"\\\\";
    else if (c == L'\n')
      out += L"\\n";
    else if (c == L'\r')
      out += L"\\r";
    else if (level == every_text && c == L' ' && (i < first || i >= last))
      out += L"\\s";
    else if (level == every_text && key && c == L'=')
      out += L"\\=";
    else if (c == L'\0')
      out += L"\\0";
    else
      out += c;
  }
  return out;
}

// The writer's escapes turned back; a backslash before any other character
// (a file edited by hand) stays as it is.
std::wstring unescape(const std::wstring& text, escape_level level) {
  if (level == as_they_stand) return text;
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c == L'\\' && i + 1 < text.size()) {
      wchar_t next = text[i + 1];
      std::wstring_view plain;
      if (next == L'\\') plain = L"\\";
      if (next == L'n') plain = L"\n";
      if (next == L'r') plain = L"\r";
      if (level == every_text && next == L's') plain = L" ";
      if (level == every_text && next == L'=') plain = L"=";
      if (level == every_text && next == L'0') plain = std::wstring_view(L"\0", 1);
      if (!plain.empty()) {
        out += plain;
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

// Where the key of a line ends: at its first "=", one written as "\=" not
// counted where the file escapes them.
std::size_t key_end(const std::wstring& line, escape_level level) {
  if (level != every_text) return line.find(L'=');
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == L'\\')
      ++i;
    else if (line[i] == L'=')
      return i;
  }
  return std::wstring::npos;
}

bool looks_like_header(const std::wstring& line) {
  return line.size() >= 2 && line.front() == L'[' && line.back() == L']';
}

// The sections a settings file has; a line that looks like the header of
// another ends no section.
bool is_section(const std::wstring& name) {
  for (const wchar_t* known :
       {keys::available_queries, keys::selected_tables, keys::generic_settings, keys::oracle_settings, keys::excel_settings})
    if (name == known) return true;
  return false;
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
  escape_level level = as_they_stand;
  auto need = [&level](const std::wstring& text, bool key) { level = std::max(level, needs(text, key)); };
  for (const auto& [name, entries] : sections) {
    need(name, true);
    for (const auto& [key, value] : entries) {
      need(key, true);
      need(value, false);
    }
  }
  for (const auto& [name, lines] : lists) {
    need(name, true);
    for (const auto& line : lines) need(line, true);
  }
  std::map<std::wstring, t_section> written = sections;
  if (level != as_they_stand) written[keys::generic_settings][keys::escaped_text] = std::to_wstring(level);
  auto key_text = [level](const std::wstring& key) { return escape(key, level, true); };
  // A name alone on its line that looks like a section header gets the
  // "=" of an empty value: the line is then read as the entry it is.
  auto bare = [&](const std::wstring& key) {
    std::wstring line = key_text(key);
    return tk_to_utf8(looks_like_header(line) ? line + L"=" : line);
  };

  std::string text;
  for (const auto& [name, entries] : written) {
    text += tk_to_utf8(L"[" + key_text(name) + L"]\n");
    bool bare_keys = name == keys::selected_tables;
    for (const auto& [key, value] : entries) {
      if (holds_path(name, key))
        text += tk_to_utf8(key_text(key)) + "=" + path_bytes(escape(value, level, false));
      else if (bare_keys && value.empty())
        text += bare(key);
      else
        text += tk_to_utf8(key_text(key) + L"=" + escape(value, level, false));
      text += "\n";
    }
    text += "\n";
  }
  for (const auto& [name, lines] : lists) {
    text += tk_to_utf8(L"[" + key_text(name) + L"]\n");
    for (const auto& line : lines) text += bare(line) + "\n";
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
  auto refused = [&file_name](const std::wstring& why) {
    return tk_exception(L"Cannot load the settings file \"" + qm_platform::path_as_text(file_name) + L"\": " + why + L".", 1);
  };
  tk_line_reader reader(qm_platform::path_to_utf8(file_name.c_str()));
  if (!reader.is_open()) unreadable();

  // The lines of the sections first: whether and how their texts are
  // escaped is known once the generic settings are read.
  struct entry {
    const std::wstring* section;
    std::wstring line;
    bool text;  // the line is UTF-8
  };
  std::vector<entry> entries;
  const std::wstring* open_section = nullptr;
  std::string raw;
  while (reader.next(raw)) {
    // Editors may put a byte-order mark before UTF-8 text.
    if (reader.line_number() == 1 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) raw.erase(0, 3);
    std::wstring decoded;
    bool text = qm_platform::utf8_to_wide(raw.data(), raw.size(), decoded);
    // Bytes that are no UTF-8 stand only in a path; anywhere else the line
    // is refused as text that cannot be read.
    if (!text) decoded = qm_platform::path_from_utf8(raw.c_str());
    std::wstring line = tk_trim(decoded);
    if (line.empty()) continue;
    // A section's name holds no "=": such a line is an entry (a query
    // named "[q" whose text ends in "]").
    if (looks_like_header(line) && line.find(L'=') == std::wstring::npos) {
      if (!text) tk_from_utf8(raw);
      std::wstring name = line.substr(1, line.size() - 2);
      if (!is_section(name))
        throw refused(L"its line " + std::to_wstring(reader.line_number()) + L" \"" + line +
                      L"\" names no section of a settings file");
      open_section = &sections.try_emplace(name).first->first;
      continue;
    }
    if (!open_section) {
      if (!text) tk_from_utf8(raw);
      return false;
    }
    entries.push_back({open_section, std::move(line), text});
  }
  // No file this program writes holds a NUL byte; a read that failed is
  // no end of the file.
  if (reader.holds_zero_byte())
    throw refused(L"its line " + std::to_wstring(reader.line_number()) + L" holds a zero byte");
  if (!reader.ended()) unreadable();

  escape_level level = as_they_stand;
  for (const entry& e : entries) {
    std::size_t eq = e.line.find(L'=');
    if (*e.section != keys::generic_settings || eq == std::wstring::npos) continue;
    if (tk_trim(e.line.substr(0, eq)) != keys::escaped_text) continue;
    std::wstring marker = e.line.substr(eq + 1);
    level = marker == L"1" ? line_breaks : marker == L"2" ? every_text : as_they_stand;
    break;
  }
  for (const entry& e : entries) {
    t_section& section = sections[*e.section];
    std::size_t eq = key_end(e.line, level);
    std::wstring key = unescape(eq == std::wstring::npos ? e.line : tk_trim(e.line.substr(0, eq)), level);
    if (!e.text && (eq == std::wstring::npos || !holds_path(*e.section, key)))
      tk_from_utf8(qm_platform::path_to_utf8(e.line.c_str()));
    if (eq != std::wstring::npos) {
      section.emplace(key, unescape(e.line.substr(eq + 1), level));
    } else {
      lists[*e.section].push_back(key);
      section.emplace(key, std::wstring());
    }
  }
  sections[keys::generic_settings].erase(keys::escaped_text);
  return true;
}
