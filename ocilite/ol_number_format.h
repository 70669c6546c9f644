// Numbers to text and back as the server's TO_CHAR and TO_NUMBER do them,
// with the default national settings: '.' for the decimal point (D), ','
// for groups (G), '$' for the local and dual currency (L, U) and "USD" for
// the ISO one (C).
#pragma once

#include <string>
#include <string_view>

#include "ocilite/ol_values.h"

namespace ocilite {

// A text read as a number where the server converts one implicitly, and
// TO_NUMBER(text): blanks before and after, a sign, digits with at most
// one point (".5", "5."), an exponent ("1.5E-3"). ORA-01722 for anything
// else, ORA-01426 past the range. The empty text is NULL before this.
decimal text_to_number(std::string_view text);

// TO_NUMBER(text, mask): the text read by the format mask (the elements
// of number_to_char below). ORA-01722 when the text does not match the
// mask, ORA-01481 for a mask that is no number format.
decimal text_to_number(std::string_view text, std::string_view mask);

// TO_CHAR(n): the server's text of the number (number_text).
std::string number_to_char(const decimal& n);

// TO_CHAR(n, mask). Elements: 9 0 . , D G S MI PR FM EEEE X B V $ L C U
// RN TM TM9 TME. A number the mask cannot show is '#' over the mask's
// width. ORA-01481 for a mask that is no number format.
std::string number_to_char(const decimal& n, std::string_view mask);

}  // namespace ocilite
