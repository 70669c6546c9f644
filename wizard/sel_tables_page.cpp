#include "wizard/sel_tables_page.h"

#include "common/quillet_convertor.h"
#include "common/error_handler.h"
#include "UDB/udb_validator.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

sel_tables_page::sel_tables_page(const std::wstring& q) : question(q) {}

void sel_tables_page::create_controls() {
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel(this);
  intro->setWordWrap(true);
  add_control(1337, intro);
  layout->addWidget(intro);
  auto* grid = new QGridLayout;
  auto* left_label = new QLabel(this);
  add_control(1334, left_label);
  auto* right_label = new QLabel(this);
  add_control(1312, right_label);
  available = new QListWidget(this);
  add_control(1317, available);
  selected = new QListWidget(this);
  add_control(1318, selected);
  left_label->setBuddy(available);
  right_label->setBuddy(selected);
  grid->addWidget(left_label, 0, 0);
  grid->addWidget(right_label, 0, 2);
  grid->addWidget(available, 1, 0);
  grid->addWidget(selected, 1, 2);
  auto* buttons = new QVBoxLayout;
  const struct {
    int id;
    const char* text;
  } commands[] = {{1101, "A&dd >"}, {1102, "Add a&ll >"}, {1111, "< &Remove"}, {1110, "< Re&move all"}};
  buttons->addStretch(1);
  for (const auto& c : commands) {
    auto* b = new QPushButton(c.text, this);
    add_control(c.id, b);
    buttons->addWidget(b);
  }
  buttons->addSpacing(12);
  auto* add_query = new QPushButton("&Add Query", this);
  add_control(1114, add_query);
  add_query->hide();
  buttons->addWidget(add_query);
  buttons->addStretch(1);
  grid->addLayout(buttons, 1, 1);
  layout->addLayout(grid, 1);

  auto guarded = [this](void (sel_tables_page::*handler)()) {
    return [this, handler] { gui_guarded([this, handler] { (this->*handler)(); }); };
  };
  QObject::connect(qobject_cast<QPushButton*>(control(1101)), &QPushButton::clicked, guarded(&sel_tables_page::on_add));
  QObject::connect(qobject_cast<QPushButton*>(control(1102)), &QPushButton::clicked,
                   guarded(&sel_tables_page::on_add_all));
  QObject::connect(qobject_cast<QPushButton*>(control(1111)), &QPushButton::clicked,
                   guarded(&sel_tables_page::on_delete));
  QObject::connect(qobject_cast<QPushButton*>(control(1110)), &QPushButton::clicked,
                   guarded(&sel_tables_page::on_del_all));
  QObject::connect(add_query, &QPushButton::clicked, guarded(&sel_tables_page::on_add_query));
  QObject::connect(available, &QListWidget::itemDoubleClicked, [this](QListWidgetItem*) {
    gui_guarded([this] { on_add(); });
  });
  QObject::connect(selected, &QListWidget::itemDoubleClicked, [this](QListWidgetItem*) {
    gui_guarded([this] { on_edit_query(); });
  });
}

std::wstring sel_tables_page::item_text(QListWidget* list, int index) {
  QListWidgetItem* item = list->item(index);
  return item ? item->text().toStdWString() : std::wstring();
}

void sel_tables_page::add_item(QListWidget* list, const std::wstring& name) {
  list->addItem(QString::fromStdWString(name));
}

int sel_tables_page::find_item(QListWidget* list, const std::wstring& name, bool ignore_case) {
  for (int i = 0; i < list->count(); ++i) {
    std::wstring text = item_text(list, i);
    if (ignore_case ? tk_compare_no_case(text, name) == 0 : text == name) return i;
  }
  return -1;
}

void sel_tables_page::move_to_selected(int index) {
  std::wstring name = item_text(available, index);
  add_item(selected, name);
  delete available->takeItem(index);
  if (is_query(name)) do_add_query(name);
}

void sel_tables_page::move_to_available(int index) {
  std::wstring name = item_text(selected, index);
  add_item(available, name);
  delete selected->takeItem(index);
  if (is_query(name)) do_remove_query(name);
}

void sel_tables_page::on_add() {
  int index = available->currentRow();
  if (index < 0) return;
  move_to_selected(index);
  if (available->count() > 0) {
    available->setCurrentRow(std::min(index, available->count() - 1));
  } else {
    selected->setFocus();
    selected->setCurrentRow(0);
  }
}

void sel_tables_page::on_add_all() {
  while (available->count() > 0) move_to_selected(0);
  selected->setFocus();
  selected->setCurrentRow(0);
}

void sel_tables_page::on_delete() {
  int index = selected->currentRow();
  if (index < 0) return;
  move_to_available(index);
  if (selected->count() > 0) {
    selected->setCurrentRow(std::min(index, selected->count() - 1));
  } else {
    available->setFocus();
    available->setCurrentRow(0);
  }
}

void sel_tables_page::on_del_all() {
  while (selected->count() > 0) move_to_available(0);
  available->setFocus();
  available->setCurrentRow(0);
}

void sel_tables_page::do_page_init() {
  tk_log::write(1, "sel_tables_page::do_page_init");
  available->clear();
  selected->clear();
  // A query that has a table's name stands in its place.
  for (const auto& name : table_names)
    if (!is_query(name)) add_item(available, name);
  if (available->count() > 0) available->setCurrentRow(0);
}

void sel_tables_page::select_names(const query_map& names) {
  for (const auto& entry : names) {
    int index = find_item(available, entry.first, false);
    if (index >= 0) move_to_selected(index);
  }
}

template <class converter, int ID1, int HELP_ID>
void sel_tables_page_ex<converter, ID1, HELP_ID>::select_names(const query_map& names) {
  for (const auto& [name, text] : names) {
    if (!text.empty()) {
      if (find_item(selected, name, false) < 0) add_item(selected, name);
      selected_queries[name] = text;
      continue;
    }
    int index = find_item(available, name, false);
    if (index >= 0) move_to_selected(index);
  }
}

template <class converter, int ID1, int HELP_ID>
bool sel_tables_page_ex<converter, ID1, HELP_ID>::is_taken(const std::wstring& name, int editing) {
  for (int i = 0; i < selected->count(); ++i)
    if (i != editing && tk_compare_no_case(item_text(selected, i), name) == 0) return true;
  return holds_text(available_queries, name);
}

template <class converter, int ID1, int HELP_ID>
void sel_tables_page_ex<converter, ID1, HELP_ID>::take_place_of_table(const std::wstring& name) {
  int index = find_item(available, name, false);
  if (index < 0) return;
  delete available->takeItem(index);
  wizard_shell::message(L"The query \"" + name + L"\" takes the place of the table of that name.");
}

template <class converter, int ID1, int HELP_ID>
void sel_tables_page_ex<converter, ID1, HELP_ID>::give_back_table(const std::wstring& name) {
  if (is_query(name) || find_item(available, name, false) >= 0) return;
  if (std::find(table_names.begin(), table_names.end(), name) != table_names.end()) add_item(available, name);
}

template <class converter, int ID1, int HELP_ID>
bool sel_tables_page_ex<converter, ID1, HELP_ID>::ask_query(std::wstring& name, std::wstring& text, int editing) {
  for (;;) {
    set_query_dlg<converter, HELP_ID> dialog(name, text);
    if (dialog.do_modal(active_window()) != IDOK) return false;
    name = dialog.name;
    text = dialog.text;
    if (!is_taken(name, editing)) return true;
    wizard_shell::message(L"Duplicate table name. Try again.");
  }
}

template <class converter, int ID1, int HELP_ID>
void sel_tables_page_ex<converter, ID1, HELP_ID>::on_add_query() {
  tk_log::write(1, "sel_tables_page::on_add_query");
  std::wstring name, text;
  if (!ask_query(name, text, -1)) return;
  add_item(selected, name);
  selected_queries[name] = text;
  take_place_of_table(name);
}

template <class converter, int ID1, int HELP_ID>
void sel_tables_page_ex<converter, ID1, HELP_ID>::on_edit_query() {
  tk_log::write(1, "sel_tables_page_ex::on_edit_query");
  int index = selected->currentRow();
  if (index < 0) {
    tk_log::write(1, "Nothing is selected!");
    return;
  }
  std::wstring name = item_text(selected, index);
  auto it = selected_queries.find(name);
  if (it == selected_queries.end()) {
    tk_log::write(1, "It's not a query, show type mapping");
    show_type_mapping(name);
    return;
  }
  std::wstring new_name = name, new_text = it->second;
  if (!ask_query(new_name, new_text, index)) return;
  selected_queries.erase(name);
  selected_queries[new_name] = new_text;
  delete selected->takeItem(index);
  add_item(selected, new_name);
  give_back_table(name);
  if (new_name != name) take_place_of_table(new_name);
}

template class sel_tables_page_ex<quillet_convertor, 1025, 1025>;

qlt_sel_tables_page::qlt_sel_tables_page()
    : sel_tables_page_ex(L"There are no tables selected. Continue anyway?") {
  set_header(L"Step 3 of 4", L"Select tables");
}

bool qlt_sel_tables_page::page_init() {
  set_text(1337, L"Select Oracle tables to convert into MS Excel format.");
  set_text(1334, L"&Available tables:");
  set_text(1312, L"&Selected tables:");
  quillet_convertor& c = quillet_convertor::instance();
  table_names = c.get_all_tables();
  // The queries first: a name that holds one is that query on both lists.
  selected_queries.clear();
  for (const auto& [name, text] : c.selected)
    if (!text.empty()) selected_queries[name] = text;
  available_queries = c.available_queries;
  do_page_init();
  control(1114)->show();
  for (const auto& [name, text] : available_queries)
    if (!text.empty() && !selected_queries.count(name) && find_item(available, name, false) < 0)
      add_item(available, name);
  // The plain tables chosen on an earlier visit are chosen again.
  query_map names = c.selected;
  for (const auto& name : c.selected_tables) names.emplace(name, std::wstring());
  select_names(names);
  return true;
}

int qlt_sel_tables_page::on_next() {
  if (available->count() > 0 && selected->count() == 0 && !question.empty() &&
      !wizard_shell::question(question, MB_DEFBUTTON2))
    return -1;
  store_selection();
  return 0;
}

int qlt_sel_tables_page::on_back() {
  store_selection();
  return 0;
}

void qlt_sel_tables_page::store_selection() {
  table_names.clear();
  for (int i = 0; i < selected->count(); ++i) {
    std::wstring name = item_text(selected, i);
    if (!is_query(name)) table_names.push_back(name);
  }
  quillet_convertor& c = quillet_convertor::instance();
  c.selected_tables = table_names;
  c.selected = selected_queries;
  c.available_queries = available_queries;
}

void qlt_sel_tables_page::on_help() { wizard_shell::instance().display_help(1014); }

set_query_dlg_base::set_query_dlg_base(const std::wstring& n, const std::wstring& t, int help)
    : name(n), text(t), help_id(help) {}

bool set_query_dlg_base::read_query(const std::wstring& query) {
  text = query;
  if (text.empty()) return true;
  std::size_t start = text.find_first_not_of(L"\t\n\r ");
  std::wstring trimmed = start == std::wstring::npos ? std::wstring() : text.substr(start);
  if (trimmed.size() < 6) return false;
  static const wchar_t select[] = L"SELECT";
  for (int i = 0; i < 6; ++i) {
    wchar_t c = trimmed[i];
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    if (c != select[i]) return false;
  }
  return true;
}

int set_query_dlg_base::do_modal(QWidget* owner) {
  gui_dialog dialog(128, owner);
  dialog.setWindowTitle("Add Query");
  auto* layout = new QVBoxLayout(&dialog);
  auto* name_label = new QLabel("&Store as Table:", &dialog);
  auto* name_edit = new QLineEdit(QString::fromStdWString(name), &dialog);
  dialog.add_control(1019, name_edit);
  name_label->setBuddy(name_edit);
  layout->addWidget(name_label);
  layout->addWidget(name_edit);
  auto* query_label = new QLabel("&Query:", &dialog);
  auto* query_edit = new QPlainTextEdit(QString::fromStdWString(text), &dialog);
  dialog.add_control(1020, query_edit);
  query_label->setBuddy(query_edit);
  layout->addWidget(query_label);
  layout->addWidget(query_edit, 1);
  auto* row = new QHBoxLayout;
  const struct {
    int id;
    const char* text;
  } buttons[] = {{129, "&Test Query"}, {9, "Help"}, {1, "OK"}, {2, "Cancel"}};
  row->addWidget(new QWidget(&dialog), 1);
  for (const auto& b : buttons) {
    auto* button = new QPushButton(b.text, &dialog);
    button->setAutoDefault(false);
    dialog.add_control(b.id, button);
    row->addWidget(button);
  }
  layout->addLayout(row);
  qobject_cast<QPushButton*>(dialog.control(1))->setDefault(true);
  dialog.resize(480, 320);

  QObject::connect(qobject_cast<QPushButton*>(dialog.control(1)), &QPushButton::clicked, [&] {
    gui_guarded([&] {
      tk_log::write(1, "set_query_dlg::on_ok");
      name = dialog.get_text(1019);
      // Blanks alone name no sheet: the run refuses such a name too.
      if (udb_is_blank_name(name)) {
        wizard_shell::message(L"Table name is empty!");
        return;
      }
      if (!read_query(dialog.get_text(1020))) {
        wizard_shell::error(std::wstring(L"The query must start with SELECT."));
        return;
      }
      if (text.empty()) {
        wizard_shell::error(std::wstring(L"Query is empty!"));
        return;
      }
      dialog.end_dialog(IDOK);
    });
  });
  QObject::connect(qobject_cast<QPushButton*>(dialog.control(129)), &QPushButton::clicked, [&] {
    gui_guarded([&] {
      if (!read_query(dialog.get_text(1020))) {
        wizard_shell::error(std::wstring(L"The query must start with SELECT."));
        return;
      }
      if (test_query(text))
        wizard_shell::message(L"The query is correct.");
      else
        wizard_shell::error(std::wstring(
            L"You have an error in your query syntax. Make sure that it is a correct SQL SELECT-statement. "
            L"Contact " QM_SUPPORT_EMAIL L" if the error persists."));
    });
  });
  QObject::connect(qobject_cast<QPushButton*>(dialog.control(9)), &QPushButton::clicked,
                   [this] { gui_guarded([this] { wizard_shell::instance().display_help(help_id); }); });
  QObject::connect(qobject_cast<QPushButton*>(dialog.control(2)), &QPushButton::clicked, [&] {
    tk_log::write(1, "set_query_dlg::on_cancel");
    dialog.end_dialog(IDCANCEL);
  });
  dialog.center_window();
  dialog.raise();
  int result = dialog.exec();
  return result == IDOK ? IDOK : IDCANCEL;
}
