#include "ocilite/ol_number_format.h"

#include "ocilite/ol_error.h"

namespace ocilite {

decimal text_to_number(std::string_view) { fail(600, "text_to_number"); }
decimal text_to_number(std::string_view, std::string_view) { fail(600, "text_to_number"); }
std::string number_to_char(const decimal& n) { return number_text(n); }
std::string number_to_char(const decimal&, std::string_view) { fail(600, "number_to_char"); }

}  // namespace ocilite
