// The name rules of a destination: length, characters, reserved words, and
// uniqueness among the names already taken. Each engine derives its own
// validators and fills in the rules.
#pragma once

#include "UDB/udb_names_map.h"
#include "platform/case_fold.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// Empty, or nothing but spaces, tabs and line ends.
bool udb_is_blank_name(const std::wstring& name);

class udb_validator {
 public:
  // 0: no length limit. Lengths are counted in UTF-16 units, as the
  // destinations count them.
  explicit udb_validator(std::uint32_t max_length);
  virtual ~udb_validator() = default;

  virtual bool is_acceptable(const std::wstring& name);
  virtual bool is_duplicated(const std::wstring& name);
  // A name made from `name` that is acceptable and not duplicated; it is not
  // recorded (add_existing_name does that).
  virtual std::wstring get_safe_name(const std::wstring& name);

  // Taken from now on, and restricted, so later names are made unique
  // against it.
  void add_existing_name(const std::wstring& name);
  // Taken: a later name equal to it, ignoring case, is duplicated.
  void add_used_name(const std::wstring& name);
  // Restricted: a later name equal to it, ignoring case, is not acceptable.
  void add_restricted_name(const std::wstring& name);
  bool is_restricted(const std::wstring& name) const;
  const std::vector<std::wstring>& used_names() const { return used.names; }
  const std::vector<std::wstring>& restricted_names() const { return restricted.names; }

  std::uint32_t max_length;
  t_names_map mapped_names;
  std::vector<wchar_t> illegal_chars;

 protected:
  // A character that get_safe_name replaces with "_": one of illegal_chars.
  virtual bool is_illegal(wchar_t c) const;
  // Names are equal when they fold fully to one text as well ("Straße",
  // "STRASSE"), besides folding one character at a time.
  bool full_folding = false;

 private:
  struct name_set {
    std::vector<std::wstring> names;
    qm_platform::folded_names folded;
  };
  name_set used, restricted;
  // Per base of the counted names, the first counter not yet found taken:
  // names are never released, so a taken one is not tried again.
  std::unordered_map<std::wstring, int> next_counter;
};

// Names a unique index or constraint on `name` with the index-name
// validator: name + "_UI", or the validator's safe name for it when that is
// not acceptable. The result is recorded in the validator.
std::wstring udb_unique_index_name(udb_validator& validator, const std::wstring& name);

// The same through the program-wide index-name validator: `Holder` is its
// tk_singleton, whose validator() gives it. The writing side of an engine
// creates the instance; without one the singleton raises its internal-error
// assertion.
template <class Holder>
std::wstring udb_unique_index_name(const std::wstring& name) {
  return udb_unique_index_name(Holder::instance().validator(), name);
}
