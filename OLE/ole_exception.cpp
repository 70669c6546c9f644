#include "OLE/ole_exception.h"

ole_cast_exception::ole_cast_exception()
    : tk_exception(std::string("Cannot cast from source type to destination type"), 1) {}

ole_type_exception::ole_type_exception() : tk_exception(std::string("The operating type is not supported yet"), 1) {}
