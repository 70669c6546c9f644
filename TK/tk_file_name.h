// A path made full and split into drive, folder, name and extension. The
// drive is empty on this platform; the folder keeps its trailing "/".
#pragma once

#include <string>

class tk_file_name {
 public:
  // An empty path stands for the program file, with the name left empty.
  explicit tk_file_name(const char* path);
  explicit tk_file_name(const std::string& path) : tk_file_name(path.c_str()) {}
  std::string get_path() const;
  void set_ext(const std::string& ext);

  std::string ext;
  std::string drive;
  std::string name;
  std::string dir;
};

class tk_file_wname {
 public:
  explicit tk_file_wname(const wchar_t* path);
  explicit tk_file_wname(const std::wstring& path) : tk_file_wname(path.c_str()) {}
  std::wstring get_path() const;
  void set_ext(const std::wstring& ext);

  std::wstring ext;
  std::wstring drive;
  std::wstring name;
  std::wstring dir;
};

// A scoped change of the process's current folder; an empty folder means
// the program's own folder. It never raises.
class tk_temp_chdir {
 public:
  explicit tk_temp_chdir(const std::string& folder);
  ~tk_temp_chdir();
  tk_temp_chdir(const tk_temp_chdir&) = delete;
  tk_temp_chdir& operator=(const tk_temp_chdir&) = delete;
  bool succeeded() const { return success; }

 private:
  void initialize(const std::string& folder);
  bool success = false;
  std::string previous;
};

class tk_temp_chdir_w {
 public:
  explicit tk_temp_chdir_w(const std::wstring& folder);
  ~tk_temp_chdir_w();
  tk_temp_chdir_w(const tk_temp_chdir_w&) = delete;
  tk_temp_chdir_w& operator=(const tk_temp_chdir_w&) = delete;
  bool succeeded() const { return success; }

 private:
  void initialize(const std::wstring& folder);
  bool success = false;
  std::wstring previous;
};
