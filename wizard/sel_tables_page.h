// The table page: the source's tables on the left, the chosen ones on the
// right, and user queries that travel between the lists like tables.
#pragma once

#include "GUI2/wizard_page.h"
#include "GUI2/wizard_shell.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"

#include <map>
#include <string>
#include <vector>

class QListWidget;

using query_map = std::map<std::wstring, std::wstring>;

class sel_tables_page : public wizard_page<127, PSWIZB_BACK | PSWIZB_NEXT, PSP_HASHELP> {
 public:
  explicit sel_tables_page(const std::wstring& question);

  virtual void select_names(const query_map& names);
  virtual bool is_query(const std::wstring&) { return false; }
  virtual void do_add_query(const std::wstring&) {}
  virtual void do_remove_query(const std::wstring&) {}

  void on_add();
  void on_add_all();
  void on_delete();
  void on_del_all();
  virtual void on_add_query() {}
  virtual void on_edit_query() {}

  // All tables of the source while the page is shown; the chosen plain
  // tables after Next.
  std::vector<std::wstring> table_names;

 protected:
  void create_controls() override;
  void do_page_init();
  void move_to_selected(int index);
  void move_to_available(int index);
  static int find_item(QListWidget* list, const std::wstring& name, bool ignore_case);
  static std::wstring item_text(QListWidget* list, int index);
  static void add_item(QListWidget* list, const std::wstring& name);

  QListWidget* available = nullptr;
  QListWidget* selected = nullptr;
  std::wstring question;
};

// The query dialog (128): a name and a SELECT text, tested on the server.
class set_query_dlg_base {
 public:
  set_query_dlg_base(const std::wstring& name, const std::wstring& text, int help_id);
  virtual ~set_query_dlg_base() = default;
  // IDOK or IDCANCEL.
  int do_modal(QWidget* owner);
  // The text of 1020 becomes the dialog's text; false when it does not
  // start with SELECT (an empty text counts as starting with it).
  bool read_query(const std::wstring& text);
  virtual bool test_query(const std::wstring& text) = 0;

  std::wstring name;
  std::wstring text;

 private:
  int help_id;
};

template <class converter, int HELP_ID>
class set_query_dlg : public set_query_dlg_base {
 public:
  set_query_dlg(const std::wstring& name, const std::wstring& text) : set_query_dlg_base(name, text, HELP_ID) {}
  bool test_query(const std::wstring& query) override { return converter::instance().test_query(query); }
};

template <class converter, int ID1, int HELP_ID>
class sel_tables_page_ex : public sel_tables_page {
 public:
  using sel_tables_page::sel_tables_page;

  // A name without a text holds no query: it stays the table's.
  bool is_query(const std::wstring& name) override {
    return holds_text(selected_queries, name) || holds_text(available_queries, name);
  }
  void do_add_query(const std::wstring& name) override { move_entry(available_queries, selected_queries, name); }
  void do_remove_query(const std::wstring& name) override {
    move_entry(selected_queries, available_queries, name);
  }
  virtual void show_type_mapping(const std::wstring&) {}

  void select_names(const query_map& names) override;
  void on_add_query() override;
  void on_edit_query() override;

  query_map selected_queries;
  query_map available_queries;

 private:
  // The name is on the selected list (ignoring case; not counting the item
  // being edited) or names a query of the available list.
  bool is_taken(const std::wstring& name, int editing);
  // The query dialog, shown again while the name is taken; false on Cancel.
  bool ask_query(std::wstring& name, std::wstring& text, int editing);
  // A table of the query's name leaves the available list, and the user is
  // told; a table whose name no query holds any more comes back.
  void take_place_of_table(const std::wstring& name);
  void give_back_table(const std::wstring& name);

  static bool holds_text(const query_map& queries, const std::wstring& name) {
    auto it = queries.find(name);
    return it != queries.end() && !it->second.empty();
  }
  static void move_entry(query_map& from, query_map& to, const std::wstring& name) {
    auto it = from.find(name);
    if (it == from.end()) return;
    to[it->first] = it->second;
    from.erase(it);
  }
};

class quillet_convertor;

class qlt_sel_tables_page : public sel_tables_page_ex<quillet_convertor, 1025, 1025> {
 public:
  qlt_sel_tables_page();
  bool page_init() override;
  int on_next() override;
  // Keeps the choice for the next visit of the page.
  int on_back() override;
  void on_help() override;

 private:
  // The chosen tables, the chosen queries and the other queries go to the
  // converter.
  void store_selection();
};
