// The destination page: the workbook's path, its format and the three
// conversion options.
#pragma once

#include "GUI2/wizard_page.h"

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
  QComboBox* format_box = nullptr;
  bool filling = false;
};
