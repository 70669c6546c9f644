// The gateway to Data Access Objects: one DBEngine COM object of a chosen
// version, through which the .xls destination is opened or created.
#pragma once

#include "TK/tk_singleton.h"
#include "UDB/udb_engine.h"
#include "jet/dao_interfaces.h"
#include "platform/com.h"

#include <memory>
#include <string>

class udb_database;
class dao_database;

struct dao_engine_version {
  unsigned version;
  CLSID clsid;
  IID iid;
};

// Versions 2, 1, 0, 3 in search order: DAO 3.0, 3.5, 3.6 and 12.0.
extern const dao_engine_version dao_engine_versions[4];

// Deletes a generated database and its lock file; nothing sets it.
class dao_generator {
 public:
  dao_generator();
  ~dao_generator();
  std::string file_name;
  bool delete_on_destruction = false;
};

class dao_engine : public udb_engine, public tk_singleton<dao_engine> {
 public:
  // `com_initialised`: the caller has already initialised COM on this thread.
  explicit dao_engine(bool com_initialised);
  ~dao_engine() override;

  // Loads the DBEngine of that version; false when it cannot be created.
  bool set_version_if(int version);
  bool is_loaded() const { return version != 4; }
  int get_version() const { return version; }
  _DAODBEngine* dbengine() const { return db_engine; }

  // A workbook of the spreadsheet driver: the file exists (mode 8 opens it
  // to add sheets), or it is made.
  std::unique_ptr<dao_database> open_dao_src(const std::wstring& path, const std::wstring& connect, int mode);
  std::unique_ptr<dao_database> create_dao_src(const std::wstring& path, const std::wstring& connect);
  // The DBEngine writes what it holds back of the databases it closed (Idle
  // with dbRefreshCache); a failure throws dao_exception. Nothing to do
  // without a DBEngine.
  void refresh_cache();

  // Access database files.
  std::unique_ptr<udb_database> create_db(const std::wstring& path) override;
  std::unique_ptr<udb_database> open_db(const std::wstring& path, int mode,
                                        const std::wstring& password = std::wstring()) override;

 private:
  void release_engine();
  // The text of the DAO-missing message for Access files.
  [[noreturn]] void throw_unusable() const;

  _DAODBEngine* db_engine = nullptr;
  int version = 4;
  dao_generator generator;
  bool com_initialised;
};
