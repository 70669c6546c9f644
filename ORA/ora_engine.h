// The one OCI session of the program: environment, handles, login, and the
// small services every Oracle class uses.
#pragma once

#include "TK/tk_singleton.h"
#include "oci/oci_types.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

class ora_database;

class ora_engine : public tk_singleton<ora_engine> {
 public:
  // Binds the client and allocates the handles; a missing client throws the
  // level-1 message before any OCI call.
  ora_engine();
  ~ora_engine() override;

  void initialize();
  // Host, user, password, port, service: an alias when host and port are
  // empty, else the Easy Connect form //host:port/service.
  std::unique_ptr<ora_database> open_db(const std::wstring& host, const std::wstring& user,
                                        const std::wstring& password, const std::wstring& port,
                                        const std::wstring& service);
  std::unique_ptr<ora_database> open_db(const std::wstring& connect_string, const std::wstring& user,
                                        const std::wstring& password);
  void clean();

  // Throws ora_exception on OCI_ERROR; every other status returns.
  void check_err(sword status);
  // The number of the error or warning the last call left on the error
  // handle; 0 when it left none.
  sb4 error_number();
  // While an ora_stop_watch lives: raises tk_final_exception once the run's
  // stop is asked for, so that no statement starts after it.
  void end_if_stopped() const;

  // Marks a call that may run long at the server for as long as it lives:
  // the stop watch breaks off only such calls.
  class server_call {
   public:
    explicit server_call(ora_engine& engine);
    ~server_call();
    server_call(const server_call&) = delete;
    server_call& operator=(const server_call&) = delete;

   private:
    ora_engine& engine;
  };

  int get_records_cnt(const std::wstring& name_or_query, bool is_query = false);
  // major << 16 | minor << 8 | third; 0 when the banner has no version.
  unsigned int get_version();
  // The name between double quotes.
  std::wstring get_safe_name(const std::wstring& name);
  std::wstring get_tab_columns_view();
  // The condition that selects one table in the column view.
  std::wstring get_table_filter(const std::wstring& name);
  bool is_supported_type(const std::wstring& type_name);

  // The connect string of the Easy Connect form, or the service alone.
  static std::wstring make_connect_string(const std::wstring& host, const std::wstring& port,
                                          const std::wstring& service);
  // The version packed from the first word of a banner that reads as
  // three dotted numbers.
  static unsigned int parse_version(const std::wstring& banner);

  bool attached = false;
  OCIServer* srv = nullptr;
  OCISvcCtx* svc = nullptr;
  OCIEnv* env = nullptr;
  OCIError* err = nullptr;
  OCISession* session = nullptr;
  std::wstring connect_string;
  std::wstring user;
  std::wstring password;
  // Set by the conversion run before it opens any table; tables then skip
  // their keys and indexes.
  bool conversion_mode = false;
  // The UTF-16 units of a text value that the reader of its column needs;
  // 0 reads every value whole. The conversion run keeps no more in a cell,
  // so a longer value is read only until it is sure to be longer.
  std::size_t text_limit = 0;

 private:
  friend class ora_stop_watch;
  bool logged_in = false;
  // Set and cleared by the stop watch on the run's thread, asked by its own.
  std::function<bool()> stop;
  std::atomic<int> calls_under_way{0};
  // The watch has broken off a call: what fails now fails from the stop.
  std::atomic<bool> broke{false};

 public:

  static constexpr unsigned int version_8 = 0x80000;
};
