// Case folding of names, for comparing them as spreadsheet readers do:
// some fold one character at a time (A and a), others fold fully, where
// one character may become several (ß and ss, ﬁ and fi).
#pragma once

#include <cwchar>
#include <locale.h>
#include <string>
#include <string_view>
#include <unordered_set>

namespace qm_platform {

// Case mapping and classes of every script: the C.UTF-8 locale.
locale_t unicode_locale();

// One character: lower case of its upper case.
wint_t fold_char(wint_t c);
// Each character on its own: the text keeps its length.
std::wstring fold_simple(std::wstring_view text);
// The same, except the characters whose Unicode full folding is more than
// one character: "Straße" and "STRASSE" both give "strasse".
std::wstring fold_full(std::wstring_view text);

// Names looked up ignoring case: folded one character at a time, and, when
// asked, fully folded as well.
class folded_names {
 public:
  void add(std::wstring_view name);
  bool has(std::wstring_view name, bool full) const;

 private:
  std::unordered_set<std::wstring> simple, full;
};

}  // namespace qm_platform
