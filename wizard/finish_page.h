// The last page: the result or the errors of the run, Open on exit and
// Save Settings.
#pragma once

#include "GUI2/wizard_page.h"

#include <string>

class finish_page : public wizard_page<107, PSWIZB_FINISH, PSP_HIDEHEADER> {
 public:
  finish_page() = default;
  explicit finish_page(const std::wstring& ext) : extension(ext) {}
  bool page_init() override;
  bool on_finish() override;
  void on_save_settings();

  std::wstring extension = L"*";

 protected:
  void create_controls() override;
};
