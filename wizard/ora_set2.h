// The Oracle connection settings page of a converter with Oracle settings.
#pragma once

#include "GUI2/wizard_page.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"

template <class converter>
class ora_settings_page2 : public wizard_page<132, PSWIZB_BACK | PSWIZB_NEXT, PSP_HASHELP> {
 public:
  ora_settings_page2() { set_header(L"Step 1 of 4", L"Connect to Oracle server"); }

  bool page_init() override {
    tk_log::write(1, "ora_settings_page2<t_converter>::page_init");
    converter& c = converter::instance();
    set_text(1014, c.source_name);
    set_text(1003, c.host);
    set_text(1004, c.port);
    set_text(1012, c.user);
    set_text(1013, c.password);
    return true;
  }
  int on_next() override {
    store_settings();
    return 0;
  }
  int on_back() override {
    store_settings();
    return 0;
  }
  virtual void store_settings() {
    tk_log::write(1, "oracle_settings_page2<t_converter>::store_settings");
    if (!converter::exists()) throw tk_mail_assertion("..\\common/ora_set2", 68);
    converter& c = converter::instance();
    std::wstring host = get_text(1003), port = get_text(1004), user = get_text(1012), password = get_text(1013);
    c.store_oracle_settings(host.c_str(), user.c_str(), password.c_str(), port.c_str());
    c.source_name = get_text(1014);
  }
};
