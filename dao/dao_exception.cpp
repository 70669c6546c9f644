#include "dao/dao_exception.h"

#include "TK/tk_log.h"
#include "dao/dao_engine.h"

dao_exception::dao_exception() : tk_exception(0) {
  tk_log::write(2, "dao_exception::dao_exception");
  dao_engine::instance();
  // The error collection is an interface of the DAO layer, which no engine
  // of this build offers: reading it fails at the first step.
  tk_log::write(1, "Failed on step #1");
  throw tk_exception(1);
}
