// Finding and binding the client library at run time.
#pragma once

#include "oci/oci_functions.h"

#include <atomic>
#include <string>
#include <vector>

// The libraries to try, in order: the override alone when it is given
// (QUILLMARK_OCI_LIBRARY); else the vendor client by its usual names through
// the loader's search path, then below `oracle_home`/lib; then the bundled
// libocilite.so beside the program and in the library folder next to it.
std::vector<std::string> oci_library_candidates(const char* override_path,
                                                const char* oracle_home,
                                                const std::string& program_dir);

// One client library with its function table. The first candidate that
// loads decides: when it lacks a function the search stops there, since
// falling back to another library would hide a broken client.
class oci_library {
 public:
  explicit oci_library(std::vector<std::string> candidates);
  ~oci_library();
  oci_library(const oci_library&) = delete;
  oci_library& operator=(const oci_library&) = delete;

  // Loads once; later calls return the first result. Thread-safe.
  bool load();

  bool loaded() const { return state_.load(std::memory_order_acquire) == 1; }
  const oci_functions& functions() const { return table_; }
  const std::string& path() const { return path_; }
  // The first loader failure (dlerror text or the missing function).
  const std::string& failure() const { return failure_; }
  const std::vector<std::string>& candidates() const { return candidates_; }
  // A function of the loaded library that no table binds; null when it
  // has none.
  void* optional_function(const char* name) const;

  // The process-wide library, with the candidates taken from the environment
  // and the program's folder on first use. Never unloaded.
  static oci_library& process();

 private:
  friend class oci_fault_injector;
  bool try_candidates();
  std::vector<std::string> candidates_;
  void* handle_ = nullptr;
  std::atomic<int> state_{0};  // 0 not tried, 1 loaded, 2 failed
  oci_functions table_;
  std::string path_;
  std::string failure_;
};

// The message of a missing client, raised before any OCI call.
extern const char* const oci_missing_client_message;

// True when the process-wide library is loaded (loading it if needed).
bool oci_available();

// The local file that a connect string names, as a client library that
// answers from files (ocilite, through its ocilite_source_file) finds it;
// empty for a client of a server, which has none, and when no library loads.
std::string oci_source_file(const std::string& connect_string);

// The process-wide function table; throws tk_exception of level 1 with the
// missing-client message when no client library can be bound.
const oci_functions& oci();
