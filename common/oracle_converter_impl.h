// The Oracle side of the convertor: the connection settings and the open
// source database.
#pragma once

#include "ORA/ora_engine.h"
#include "UDB/udb_database.h"

#include <memory>
#include <string>

class udb_profile;

class oracle_converter_impl {
 public:
  oracle_converter_impl() = default;
  virtual ~oracle_converter_impl();

  void store_oracle_settings(const wchar_t* host, const wchar_t* user, const wchar_t* password, const wchar_t* port);
  // Drops an earlier source first; a failure leaves no source.
  void connect_oracle_server(const std::wstring& service);
  // Opens the source by service, user and password when none is open; any
  // failure gives false.
  bool test_query(const std::wstring& service, const std::wstring& user, const std::wstring& password,
                  const std::wstring& text);

  // The "Oracle settings" section; empty values are not written and do not
  // replace what is set.
  bool store_profile(udb_profile& profile) const;
  bool load_profile(udb_profile& profile);

  std::unique_ptr<udb_database> source_db;
  ora_engine engine;
  std::wstring service;
  std::wstring user;
  std::wstring password;
  std::wstring host;
  std::wstring port;
};
