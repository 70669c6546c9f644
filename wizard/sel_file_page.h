// The destination page: the workbook's path, its format and the three
// conversion options.
#pragma once

#include "GUI2/wizard_page.h"

#include <QString>

#include <string>

class QComboBox;

class sel_file_page : public wizard_page<105, PSWIZB_BACK | PSWIZB_NEXT, PSP_HASHELP> {
 public:
  sel_file_page();
  bool page_init() override;
  void on_help() override;
  int on_next() override;
  int on_back() override;
  void store_file_info();

  void on_browse();
  void on_format_change();

 protected:
  void create_controls() override;

 private:
  // A line edit cannot hold the code points that stand for a file name's
  // bytes that are no UTF-8: the edit shows them as U+FFFD, and while its
  // text is the one shown the page keeps using the path itself.
  void show_destination(const std::wstring& path);
  std::wstring destination_shown() const;

  QComboBox* format_box = nullptr;
  bool filling = false;
  std::wstring kept_path;
  QString shown_path;
};
