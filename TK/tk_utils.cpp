#include "TK/tk_utils.h"

#include "TK/tk_exception.h"
#include "TK/tk_file_name.h"
#include "TK/tk_log.h"
#include "platform/utf8.h"
#include "platform/win32.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

std::string tk_get_module_name() {
  std::vector<char> buffer(MAX_PATH);
  DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n == 0 || n >= buffer.size()) throw tk_mail_assertion("tk_utils", 116);
  return std::string(buffer.data(), n);
}

std::wstring tk_get_module_name_w() {
  std::vector<wchar_t> buffer(MAX_PATH);
  DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n == 0 || n >= buffer.size()) throw tk_mail_assertion("tk_utils", 129);
  return std::wstring(buffer.data(), n);
}

std::string tk_get_module_dir() {
  tk_file_name f("");
  return f.drive + f.dir;
}

std::wstring tk_get_module_dir_w() {
  tk_file_wname f(L"");
  return f.drive + f.dir;
}

std::wstring tk_get_current_dir_w() {
  std::vector<wchar_t> buffer(MAX_PATH);
  if (!_wgetcwd(buffer.data(), static_cast<int>(buffer.size()))) return std::wstring();
  return buffer.data();
}

namespace {

bool can_open(HANDLE h) {
  if (h == INVALID_HANDLE_VALUE) {
    tk_log::write(1, "File not exists!");
    return false;
  }
  CloseHandle(h);
  return true;
}

DWORD access_of(int mode) { return mode == 1 ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ; }

}  // namespace

bool tk_is_file_exist(const std::string& path, int mode) {
  tk_log::write(1, "tk_is_file_exist(%s)", path.c_str());
  return can_open(CreateFileA(path.c_str(), access_of(mode), FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool tk_is_file_exist(const std::wstring& path, int mode) {
  tk_log::write(1, L"tk_is_file_exist(%ls)", path.c_str());
  return can_open(CreateFileW(path.c_str(), access_of(mode), FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool tk_is_path_exist(const std::string& folder) {
  tk_log::write(1, "tk_is_path_exist(%s)", folder.c_str());
  tk_temp_chdir change(folder);
  return change.succeeded();
}

bool tk_is_path_exist(const std::wstring& folder) {
  return tk_is_path_exist(qm_platform::path_to_utf8(folder.c_str()));
}

tk_line_reader::tk_line_reader(const std::string& path) : file(std::fopen(path.c_str(), "rb")) {}

tk_line_reader::~tk_line_reader() {
  std::free(buffer);
  if (file) std::fclose(file);
}

bool tk_line_reader::next(std::string& line) {
  if (!file || state != reading) return false;
  ssize_t n = ::getline(&buffer, &size, file);
  if (n < 0) {
    // A read or an allocation that failed is no end of the file.
    state = !std::ferror(file) && std::feof(file) ? at_end : failed;
    return false;
  }
  ++number;
  line.assign(buffer, static_cast<std::size_t>(n));
  if (line.find('\0') != std::string::npos) {
    state = zero_byte;
    return false;
  }
  if (!line.empty() && line.back() == '\n') line.pop_back();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool tk_read_lines(const std::string& path, std::vector<std::string>& lines) {
  tk_line_reader reader(path);
  if (!reader.is_open()) return false;
  lines.clear();
  std::string line;
  while (reader.next(line)) lines.push_back(line);
  return reader.ended();
}

bool tk_w2a(const wchar_t* text, std::string& out) {
  if (!text) return false;
  // Plain ASCII, as every number text is, needs no conversion.
  std::size_t ascii = 0;
  while (text[ascii] && static_cast<std::uint32_t>(text[ascii]) < 0x80) ++ascii;
  if (!text[ascii]) {
    out.assign(text, text + ascii);
    return true;
  }
  // Sized for the real UTF-8 length, up to 4 bytes per character.
  int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return false;
  std::vector<char> buffer(static_cast<std::size_t>(n));
  if (WideCharToMultiByte(CP_ACP, 0, text, -1, buffer.data(), n, nullptr, nullptr) != n) return false;
  out.assign(buffer.data(), static_cast<std::size_t>(n - 1));
  return true;
}

bool tk_a2w(const char* text, std::wstring& out) {
  if (!text) return false;
  std::size_t ascii = 0;
  while (text[ascii] && static_cast<unsigned char>(text[ascii]) < 0x80) ++ascii;
  if (!text[ascii]) {
    out.assign(text, text + ascii);
    return true;
  }
  int n = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, nullptr, 0);
  if (n <= 0) return false;
  std::vector<wchar_t> buffer(static_cast<std::size_t>(n));
  if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, buffer.data(), n) != n) return false;
  out.assign(buffer.data(), static_cast<std::size_t>(n - 1));
  return true;
}

std::string tk_to_utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = static_cast<int>(text.size());
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) throw tk_exception_ex("Cannot convert to UTF8 string: ", 1);
  std::string out(static_cast<std::size_t>(n), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), n, nullptr, nullptr) != n)
    throw tk_exception_ex("Cannot convert to UTF8 string: ", 1);
  return out;
}

std::wstring tk_from_utf8(const std::string& text) {
  if (text.empty()) return std::wstring();
  int size = static_cast<int>(text.size());
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  if (n <= 0) throw tk_exception_ex("Cannot convert to UNICODE string: ", 1);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  if (MultiByteToWideChar(CP_UTF8, 0, text.data(), size, out.data(), n) != n)
    throw tk_exception_ex("Cannot convert to UNICODE string: ", 1);
  return out;
}

namespace {

template <class S>
S trim_impl(const S& text, bool left, bool right) {
  using C = typename S::value_type;
  std::size_t first = text.find_first_not_of(C(' '));
  if (first == S::npos) {
    if (!text.empty()) tk_log::write(1, "Special processing for all-spaces-string");
    return S();
  }
  std::size_t last = text.find_last_not_of(C(' '));
  std::size_t begin = left ? first : 0;
  std::size_t end = right ? last + 1 : text.size();
  return text.substr(begin, end - begin);
}

}  // namespace

std::string tk_ltrim(const std::string& t) { return trim_impl(t, true, false); }
std::string tk_rtrim(const std::string& t) { return trim_impl(t, false, true); }
std::string tk_trim(const std::string& t) { return trim_impl(t, true, true); }
std::wstring tk_ltrim(const std::wstring& t) { return trim_impl(t, true, false); }
std::wstring tk_rtrim(const std::wstring& t) { return trim_impl(t, false, true); }
std::wstring tk_trim(const std::wstring& t) { return trim_impl(t, true, true); }

std::vector<std::wstring> tk_split(const std::wstring& text, wchar_t separator) {
  std::vector<std::wstring> items;
  if (text.empty()) return items;
  std::size_t start = 0;
  for (;;) {
    std::size_t hit = text.find(separator, start);
    if (hit == std::wstring::npos) {
      items.push_back(text.substr(start));
      return items;
    }
    items.push_back(text.substr(start, hit - start));
    start = hit + 1;
  }
}

std::wstring tk_join(const std::vector<std::wstring>& items, wchar_t separator) {
  std::wstring out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i) out += separator;
    out += items[i];
  }
  return out;
}

std::wstring tk_wstring::replace_all(const std::wstring& text, const std::wstring& what, const std::wstring& with) {
  tk_log::write(1, L"tk_wstring::replace_all(%ls,%ls)", what.c_str(), with.c_str());
  std::wstring out = text;
  if (what.empty()) return out;
  for (std::size_t pos = out.find(what); pos != std::wstring::npos; pos = out.find(what, pos + with.size()))
    out.replace(pos, what.size(), with);
  return out;
}

std::wstring tk_wstring::to_upper(const std::wstring& text) {
  tk_log::write(1, L"tk_wstring::to_upper(%ls)", text.c_str());
  std::wstring out = text;
  CharUpperBuffW(out.data(), static_cast<DWORD>(out.size()));
  return out;
}

int tk_compare_no_case(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()), b.c_str(),
                        static_cast<int>(b.size())) - 2;
}

int tk_compare_no_case(const std::wstring& a, const std::wstring& b) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()), b.c_str(),
                        static_cast<int>(b.size())) - 2;
}

void tk_bytes_to_hex(std::size_t count, const unsigned char* bytes, char* out) {
  if (!out) throw tk_mail_assertion("tk_utils", 811);
  static const char digits[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < count; ++i) {
    out[2 * i] = digits[bytes[i] >> 4];
    out[2 * i + 1] = digits[bytes[i] & 15];
  }
  out[2 * count] = 0;
}

std::string tk_bytes_to_hex(std::size_t count, const unsigned char* bytes) {
  std::string out(2 * count + 1, '\0');
  tk_bytes_to_hex(count, bytes, out.data());
  out.pop_back();
  return out;
}

namespace {
std::size_t utf16_units(wchar_t c) {
  auto u = static_cast<std::uint32_t>(c);
  return u > 0xFFFF && u <= 0x10FFFF ? 2 : 1;
}
}  // namespace

std::size_t tk_utf16_length(std::wstring_view text) {
  std::size_t n = 0;
  for (wchar_t c : text) n += utf16_units(c);
  return n;
}

std::size_t tk_utf16_head(std::wstring_view text, std::size_t units) {
  std::size_t i = 0;
  for (std::size_t taken = 0; i < text.size(); ++i) {
    taken += utf16_units(text[i]);
    if (taken > units) break;
  }
  return i;
}

bool tk_utf16_cut(std::wstring& text, std::size_t units) {
  if (text.size() * 2 <= units) return false;
  std::size_t head = tk_utf16_head(text, units);
  if (head == text.size()) return false;
  text.resize(head);
  return true;
}

namespace {
template <class T>
std::string shortest_text(T value) {
  if (std::isnan(value)) return "Nan";
  if (std::isinf(value)) return value < 0 ? "-Inf" : "Inf";
  char buffer[64];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string text(buffer, r.ptr);
  // 1e+100 and 1e-07 as 1E+100 and 1E-7.
  std::size_t e = text.find('e');
  if (e == std::string::npos) return text;
  std::size_t digits = e + 2;
  while (digits + 1 < text.size() && text[digits] == '0') text.erase(digits, 1);
  text[e] = 'E';
  return text;
}
}  // namespace

std::string tk_number_text(double value) { return shortest_text(value); }
std::string tk_number_text(float value) { return shortest_text(value); }
