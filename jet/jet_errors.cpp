#include "jet/jet_errors.h"

#include "TK/tk_log.h"
#include "jet/dao_interfaces.h"

HRESULT jet_fail_text(jet_session& session, LONG number, const std::wstring& description) {
  tk_log::write(2, L"jet: DAO error %d: %ls", static_cast<int>(number), description.c_str());
  session.errors.assign(1, jet_error_entry{number, description});
  return dao_hresult(number);
}

std::wstring jet_text_of(const std::exception& e) {
  std::wstring text;
  for (const char* c = e.what(); *c; ++c) text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*c)));
  return text;
}

HRESULT jet_fail_exception(jet_session& session, LONG number) {
  try {
    try {
      throw;
    } catch (const std::bad_alloc&) {
      return jet_fail(session, jet_error::out_of_resources);
    } catch (const std::exception& e) {
      return jet_fail_text(session, number, L"The workbook driver failed: " + jet_text_of(e) + L".");
    } catch (...) {
      return jet_fail_text(session, number, L"The workbook driver failed.");
    }
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    // Not even the error could be recorded.
    session.errors.clear();
    return E_OUTOFMEMORY;
  }
}

namespace {
// Built by appending: the compiler's overlap check misreads a chain of +.
std::wstring around(const wchar_t* before, const std::wstring& name, const wchar_t* after) {
  std::wstring text(before);
  text.append(name).append(after);
  return text;
}
}  // namespace

std::wstring jet_describe(LONG number, const std::wstring& name) {
  using namespace jet_error;
  switch (number) {
    case table_exists:
      return around(L"Table '", name, L"' already exists.");
    case update_without_add:
      return L"Update without AddNew.";
    case no_current_record:
      return L"No current record.";
    case unexpected:
      return L"The workbook driver failed.";
    case out_of_resources:
      return L"System resource exceeded.";
    case read_only:
      return L"Cannot update. Database or object is read-only.";
    case record_too_large:
      // The recordset of the DAO engine recognises the text too.
      return L"Record is too large.";
    case no_such_table:
      return around(L"The input table or query '", name, L"' does not exist.");
    case invalid_name:
      return around(L"'", name, L"' is not a valid name of a worksheet or field.");
    case no_isam:
      return around(L"No driver takes the connect string '", name, L"'.");
    case too_many_fields:
      return L"Too many fields defined: a worksheet holds 255.";
    case field_twice:
      return around(L"Cannot define field '", name, L"' more than once.");
    case invalid_operation:
      return L"Invalid operation.";
    case not_supported:
      return L"Operation is not supported for this type of object.";
    case invalid_type:
      return L"Invalid field data type for a worksheet.";
    case no_fields:
      return L"No field defined: cannot append the table definition.";
    case not_found:
      return L"Item not found in this collection.";
    case out_of_range:
      return L"A value lies outside the range a worksheet accepts.";
    case already_in_collection:
      return L"Cannot append. An object with that name already exists in the collection.";
    case no_longer_set:
      return L"Object invalid or no longer set.";
    case conversion:
      return L"Data type conversion error.";
    case sheet_full:
      return around(L"The worksheet '", name, L"' holds no more rows.");
    case no_database_driver:
      return L"The engine has no driver for database files; it opens workbooks only.";
    default:
      return around(L"DAO error ", std::to_wstring(number), L".");
  }
}
