// A failure of Data Access Objects as the program's exception.
#pragma once

#include "TK/tk_exception.h"

class dao_exception : public tk_exception {
 public:
  // Built from the DBEngine's current error; when that cannot be read, a
  // level-1 tk_exception is thrown instead.
  dao_exception();
};
