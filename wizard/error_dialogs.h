// The wizard's two error dialogs: the internal error that ends the program
// (with copying and a bug report) and the error that lets the run go on.
#pragma once

#include <string>

// Dialog 114: static 1320, buttons 1112 "Send bug", 1 "OK", 1108 "Copy to
// clipboard". Shown modally on the GUI thread, from any thread.
class dlg_error_ex_base {
 public:
  explicit dlg_error_ex_base(const std::wstring& text);
  // 1, 1108 or 1112: the button that closed it.
  int do_modal();
  std::wstring text;
};

template <int IDD>
class dlg_error_ex : public dlg_error_ex_base {
 public:
  using dlg_error_ex_base::dlg_error_ex_base;
};

// Dialog 115: static 1320, buttons 2 "Continue" and 1 "Abort", check box
// 1222 "&Do not show this dialog box again".
class dlg_error_continue_base {
 public:
  explicit dlg_error_continue_base(const std::wstring& text);
  // 2 (Continue) or 1 (Abort).
  int do_modal();
  std::wstring text;
  bool do_not_show = false;
};

template <int IDD>
class dlg_error_continue : public dlg_error_continue_base {
 public:
  using dlg_error_continue_base::dlg_error_continue_base;
};
