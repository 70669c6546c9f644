#include "common/oracle_converter_impl.h"

#include "ORA/ora_database.h"
#include "TK/tk_log.h"
#include "UDB/udb_profile.h"
#include "platform/win32.h"

oracle_converter_impl::~oracle_converter_impl() = default;

void oracle_converter_impl::store_oracle_settings(const wchar_t* h, const wchar_t* u, const wchar_t* p,
                                                  const wchar_t* o) {
  host = h ? h : L"";
  user = u ? u : L"";
  password = p ? p : L"";
  port = o ? o : L"";
}

void oracle_converter_impl::connect_oracle_server(const std::wstring& name) {
  if (source_db) {
    tk_log::write(1, "Delete previous initialization of ora_base...");
    source_db.reset();
    tk_log::write(1, "done");
  }
  source_db = engine.open_db(host, user, password, port, name);
  service = name;
}

bool oracle_converter_impl::test_query(const std::wstring& name, const std::wstring& u, const std::wstring& p,
                                       const std::wstring& text) {
  try {
    if (!source_db) source_db = engine.open_db(name, u, p);
    return source_db->test_query(text);
  } catch (...) {
    qm_rethrow_if_cancelled();
    return false;
  }
}

bool oracle_converter_impl::store_profile(udb_profile& profile) const {
  namespace k = udb_profile_keys;
  const std::pair<const wchar_t*, const std::wstring*> values[] = {
      {k::host, &host}, {k::password, &password}, {k::port, &port}, {k::user, &user}};
  for (const auto& [key, value] : values)
    if (!value->empty()) profile.set_value(k::oracle_settings, key, *value);
  return true;
}

bool oracle_converter_impl::load_profile(udb_profile& profile) {
  namespace k = udb_profile_keys;
  const std::pair<const wchar_t*, std::wstring*> values[] = {
      {k::host, &host}, {k::password, &password}, {k::port, &port}, {k::user, &user}};
  for (const auto& [key, value] : values) {
    std::wstring text = profile.get_value(k::oracle_settings, key);
    if (!text.empty()) *value = text;
  }
  return true;
}
