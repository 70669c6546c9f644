#include "TK/tk_file_name.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "platform/win32.h"

#include <cstdlib>
#include <memory>
#include <vector>

namespace {

struct freer {
  void operator()(void* p) const { std::free(p); }
};

}  // namespace

tk_file_name::tk_file_name(const char* path) {
  if (!path) throw tk_mail_assertion("tk_fname", 31);
  tk_log::write(1, "tk_file_name::ctor(%s)", path);
  bool own_program = !*path;
  std::string full;
  if (own_program) {
    full = tk_get_module_name();
  } else {
    std::unique_ptr<char, freer> made(_fullpath(nullptr, path, 0));
    if (!made) throw tk_mail_assertion("tk_fname", 39);
    full = made.get();
  }
  std::vector<char> d(full.size() + 1), f(full.size() + 1), n(full.size() + 1), e(full.size() + 1);
  _splitpath_s(full.c_str(), d.data(), d.size(), f.data(), f.size(), n.data(), n.size(), e.data(), e.size());
  drive = d.data();
  dir = f.data();
  name = own_program ? std::string() : std::string(n.data());
  ext = e.data();
}

std::string tk_file_name::get_path() const {
  std::vector<char> out(drive.size() + dir.size() + name.size() + ext.size() + 3);
  _makepath_s(out.data(), out.size(), drive.c_str(), dir.c_str(), name.c_str(), ext.c_str());
  return out.data();
}

void tk_file_name::set_ext(const std::string& e) { ext = (!e.empty() && e[0] != '.') ? "." + e : e; }

tk_file_wname::tk_file_wname(const wchar_t* path) {
  if (!path) throw tk_mail_assertion("tk_fname", 81);
  tk_log::write(1, L"tk_file_name::ctor(%ls)", path);
  bool own_program = !*path;
  std::wstring full;
  if (own_program) {
    full = tk_get_module_name_w();
  } else {
    std::unique_ptr<wchar_t, freer> made(_wfullpath(nullptr, path, 0));
    if (!made) throw tk_mail_assertion("tk_fname", 89);
    full = made.get();
  }
  std::vector<wchar_t> d(full.size() + 1), f(full.size() + 1), n(full.size() + 1), e(full.size() + 1);
  _wsplitpath_s(full.c_str(), d.data(), d.size(), f.data(), f.size(), n.data(), n.size(), e.data(), e.size());
  drive = d.data();
  dir = f.data();
  name = own_program ? std::wstring() : std::wstring(n.data());
  ext = e.data();
}

std::wstring tk_file_wname::get_path() const {
  std::vector<wchar_t> out(drive.size() + dir.size() + name.size() + ext.size() + 3);
  _wmakepath_s(out.data(), out.size(), drive.c_str(), dir.c_str(), name.c_str(), ext.c_str());
  return out.data();
}

void tk_file_wname::set_ext(const std::wstring& e) { ext = (!e.empty() && e[0] != L'.') ? L"." + e : e; }

tk_temp_chdir::tk_temp_chdir(const std::string& folder) {
  tk_log::write(1, "tk_temp_chdir::ctor");
  initialize(folder.empty() ? tk_get_module_dir() : folder);
}

void tk_temp_chdir::initialize(const std::string& folder) {
  tk_log::write(1, "tk_temp_chdir::initialize(%s)", folder.c_str());
  std::vector<char> buffer(MAX_PATH);
  if (!_getcwd(buffer.data(), static_cast<int>(buffer.size()))) {
    tk_log::write(1, "_getcwd failed");
    return;
  }
  previous = buffer.data();
  if (_chdir(folder.c_str()) != 0) {
    tk_log::write(1, "_chdir failed");
    return;
  }
  success = true;
}

tk_temp_chdir::~tk_temp_chdir() {
  tk_log::write(1, "tk_temp_chdir::dtor");
  if (success && _chdir(previous.c_str()) != 0) tk_log::write(1, "_chdir failed");
  tk_log::write(1, "tk_temp_chdir::dtor - at the END");
}

tk_temp_chdir_w::tk_temp_chdir_w(const std::wstring& folder) {
  tk_log::write(1, "tk_temp_chdir::ctor");
  initialize(folder.empty() ? tk_get_module_dir_w() : folder);
}

void tk_temp_chdir_w::initialize(const std::wstring& folder) {
  tk_log::write(1, L"tk_temp_chdir_w::initialize(%ls)", folder.c_str());
  std::vector<wchar_t> buffer(MAX_PATH);
  if (!_wgetcwd(buffer.data(), static_cast<int>(buffer.size()))) {
    tk_log::write(1, "_wgetcwd failed");
    return;
  }
  previous = buffer.data();
  if (_wchdir(folder.c_str()) != 0) {
    tk_log::write(1, "_wchdir failed");
    return;
  }
  success = true;
}

tk_temp_chdir_w::~tk_temp_chdir_w() {
  tk_log::write(1, "tk_temp_chdir::dtor");
  if (success && _wchdir(previous.c_str()) != 0) tk_log::write(1, "_wchdir failed");
  tk_log::write(1, "tk_temp_chdir::dtor - at the END");
}
