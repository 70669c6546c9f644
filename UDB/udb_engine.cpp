#include "UDB/udb_engine.h"

#include "TK/tk_exception.h"
#include "TK/tk_utils.h"
#include "UDB/udb_database.h"
#include "platform/utf8.h"
#include "platform/win32.h"

void udb_engine::delete_db(const std::wstring& path) {
  if (DeleteFileW(path.c_str())) return;
  std::string narrow;
  if (!tk_w2a(qm_platform::path_as_text(path).c_str(), narrow)) narrow.clear();
  throw tk_exception_ex("Cannot delete '" + narrow + "': ", 1);
}

bool udb_engine::is_db_exist(const std::wstring& path) {
  return tk_is_file_exist(qm_platform::path_to_utf8(path.c_str()), 0);
}

int udb_engine::set_param(int value) {
  param = value;
  return param;
}
