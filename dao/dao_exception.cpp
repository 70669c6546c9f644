#include "dao/dao_exception.h"

#include "OLE/ole_com_ptr.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "dao/dao_bstr.h"
#include "dao/dao_engine.h"

namespace {

[[noreturn]] void failed_step(int step) {
  tk_log::write(1, "Failed on step #%d", step);
  throw tk_exception(std::string("Cannot read the error of Data Access Objects."), 1);
}

}  // namespace

dao_exception::dao_exception() : tk_exception(0) {
  tk_log::write(2, "dao_exception::dao_exception");
  _DAODBEngine* engine = dao_engine::instance().dbengine();
  ole_com_ptr<DAOErrors> errors;
  if (!engine || FAILED(engine->get_Errors(&errors.p)) || !errors.p) failed_step(1);
  ole_com_ptr<DAOError> error;
  if (FAILED(errors->get_Item(dao_arg_i4(0), &error.p)) || !error.p) failed_step(2);
  dao_bstr description;
  if (FAILED(error->get_Description(description.address()))) failed_step(3);
  std::string narrow;
  if (!tk_w2a(description.str().c_str(), narrow)) narrow.assign(1, '?');
  message = narrow;
  tk_log::write(2, "Got error: %s", message.c_str());
  LONG number = 0;
  if (FAILED(error->get_Number(&number))) failed_step(4);
  code = 0x10000 + (static_cast<int>(number) & 0xFFFF);
  tk_log::write(2, "Got error code: %08X", static_cast<unsigned>(code));
}
