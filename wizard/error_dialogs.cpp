#include "wizard/error_dialogs.h"

#include "GUI2/gui_dialog.h"
#include "GUI2/wizard_shell.h"
#include "TK/tk_desktop.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <memory>

namespace {

std::wstring error_caption() {
  return wizard_shell::is_initialized() ? wizard_shell::instance().get_title() + L" Error" : L"Error";
}

QHBoxLayout* icon_and_text(gui_dialog& dialog, const std::wstring& text) {
  auto* row = new QHBoxLayout;
  auto* icon = new QLabel(&dialog);
  icon->setPixmap(dialog.style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
  icon->setAlignment(Qt::AlignTop);
  row->addWidget(icon);
  auto* label = new QLabel(QString::fromStdWString(text), &dialog);
  label->setWordWrap(true);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setMinimumWidth(320);
  dialog.add_control(1320, label);
  row->addWidget(label, 1);
  return row;
}

QPushButton* add_button(gui_dialog& dialog, QHBoxLayout* row, int id, const char* text) {
  auto* b = new QPushButton(QString::fromUtf8(text), &dialog);
  dialog.add_control(id, b);
  b->setAutoDefault(false);
  row->addWidget(b);
  return b;
}

}  // namespace

dlg_error_ex_base::dlg_error_ex_base(const std::wstring& t) : text(t) { tk_log::write(1, "dlg_error_ex::ctor"); }

int dlg_error_ex_base::do_modal() {
  auto result = std::make_shared<int>(1);
  std::wstring shown = text;
  gui_call([shown, result] {
    gui_dialog dialog(114, active_window());
    tk_log::write(1, "dlg_error_ex::on_init");
    dialog.setWindowTitle(QString::fromStdWString(error_caption()));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(icon_and_text(dialog, shown));
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    QPushButton* send = add_button(dialog, row, 1112, "Send bug");
    QPushButton* ok = add_button(dialog, row, 1, "OK");
    QPushButton* copy = add_button(dialog, row, 1108, "Copy to clipboard");
    layout->addLayout(row);
    send->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, [&dialog] { dialog.end_dialog(1); });
    QObject::connect(copy, &QPushButton::clicked, [&dialog, shown] {
      tk_copy_to_clipboard2(shown);
      dialog.end_dialog(1108);
    });
    QObject::connect(send, &QPushButton::clicked, [&dialog, shown] {
      std::wstring title = wizard_shell::is_initialized() ? wizard_shell::instance().get_title() : std::wstring();
      std::string narrow_title, narrow_text;
      if (!tk_w2a(title.c_str(), narrow_title)) narrow_title.clear();
      if (!tk_w2a(shown.c_str(), narrow_text)) narrow_text.clear();
      tk_send_bug(narrow_title, narrow_text);
      dialog.end_dialog(1112);
    });
    dialog.center_window();
    *result = dialog.exec();
  });
  return *result;
}

dlg_error_continue_base::dlg_error_continue_base(const std::wstring& t) : text(t) {
  tk_log::write(1, "dlg_error_continue::ctor");
}

int dlg_error_continue_base::do_modal() {
  struct outcome {
    int result = 2;
    bool do_not_show = false;
  };
  auto out = std::make_shared<outcome>();
  out->do_not_show = do_not_show;
  std::wstring shown = text;
  gui_call([shown, out] {
    gui_dialog dialog(115, active_window());
    tk_log::write(1, "dlg_error_continue::on_init");
    dialog.setWindowTitle(QString::fromStdWString(error_caption()));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(icon_and_text(dialog, shown));
    auto* box = new check_box("&Do not show this dialog box again", &dialog);
    dialog.add_control(1222, box);
    box->setChecked(out->do_not_show);
    layout->addWidget(box);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    QPushButton* go_on = add_button(dialog, row, 2, "Continue");
    QPushButton* abort = add_button(dialog, row, 1, "Abort");
    layout->addLayout(row);
    go_on->setDefault(true);
    QObject::connect(go_on, &QPushButton::clicked, [&dialog] { dialog.end_dialog(2); });
    QObject::connect(abort, &QPushButton::clicked, [&dialog] { dialog.end_dialog(1); });
    QObject::connect(box, &QCheckBox::clicked, [box, out] {
      box->setChecked(!box->isChecked());
      out->do_not_show = box->isChecked();
    });
    dialog.center_window();
    // Escape and the window's close button stand for Continue.
    int code = dialog.exec();
    out->result = code == 1 ? 1 : 2;
  });
  do_not_show = out->do_not_show;
  return out->result;
}
