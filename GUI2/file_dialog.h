// The open and save file dialogs of the pages.
#pragma once

#include <QWidget>

#include <string>

// {filter text, dialog title}; the filter text is pairs of description and
// pattern, each ended by a NUL, and one more NUL at the end.
struct file_filter {
  std::wstring filter;
  std::wstring title;
};

#define OFN_FILEMUSTEXIST 0x1000u

class file_dialog {
 public:
  virtual ~file_dialog() = default;
  // True when the user pressed OK.
  virtual bool run() = 0;
  std::wstring get_file_name() const { return file_name; }
  const std::wstring& get_initial_folder() const { return initial_folder; }

 protected:
  // A relative path is taken against the program's folder; an empty one
  // stands for it.
  file_dialog(QWidget* owner, const file_filter& filter, const std::wstring& initial_path, unsigned flags);
  bool run_dialog(bool save);

  QWidget* owner;
  std::wstring filter;
  std::wstring title;
  unsigned flags;
  std::wstring file_name;       // the name part first, the chosen path after OK
  std::wstring initial_folder;  // drive and folder of the initial path
};

class open_file_dialog : public file_dialog {
 public:
  open_file_dialog(QWidget* owner, const file_filter& filter, const std::wstring& initial_path);
  bool run() override;
};

class save_file_dialog : public file_dialog {
 public:
  save_file_dialog(QWidget* owner, const file_filter& filter, const std::wstring& initial_path,
                   const std::wstring& default_extension);
  bool run() override;
  // The chosen path gets the default extension unless it holds it somewhere.
  static std::wstring with_default_extension(const std::wstring& path, const std::wstring& extension);

 private:
  std::wstring default_extension;
};

// The filter in the dialog's form: "description (patterns)" per pair.
QStringList filter_to_qt(const std::wstring& filter);
