#include "dao/dao_engine.h"

#include "OLE/ole_com_ptr.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "dao/dao_bstr.h"
#include "dao/dao_database.h"
#include "dao/dao_exception.h"
#include "platform/com_runtime.h"

#include <cstdio>

namespace {

constexpr IID iid_dbengine_36 = {0x00000021, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
// What CreateDatabase answers when the engine cannot work with database files.
constexpr HRESULT dao_unusable = static_cast<HRESULT>(0x800A0E31u);

std::unique_ptr<dao_database> make_database(const std::wstring& path, HRESULT hr, DAODatabase* database, int mode) {
  ole_com_ptr<DAODatabase> held;
  held.p = database;
  dao_check(hr);
  dao_not_null(database);
  return std::make_unique<dao_database>(path, database, mode);
}

}  // namespace

const dao_engine_version dao_engine_versions[4] = {
    {2,
     {0x00025E15, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}},
     {0x00025E17, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}}},
    {1, {0x00000010, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}}, iid_dbengine_36},
    {0, {0x00000100, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}}, iid_dbengine_36},
    {3, {0xCD7791B9, 0x43FD, 0x42C5, {0xAE, 0x42, 0x8D, 0xD2, 0x81, 0x1F, 0x04, 0x19}}, iid_dbengine_36},
};

dao_generator::dao_generator() { tk_log::write(2, "dao_generator::ctor"); }

dao_generator::~dao_generator() {
  tk_log::write(2, "dao_generator::dtor");
  if (!delete_on_destruction || file_name.empty()) return;
  std::remove((file_name + ".ldb").c_str());
  std::remove(file_name.c_str());
}

dao_engine::dao_engine(bool com) : com_initialised(com) {
  tk_log::write(2, "dao_engine::ctor");
  // Without a DBEngine the error cannot be read: dao_exception throws its
  // level-1 failure.
  if (!com_initialised && FAILED(CoInitialize(nullptr))) throw dao_exception();
}

dao_engine::~dao_engine() {
  tk_log::write(2, "dao_engine::dtor");
  // The DBEngine goes before COM does.
  if (db_engine) db_engine->Release();
  if (!com_initialised) CoUninitialize();
}

void dao_engine::release_engine() {
  tk_log::write(2, "dao_engine::uninitialize");
  if (db_engine) db_engine->Release();
  db_engine = nullptr;
  version = 4;
}

bool dao_engine::set_version_if(int wanted) {
  tk_log::write(2, "dao_engine::set_version_if(%d)", wanted);
  if (version != 4) release_engine();
  const dao_engine_version* row = nullptr;
  for (const auto& r : dao_engine_versions)
    if (static_cast<int>(r.version) == wanted) {
      row = &r;
      break;
    }
  if (!row) throw tk_mail_assertion("dao_engi", 425);
  void* created = nullptr;
  HRESULT hr = CoCreateInstance(row->clsid, nullptr, CLSCTX_ALL, row->iid, &created);
  if (SUCCEEDED(hr) && created) {
    db_engine = static_cast<_DAODBEngine*>(created);
    version = static_cast<int>(row->version);
    return true;
  }
  tk_log::write(1, "CoCreateInstance failed: hr=%08X\n", static_cast<unsigned>(hr));
  return false;
}

std::unique_ptr<dao_database> dao_engine::open_dao_src(const std::wstring& path, const std::wstring& connect,
                                                       int mode) {
  tk_log::write(2, L"dao_engine::open_dao_src(%ls, %ls)", path.c_str(), connect.c_str());
  if (version == 4) throw tk_mail_assertion("dao_engi", 294);
  if (!db_engine) throw tk_mail_assertion("dao_engi", 297);
  dao_bstr name(path), options(connect);
  DAODatabase* database = nullptr;
  HRESULT hr = db_engine->OpenDatabase(name, dao_arg_bool(mode & 16), dao_arg_bool(mode & 1), dao_arg_text(options),
                                       &database);
  return make_database(path, hr, database, mode | 32);
}

std::unique_ptr<dao_database> dao_engine::create_dao_src(const std::wstring& path, const std::wstring& connect) {
  tk_log::write(2, L"dao_engine::create_dao_src(%ls, %ls)", path.c_str(), connect.c_str());
  if (version == 4) throw tk_mail_assertion("dao_engi", 204);
  if (!db_engine) throw tk_mail_assertion("dao_engi", 207);
  dao_bstr name(path), options(connect);
  DAODatabase* database = nullptr;
  // The spreadsheet driver makes a workbook that does not exist yet.
  HRESULT hr = db_engine->OpenDatabase(name, dao_arg_bool(false), dao_arg_bool(false), dao_arg_text(options), &database);
  return make_database(path, hr, database, 114);
}

void dao_engine::refresh_cache() {
  tk_log::write(2, "dao_engine::refresh_cache");
  if (db_engine) dao_check(db_engine->Idle(dao_arg_i4(dbRefreshCache)));
}

void dao_engine::throw_unusable() const {
  char text[200];
  std::snprintf(text, sizeof text,
                "Failed to load Data Access Objects (DAO) support library.\n%s installation is required to proceed\n"
                "with the application.\n",
                version == 0 ? "Microsoft Access 2000" : "Microsoft Access 95/97");
  throw tk_exception(std::string(text), 1);
}

std::unique_ptr<udb_database> dao_engine::create_db(const std::wstring& path) {
  tk_log::write(2, L"dao_engine::create_db (%ls)", path.c_str());
  tk_log::write(3, L"Creating MS Access database '%ls'", path.c_str());
  if (version == 4) throw tk_mail_assertion("dao_engi", 166);
  if (!db_engine) throw tk_mail_assertion("dao_engi", 169);
  dao_bstr name(path), locale(std::wstring(L";LANGID=0x0409;CP=1252;COUNTRY=0"));
  DAODatabase* database = nullptr;
  HRESULT hr = db_engine->CreateDatabase(name, locale, dao_arg_i4(0), &database);
  tk_log::write(2, "CreateDatabase returns %08X", static_cast<unsigned>(hr));
  if (hr == dao_unusable) throw_unusable();
  return make_database(path, hr, database, 114);
}

std::unique_ptr<udb_database> dao_engine::open_db(const std::wstring& path, int mode, const std::wstring& password) {
  tk_log::write(2, L"dao_engine::open_db(%ls, mode=%d)", path.c_str(), mode);
  tk_log::write(3, L"Opening MS Access database '%ls'", path.c_str());
  if (version == 4) throw tk_mail_assertion("dao_engi", 242);
  if (!db_engine) throw tk_mail_assertion("dao_engi", 245);
  dao_bstr name(path), connect(password.empty() ? std::wstring() : L";pwd=" + password);
  tk_log::write(1, "Open database using DAO engine");
  DAODatabase* database = nullptr;
  HRESULT hr = db_engine->OpenDatabase(name, dao_arg_bool(mode & 16), dao_arg_bool(mode & 1), dao_arg_text(connect),
                                       &database);
  tk_log::write(1, "Right after OpenDatabase call");
  if (hr == dao_unusable) throw_unusable();
  return make_database(path, hr, database, mode);
}
