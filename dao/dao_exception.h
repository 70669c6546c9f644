// A failure of Data Access Objects as the program's exception.
#pragma once

#include "TK/tk_exception.h"

class dao_exception : public tk_exception {
 public:
  // Built from the first error of the DBEngine's Errors collection: its
  // description (in the ANSI code page) and 0x10000 plus its number. When
  // that cannot be read, a tk_exception of level 1 is thrown instead.
  dao_exception();
};
