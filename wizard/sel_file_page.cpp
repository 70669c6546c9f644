#include "wizard/sel_file_page.h"

#include "GUI2/file_dialog.h"
#include "GUI2/wizard_shell.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "common/quillet_convertor.h"
#include "common/xls_engine.h"
#include "platform/utf8.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

sel_file_page::sel_file_page() { set_header(L"Step 2 of 4", L"Conversion settings"); }

void sel_file_page::create_controls() {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("MS Excel &file name:", this));
  auto* row = new QHBoxLayout;
  auto* path = new QLineEdit(this);
  add_control(1004, path);
  qobject_cast<QLabel*>(layout->itemAt(0)->widget())->setBuddy(path);
  row->addWidget(path, 1);
  auto* browse = new QPushButton("Browse...", this);
  add_control(1103, browse);
  row->addWidget(browse);
  layout->addLayout(row);
  layout->addSpacing(6);
  auto* format_row = new QHBoxLayout;
  auto* format_label = new QLabel("MS Excel f&ormat:", this);
  format_row->addWidget(format_label);
  auto* combo = new QComboBox(this);
  add_control(1302, combo);
  format_label->setBuddy(combo);
  format_row->addWidget(combo, 1);
  layout->addLayout(format_row);
  auto* notice = new QLabel(this);
  notice->setWordWrap(true);
  notice->setMinimumHeight(40);
  notice->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  add_control(1320, notice);
  layout->addWidget(notice);
  const struct {
    int id;
    const char* text;
  } boxes[] = {{1202, "&Convert dates into strings"},
               {1203, "&Wrap text into multiple lines in a cell"},
               {1204, "&Split data into multiple spreadsheets if necessary"}};
  for (const auto& b : boxes) {
    auto* box = new check_box(b.text, this);
    add_control(b.id, box);
    layout->addWidget(box);
    int id = b.id;
    QObject::connect(box, &QCheckBox::clicked, [this, id] { gui_guarded([this, id] { invert_chbox(id); }); });
  }
  layout->addStretch(1);
  QObject::connect(browse, &QPushButton::clicked, [this] { gui_guarded([this] { on_browse(); }); });
  QObject::connect(combo, &QComboBox::currentIndexChanged, [this](int) {
    if (!filling) gui_guarded([this] { on_format_change(); });
  });
}

bool sel_file_page::page_init() {
  tk_log::write(1, "sel_file_page::page_init");
  if (!quillet_convertor::exists()) throw tk_mail_assertion("qlt_shel", 227);
  quillet_convertor& c = quillet_convertor::instance();
  check(1202, c.dates_to_strings);
  check(1203, c.wrap_text);
  check(1204, c.split_data);
  // A relative name is taken against the current folder, as a typed one is.
  std::wstring destination = c.destination;
  if (destination.empty()) destination = c.service + (c.format_version >= 2 ? L".xlsx" : L".xls");
  // The name that will be written: the extension follows the format.
  show_destination(with_format_extension(destination_path(destination), c.format_version));
  filling = true;
  if (!format_box) {
    format_box = control_as<QComboBox>(1302);
    format_box->clear();
    for (xls_engine* e : engines) format_box->addItem(QString::fromStdWString(e->name));
  }
  if (c.format_version < 0 || c.format_version >= 3) {
    filling = false;
    throw tk_mail_assertion("qlt_shel", 267);
  }
  format_box->setCurrentIndex(c.format_version);
  filling = false;
  set_text(1320, engines[c.format_version]->get_notice_w());
  return true;
}

void sel_file_page::on_format_change() {
  int index = format_box->currentIndex();
  if (index < 0 || index >= 3) return;
  quillet_convertor::instance().format_version = index;
  set_text(1320, engines[index]->get_notice_w());
  show_destination(with_format_extension(destination_shown(), index));
}

void sel_file_page::show_destination(const std::wstring& path) {
  kept_path = path;
  set_text(1004, qm_platform::path_as_text(path));
  shown_path = control_as<QLineEdit>(1004)->text();
}

std::wstring sel_file_page::destination_shown() const {
  QString text = control_as<QLineEdit>(1004)->text();
  return text == shown_path ? kept_path : from_qt(text);
}

void sel_file_page::on_browse() {
  std::wstring initial = destination_shown();
  std::wstring filter(L"MS Excel Files (.xls;.xlsx)\0*.xls;*.xlsx\0All Files (*.*)\0*.*\0\0", 62);
  int format = quillet_convertor::instance().format_version;
  save_file_dialog dialog(window(), file_filter{filter, L"Select destination MS Excel file"}, initial,
                          format < 2 ? L"xls" : L"xlsx");
  // The chosen extension does not change the format.
  if (dialog.run()) show_destination(with_format_extension(dialog.get_file_name(), format));
}

void sel_file_page::store_file_info() {
  tk_log::write(1, "sel_file_page::store_file_info");
  if (!quillet_convertor::exists()) throw tk_mail_assertion("qlt_shel", 278);
  quillet_convertor& c = quillet_convertor::instance();
  c.dates_to_strings = is_checked(1202);
  c.wrap_text = is_checked(1203);
  for (xls_engine* e : engines)
    if (e) e->wrap = c.wrap_text;
  c.split_data = is_checked(1204);
  // Kept whole: the next start, in another folder, shows the same file.
  c.destination = with_format_extension(destination_path(destination_shown()), c.format_version);
  show_destination(c.destination);
}

int sel_file_page::on_back() {
  store_file_info();
  return 0;
}

void sel_file_page::on_help() { wizard_shell::instance().display_help(1011); }

int sel_file_page::on_next() {
  store_file_info();
  quillet_convertor& c = quillet_convertor::instance();
  if (c.destination.empty()) {
    wizard_shell::message(L"You should enter MS Excel file name");
    return -1;
  }
  c.check_dest();
  if (!tk_is_file_exist(c.destination, 0)) return 0;
  // Yes lets the run replace the file once it has something to write; a
  // wizard cancelled, or a run with nothing selected, leaves it.
  return wizard_shell::question(L"Destination file already exists. Overwrite?", MB_DEFBUTTON2) ? 0 : -1;
}
