// The table page: the source's tables on the left, the chosen ones on the
// right, and user queries that travel between the lists like tables.
#pragma once

#include "GUI2/g_wiz_pg.h"
#include "GUI2/g_wiz_sh.h"
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

  bool is_query(const std::wstring& name) override {
    return selected_queries.count(name) != 0 || available_queries.count(name) != 0;
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
