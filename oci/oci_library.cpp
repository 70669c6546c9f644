#include "oci/oci_library.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"

#include <cstdlib>
#include <dlfcn.h>
#include <mutex>
#include <unistd.h>

const char* const oci_missing_client_message =
    "The Oracle client and networking components were not found.\n"
    "These components are supplied by the Oracle Corporation and\n"
    "are part of the Oracle Version 7.3.4 (or later) client\n"
    "software installation. You will be unable to use this program\n"
    "until these components have been installed.";

namespace {

const char* const client_names[] = {
    "libclntsh.so",      "libclntsh.so.23.1", "libclntsh.so.21.1", "libclntsh.so.19.1",
    "libclntsh.so.18.1", "libclntsh.so.12.1", "libclntsh.so.11.1",
};

const char* const function_names[] = {
#define QM_OCI_NAME(name) #name,
    QM_OCI_FUNCTIONS(QM_OCI_NAME)
#undef QM_OCI_NAME
};

std::mutex& load_mutex() {
  static std::mutex m;
  return m;
}

std::string program_folder() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return std::string();
  std::string path(buffer, static_cast<std::size_t>(n));
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Fills the table member by member, in the order of the function list.
bool bind_all(void* handle, oci_functions& table, std::string& missing) {
  void* symbols[static_cast<std::size_t>(oci_fn::count)];
  for (std::size_t i = 0; i < static_cast<std::size_t>(oci_fn::count); ++i) {
    dlerror();
    symbols[i] = dlsym(handle, function_names[i]);
    if (!symbols[i]) {
      missing = function_names[i];
      return false;
    }
  }
  std::size_t i = 0;
#define QM_OCI_ASSIGN(name) table.name = reinterpret_cast<decltype(table.name)>(symbols[i++]);
  QM_OCI_FUNCTIONS(QM_OCI_ASSIGN)
#undef QM_OCI_ASSIGN
  return true;
}

}  // namespace

const char* oci_fn_name(oci_fn fn) {
  auto i = static_cast<std::size_t>(fn);
  return i < static_cast<std::size_t>(oci_fn::count) ? function_names[i] : "?";
}

std::vector<std::string> oci_library_candidates(const char* override_path,
                                                const char* oracle_home,
                                                const std::string& program_dir) {
  std::vector<std::string> out;
  if (override_path && *override_path) {
    out.emplace_back(override_path);
    return out;
  }
  for (const char* name : client_names) out.emplace_back(name);
  if (oracle_home && *oracle_home) {
    std::string lib = std::string(oracle_home) + "/lib/";
    for (const char* name : client_names) out.push_back(lib + name);
  }
  if (!program_dir.empty()) {
    out.push_back(program_dir + "/libocilite.so");
    out.push_back(program_dir + "/../lib/libocilite.so");
  }
  return out;
}

oci_library::oci_library(std::vector<std::string> candidates) : candidates_(std::move(candidates)) {}

oci_library::~oci_library() {
  if (handle_) dlclose(handle_);
}

bool oci_library::load() {
  int state = state_.load(std::memory_order_acquire);
  if (state != 0) return state == 1;
  std::lock_guard<std::mutex> lock(load_mutex());
  state = state_.load(std::memory_order_acquire);
  if (state != 0) return state == 1;
  state_.store(try_candidates() ? 1 : 2, std::memory_order_release);
  return state_.load(std::memory_order_relaxed) == 1;
}

bool oci_library::try_candidates() {
  for (const std::string& candidate : candidates_) {
    tk_log::write(2, "Trying OCI library '%s'", candidate.c_str());
    dlerror();
    void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* why = dlerror();
      std::string text = why ? why : (candidate + ": cannot be loaded");
      tk_log::write(2, "Cannot load '%s': %s", candidate.c_str(), text.c_str());
      if (failure_.empty()) failure_ = text;
      continue;
    }
    oci_functions table;
    std::string missing;
    if (!bind_all(handle, table, missing)) {
      std::string text = candidate + ": the function " + missing + " is missing";
      tk_log::write(3, "%s", text.c_str());
      if (failure_.empty()) failure_ = text;
      dlclose(handle);
      return false;
    }
    handle_ = handle;
    table_ = table;
    path_ = candidate;
    tk_log::write(2, "Using OCI library '%s'", candidate.c_str());
    return true;
  }
  tk_log::write(3, "No OCI library could be loaded: %s", failure_.c_str());
  return false;
}

oci_library& oci_library::process() {
  static oci_library* library = new oci_library(oci_library_candidates(
      std::getenv("QUILLMARK_OCI_LIBRARY"), std::getenv("ORACLE_HOME"), program_folder()));
  return *library;
}

bool oci_available() { return oci_library::process().load(); }

void* oci_library::optional_function(const char* name) const {
  return loaded() && handle_ ? dlsym(handle_, name) : nullptr;
}

std::string oci_source_file(const std::string& connect_string) {
  oci_library& library = oci_library::process();
  if (!library.load()) return std::string();
  using finder = long (*)(const char*, char*, size_t);
  auto find = reinterpret_cast<finder>(library.optional_function("ocilite_source_file"));
  if (!find) return std::string();
  long size = find(connect_string.c_str(), nullptr, 0);
  if (size < 0) return std::string();
  std::string path(static_cast<std::size_t>(size) + 1, '\0');
  if (find(connect_string.c_str(), path.data(), path.size()) != size) return std::string();
  path.resize(static_cast<std::size_t>(size));
  return path;
}

const oci_functions& oci() {
  oci_library& library = oci_library::process();
  if (!library.load()) throw tk_exception(oci_missing_client_message, 1);
  return library.functions();
}
