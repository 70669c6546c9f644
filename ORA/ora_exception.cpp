#include "ORA/ora_exception.h"

#include "TK/tk_log.h"

ora_exception::ora_exception(const std::string& message, int oracle_error_number) : tk_exception(message, 0) {
  tk_log::write(2, "ora_exception::ctor");
  code = code_base | (oracle_error_number & 0xFFFF);
}
