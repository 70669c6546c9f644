// Turns a program exception into the text the user sees. Each program
// supplies its own `handle` (the console prints, the wizard shows dialogs).
#pragma once

#include "TK/tk_error_converter.h"
#include "TK/tk_exception.h"
#include "TK/tk_singleton.h"

#include <map>
#include <string>

class error_handler : public tk_singleton<error_handler> {
 public:
  error_handler(int count, const tk_error_entry* table);
  ~error_handler() override;

  void load_err_map(int count, const tk_error_entry* table);
  void set_prefix(const std::wstring& table_name);
  void set_prefix(const std::wstring& table_name, int record_number);
  // Clears the prefix when it goes: a name stands before its own messages
  // only, not before a later failure of the whole run.
  struct prefix_scope {
    prefix_scope() = default;
    prefix_scope(const prefix_scope&) = delete;
    prefix_scope& operator=(const prefix_scope&) = delete;
    ~prefix_scope() {
      if (exists()) instance().prefix.clear();
    }
  };

  // What became of the destination, told after the messages while it
  // lives: a failure that ends a run says that the old workbook stays.
  struct outcome_scope {
    explicit outcome_scope(const std::string& text) {
      if (exists()) instance().outcome = text;
    }
    outcome_scope(const outcome_scope&) = delete;
    outcome_scope& operator=(const outcome_scope&) = delete;
    ~outcome_scope() {
      if (exists()) instance().outcome.clear();
    }
  };

  // Supplied by each program.
  void handle(const tk_exception& e, bool top_level);

  // The mapped text of the exception's code, or its own text; behind the
  // prefix and ": " when there is a prefix; the outcome on a line of its own
  // after it.
  std::string compose(const tk_exception& e) const;
  std::string with_outcome(std::string text) const;
  // An internal error's own text as it is, the outcome on a line of its own
  // after it.
  std::string internal_text(const tk_exception& e) const;

  std::string prefix;
  std::string outcome;
  bool quiet = false;
  std::map<int, std::string> help_map;
  tk_error_converter messages;
};

// The code tables the programs load.
extern const tk_error_entry dao_error_table[];
extern const int dao_error_count;
extern const tk_error_entry oracle_error_table[];
extern const int oracle_error_count;
extern const tk_error_entry date_range_error_table[];
extern const int date_range_error_count;

// The support address of the product's maker, named in user texts.
#define QM_SUPPORT_EMAIL "support@brightfold.example"
