// The DAO errors of the driver and the error list each DBEngine keeps:
// every failing call replaces the list with its one error and returns it
// as the call's HRESULT.
#pragma once

#include "platform/com.h"

#include <cxxabi.h>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace jet_error {
constexpr LONG unexpected = 3000, table_exists = 3010, update_without_add = 3020, no_current_record = 3021,
               file_not_found = 3024, read_only = 3027, out_of_resources = 3035, write_failed = 3040,
               invalid_path = 3044, record_too_large = 3047, cannot_open = 3051, no_such_table = 3078,
               invalid_name = 3125, no_isam = 3170, too_many_fields = 3190, field_twice = 3191,
               invalid_operation = 3219, not_supported = 3251, invalid_type = 3259, no_fields = 3264,
               not_found = 3265, not_a_workbook = 3274, out_of_range = 3349, already_in_collection = 3367,
               no_longer_set = 3420, conversion = 3421, sheet_full = 3434, no_database_driver = 3633;
}

struct jet_error_entry {
  LONG number;
  std::wstring description;
};

struct jet_session {
  std::vector<jet_error_entry> errors;
};
using jet_session_ptr = std::shared_ptr<jet_session>;

// Records the error with its own description and returns its HRESULT.
HRESULT jet_fail_text(jet_session& session, LONG number, const std::wstring& description);
// The fixed description of an error number; `name` fills the errors that
// name an object.
std::wstring jet_describe(LONG number, const std::wstring& name = std::wstring());
inline HRESULT jet_fail(jet_session& session, LONG number, const std::wstring& name = std::wstring()) {
  return jet_fail_text(session, number, jet_describe(number, name));
}

// The text of an exception's what().
std::wstring jet_text_of(const std::exception& e);

// The exception being handled as the DAO error `number` of the method it
// left: out of memory, or the driver's failure with the exception's text.
HRESULT jet_fail_exception(jet_session& session, LONG number);

// Runs the body of a DAO interface method: whatever it throws becomes the
// method's DAO error, so that no exception crosses the interface. A
// thread's cancellation passes on.
template <class Body>
HRESULT jet_guard(jet_session& session, LONG number, Body&& body) {
  try {
    return body();
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    return jet_fail_exception(session, number);
  }
}
