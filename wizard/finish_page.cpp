#include "wizard/finish_page.h"

#include "GUI2/file_dialog.h"
#include "GUI2/wizard_shell.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "common/quillet_convertor.h"
#include "platform/process.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

void finish_page::create_controls() {
  auto* layout = new QVBoxLayout(this);
  auto* title = new QLabel("Conversion is Completed", this);
  add_control(1313, title);
  layout->addWidget(title);
  layout->addSpacing(10);
  auto* result = new QLabel(this);
  result->setWordWrap(true);
  add_control(1314, result);
  layout->addWidget(result);
  auto* errors = new QPlainTextEdit(this);
  errors->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  add_control(1016, errors);
  errors->hide();
  layout->addWidget(errors, 1);
  layout->addStretch(0);
  auto* open = new check_box("&Open on exit", this);
  add_control(1225, open);
  layout->addWidget(open);
  auto* row = new QHBoxLayout;
  auto* save = new QPushButton("&Save Settings", this);
  add_control(1116, save);
  row->addWidget(save);
  row->addStretch(1);
  layout->addLayout(row);
  QObject::connect(open, &QCheckBox::clicked, [this] { gui_guarded([this] { invert_chbox(1225); }); });
  QObject::connect(save, &QPushButton::clicked, [this] { gui_guarded([this] { on_save_settings(); }); });
}

bool finish_page::page_init() {
  tk_log::write(1, "finish_page::page_init");
  quillet_convertor& c = quillet_convertor::instance();
  if (!check(1225, c.open_on_exit)) throw tk_mail_assertion("qlt_shel", 487);
  wizard_shell& shell = wizard_shell::instance();
  shell.enable_button(IDCANCEL, false);
  shell.enable_button(IDHELP, false);
  set_title_font(1313);
  if (shell.error_list.empty()) {
    tk_log::write(1, "Display success-message");
    set_text(1314,
             L"Wizard has converted your Oracle database into\nMS Excel spreadsheet successfully.\n\nClick "
             L"'Finish' to exit the wizard.");
    return true;
  }
  tk_log::write(1, "Display errors");
  set_text(1314, L"There were some errors while converting databases.\nClick 'Finish' to exit the wizard.");
  auto* pane = control_as<QPlainTextEdit>(1016);
  pane->show();
  for (const std::string& entry : shell.error_list) {
    std::string line = entry;
    for (char& ch : line)
      if (ch == '\n') ch = ' ';
    std::wstring wide;
    if (!tk_a2w(line.c_str(), wide)) wide = L"?";
    append_to_edit(pane, wide);
    append_to_edit(pane, L"\r\n\r\n");
  }
  pane->setReadOnly(true);
  return true;
}

bool finish_page::on_finish() {
  tk_log::write(1, "finish_page::on_finish");
  quillet_convertor& c = quillet_convertor::instance();
  c.open_on_exit = is_checked(1225);
  if (c.open_on_exit) ShellExecuteW(nullptr, L"open", c.destination.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return true;
}

void finish_page::on_save_settings() {
  if (extension.size() != 3) throw tk_mail_assertion("qlt_shel", 430);
  std::wstring filter = L"Profile Files (." + extension + L")";
  filter.push_back(L'\0');
  filter += L"*." + extension;
  filter.push_back(L'\0');
  filter += L"All Files (*.*)";
  filter.push_back(L'\0');
  filter += L"*.*";
  filter.push_back(L'\0');
  filter.push_back(L'\0');
  save_file_dialog dialog(window(), file_filter{filter, L"Select Profile File"}, std::wstring(), extension);
  if (!dialog.run()) return;
  std::wstring name = dialog.get_file_name();
  quillet_convertor& c = quillet_convertor::instance();
  if (!c.store_profile(name)) wizard_shell::error(c.profile_failure());
}
