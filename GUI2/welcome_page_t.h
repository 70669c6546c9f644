// The first page of a wizard, with its Load Settings button.
#pragma once

#include "GUI2/file_dialog.h"
#include "GUI2/wizard_page.h"
#include "GUI2/wizard_shell.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "UDB/udb_profile.h"

#include <QLabel>

#include <cwchar>
#include <string>

template <class converter, int IDD>
class welcome_page_t : public wizard_page<IDD, PSWIZB_NEXT, PSP_HIDEHEADER | PSP_HASHELP> {
 public:
  // The extension of settings files, 3 or 4 characters.
  explicit welcome_page_t(const std::wstring& ext) : extension(ext) {}

  // The Load Settings button.
  int on_load() {
    wchar_t text[256];
    std::swprintf(text, 256, L"Profile Files (.%ls)|*.%ls|All Files (*.*)|*.*|", extension.c_str(),
                  extension.c_str());
    std::wstring filter = text;
    tk_log::write(1, L"welcome_page_t::on_load(%ls)", filter.c_str());
    if (extension.size() < 3 || extension.size() > 4) throw tk_mail_assertion("..\\GUI2/g_finish", 266);
    for (wchar_t& c : filter)
      if (c == L'|') c = L'\0';
    open_file_dialog dialog(this->window(), file_filter{filter, L"Select Profile File"}, std::wstring());
    // The pages keep what they showed; the user hears why.
    if (dialog.run() && !converter::instance().load_profile(dialog.get_file_name()))
      wizard_shell::error(udb_profile::load_failure_message(dialog.get_file_name()));
    after_load();
    return 0;
  }

 protected:
  // Called after each Load Settings attempt.
  virtual void after_load() {}

  std::wstring extension;
  QLabel* hyperlink = nullptr;
};
