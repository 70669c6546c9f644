// Values as Oracle SQL text: literals of values and column defaults.
#pragma once

#include "platform/oleauto.h"

#include <string>

class t_ftd;
class udb_field;

// The SQL literal of a value given as text: '' for an empty text, to_date
// for dates, the hexadecimal digits between quotes for binary values, and
// for the rest the text itself, its quotes doubled and, for VT_BSTR,
// enclosed when `quote` is set.
std::wstring to_oracle_str(const std::wstring& text, VARTYPE vartype, bool quote);
// The literal of a field's value; a GUID inside a text field is given bare.
std::wstring to_oracle_str(const udb_field* field, bool quote);
// The DEFAULT clause value of a column description; empty for none.
std::wstring make_ora_def_val(const t_ftd* ftd);
