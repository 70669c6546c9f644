// A database engine that creates, opens, deletes and tests database files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class udb_database;

class udb_engine {
 public:
  udb_engine() = default;
  udb_engine(const udb_engine&) = delete;
  udb_engine& operator=(const udb_engine&) = delete;
  virtual ~udb_engine() = default;

  // The caller owns the database.
  virtual std::unique_ptr<udb_database> create_db(const std::wstring& path) = 0;
  virtual std::unique_ptr<udb_database> open_db(const std::wstring& path, int mode,
                                                const std::wstring& password = std::wstring()) = 0;
  // Raises tk_exception_ex with the system's text when the file cannot be
  // deleted.
  virtual void delete_db(const std::wstring& path);
  // The file exists and can be read; never raises.
  virtual bool is_db_exist(const std::wstring& path);
  virtual int set_param(int value);

  std::int32_t param = 0;
};
