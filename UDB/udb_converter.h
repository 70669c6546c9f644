// The converter below the conversion driver: the selection of tables and
// queries, the generic options, and their exchange with a settings profile.
#pragma once

#include "TK/tk_converter.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class udb_profile;

class udb_converter : public tk_converter {
 public:
  udb_converter();
  ~udb_converter() override = default;

  // The derived converter's own step; its source is opened by its connection
  // step, so the base does nothing.
  virtual void open_source_db() {}

  // Puts the generic settings and both lists into the profile; the caller
  // writes the file.
  bool store_profile(udb_profile& profile);
  // Reads them back from a loaded profile; a setting the profile leaves out
  // or empty keeps its value. Raises what set_logfile raises for a bad log
  // file name.
  bool load_profile(udb_profile& profile);
  // The chosen plain tables become `names`; the chosen queries stay.
  void select_tables(std::vector<std::wstring> names);

  // Stored in a profile as one decimal digit.
  std::uint32_t mode = 0;
  // The selected plain tables, in selection order.
  std::vector<std::wstring> selected_tables;
  // Every selected item: a plain table maps to an empty text, a query to its
  // SELECT text.
  std::map<std::wstring, std::wstring> selected;
  // Every query the user has defined, selected or not.
  std::map<std::wstring, std::wstring> available_queries;
  bool only_definitions = false;
  bool skip_indexes = false;
};
