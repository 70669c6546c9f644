#include "oci/oci_fault.h"

#include "oci/oci_library.h"

#include "TK/tk_exception.h"

#include <cstring>
#include <mutex>
#include <optional>
#include <type_traits>
#include <vector>

namespace {

constexpr std::size_t fn_count = static_cast<std::size_t>(oci_fn::count);

struct armed_fault {
  oci_fault fault;
  unsigned at_call = 0;
  bool fired = false;
};

struct injector_state {
  std::mutex mutex;
  oci_functions real;
  unsigned calls[fn_count] = {};
  bool fired[fn_count] = {};
  std::vector<armed_fault> faults;
  bool error_pending = false;
  sb4 error_code = 0;
  std::string error_text;
  bool error_utf16 = true;
};

injector_state* g_state = nullptr;

// The error a fault reports with its status, for the next OCIErrorGet.
void report(const oci_fault& fault, sword status) {
  std::lock_guard<std::mutex> lock(g_state->mutex);
  g_state->error_pending = status == OCI_ERROR || status == OCI_SUCCESS_WITH_INFO;
  g_state->error_code = fault.error_code;
  g_state->error_text = fault.message;
  g_state->error_utf16 = fault.utf16;
}

// Counts the call; the fault that fires on it, if one does.
std::optional<oci_fault> fire(oci_fn fn) {
  std::lock_guard<std::mutex> lock(g_state->mutex);
  auto i = static_cast<std::size_t>(fn);
  unsigned n = ++g_state->calls[i];
  for (armed_fault& f : g_state->faults) {
    if (f.fired || f.fault.function != fn || f.at_call != n) continue;
    f.fired = true;
    g_state->fired[i] = true;
    return f.fault;
  }
  return std::nullopt;
}

// Reports the injected error once, in the caller's buffer; the next
// OCIErrorGet after that reaches the client again.
bool injected_error(ub4 recordno, sb4* errcodep, OraText* bufp, ub4 bufsiz, sword& status) {
  std::lock_guard<std::mutex> lock(g_state->mutex);
  if (!g_state->error_pending) return false;
  if (recordno != 1) {
    status = OCI_NO_DATA;
    return true;
  }
  g_state->error_pending = false;
  if (errcodep) *errcodep = g_state->error_code;
  const std::string& text = g_state->error_text;
  if (bufp && bufsiz > 0) {
    if (g_state->error_utf16) {
      // The injected texts are ASCII; widen them unit by unit.
      std::size_t room = bufsiz / 2;
      std::size_t n = std::min(text.size(), room ? room - 1 : 0);
      char16_t* out = reinterpret_cast<char16_t*>(bufp);
      for (std::size_t k = 0; k < n; ++k) out[k] = static_cast<unsigned char>(text[k]);
      if (room) out[n] = 0;
    } else {
      std::size_t n = std::min<std::size_t>(text.size(), bufsiz - 1);
      std::memcpy(bufp, text.data(), n);
      bufp[n] = 0;
    }
  }
  status = OCI_SUCCESS;
  return true;
}

template <auto Member, oci_fn Id,
          typename F = std::remove_reference_t<decltype(std::declval<oci_functions&>().*Member)>>
struct trampoline;

template <auto Member, oci_fn Id, typename... A>
struct trampoline<Member, Id, sword (*)(A...)> {
  static sword call(A... a) {
    std::optional<oci_fault> fault = fire(Id);
    if (!fault) return (g_state->real.*Member)(a...);
    sword status = fault->then ? fault->then((g_state->real.*Member)(a...)) : fault->status;
    report(*fault, status);
    return status;
  }
};

sword error_get_trampoline(void* hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep,
                           OraText* bufp, ub4 bufsiz, ub4 type) {
  if (std::optional<oci_fault> fault = fire(oci_fn::OCIErrorGet)) {
    report(*fault, fault->status);
    return fault->status;
  }
  sword status = OCI_SUCCESS;
  if (injected_error(recordno, errcodep, bufp, bufsiz, status)) return status;
  return g_state->real.OCIErrorGet(hndlp, recordno, sqlstate, errcodep, bufp, bufsiz, type);
}

}  // namespace

oci_fault_injector::oci_fault_injector() {
  oci_library& library = oci_library::process();
  if (!library.load()) throw tk_exception(oci_missing_client_message, 1);
  if (g_state) throw tk_exception("Only one OCI fault injector may exist at a time", 2);
  g_state = new injector_state;
  g_state->real = library.table_;
#define QM_OCI_TRAMPOLINE(name) \
  library.table_.name = &trampoline<&oci_functions::name, oci_fn::name>::call;
  QM_OCI_FUNCTIONS(QM_OCI_TRAMPOLINE)
#undef QM_OCI_TRAMPOLINE
  library.table_.OCIErrorGet = &error_get_trampoline;
}

oci_fault_injector::~oci_fault_injector() {
  oci_library::process().table_ = g_state->real;
  delete g_state;
  g_state = nullptr;
}

void oci_fault_injector::fail(const oci_fault& fault) {
  std::lock_guard<std::mutex> lock(g_state->mutex);
  armed_fault f;
  f.fault = fault;
  f.at_call = g_state->calls[static_cast<std::size_t>(fault.function)] + fault.nth;
  g_state->faults.push_back(f);
}

unsigned oci_fault_injector::calls(oci_fn fn) const {
  std::lock_guard<std::mutex> lock(g_state->mutex);
  return g_state->calls[static_cast<std::size_t>(fn)];
}

bool oci_fault_injector::fired(oci_fn fn) const {
  std::lock_guard<std::mutex> lock(g_state->mutex);
  return g_state->fired[static_cast<std::size_t>(fn)];
}
