#include "common/error_handler.h"

#include "TK/tk_log.h"
#include "TK/tk_utils.h"

#include <cstdio>

namespace {

#define TEXT_3049 "Cannot recognize MS Access database format. See 'Troubleshooting'\narticle of the product documentation for solution."
#define TEXT_3022 "Duplicate field values being used for an unique index were found.\nSee 'Troubleshooting' article of the product documentation\nfor solution."
#define TEXT_3173 "Invalid workgroup information file. Return to the previous\nwizard page and verify the correct path was given."

}  // namespace

const tk_error_entry dao_error_table[] = {
    {0x10BE9, TEXT_3049},
    {0x10BEF,
     "Not a valid MS Access database name. Use the following characters\nto compose new database name: "
     "alphanumerics (A-Z, a-z, 0-9),\nunderscore characters (_) and spaces."},
    {0x10BCE, TEXT_3022},
    {0x10BD5, "Not a valid account name or password has been specified\nin MS Access user-level security settings"},
    {0x10C28,
     "Cannot extract relationships information. See 'Troubleshooting'\narticle of the product documentation for "
     "solution."},
    {0x10C65, TEXT_3173},
    {0x10D1E, TEXT_3173},
    {0x10D5D, "Data type conversion error. Please contact " QM_SUPPORT_EMAIL "\nfor the solution."},
    {0x10D0F, TEXT_3049},
};
const int dao_error_count = 9;

const tk_error_entry oracle_error_table[] = {
    {0x100001, TEXT_3022},
    {0x1003F9, "Invalid user name or password."},
    {0x10067A,
     "Not enough free contiguous space in the tablespace to create the object.\nUse ALTER TABLESPACE ADD DATAFILE "
     "to add additional space to the tablespace."},
    {0x10079E, "User does not have the necessary privileges to create tables."},
    {0x1008FA,
     "There are orphaned records that prevent from creating foreign key. For more\ninformation see Troubleshooting "
     "article of the product documentation."},
    {0x102F7A, "Oracle data source does not exist. Check to verify the correct name was given."},
    {0x1030D4,
     "ORA-12500: the listener could not start a server process. For more information\nsee Troubleshooting article "
     "of the product documentation."},
    {0x1030D9,
     "ORA-12505: the program could not resolve service name. For more information\nsee Troubleshooting article of "
     "the product documentation."},
    {0x1030E2, "Cannot resolve Oracle service name. Check to verify the correct name was given.\n"},
    {0x1030FD,
     "ORA-12541: no listener. For more information see Troubleshooting\narticle of the product documentation."},
    {0x103101,
     "ORA-12545: connect failed because target host or object does not exist.\nFor more information see "
     "Troubleshooting article of the product documentation."},
    {0x106D60, "Wrong password was entered the maximum number of times or\nthe DBA has locked the account."},
};
const int oracle_error_count = 12;

const tk_error_entry date_range_error_table[] = {
    {0x10D15,
     "Date fields of the source database do not fall in the\nrange accepted by MS Excel. Restart the program "
     "with\n\"Convert dates into strings\" checkbox selected.\n"},
};
const int date_range_error_count = 1;

error_handler::error_handler(int count, const tk_error_entry* table) : messages(count, table) {
  tk_log::write(1, "error_handler::ctor");
}

error_handler::~error_handler() = default;

void error_handler::load_err_map(int count, const tk_error_entry* table) {
  tk_log::write(1, "error_handler::load_err_map");
  messages.load_map(count, table);
}

void error_handler::set_prefix(const std::wstring& table_name) {
  std::string narrow;
  prefix = tk_w2a(table_name.c_str(), narrow) ? narrow : std::string();
}

void error_handler::set_prefix(const std::wstring& table_name, int record_number) {
  std::string narrow;
  if (!tk_w2a(table_name.c_str(), narrow)) narrow.clear();
  char number[32];
  std::snprintf(number, sizeof number, ", record #%d", record_number);
  prefix = narrow + number;
}

std::string error_handler::compose(const tk_exception& e) const {
  std::string text = messages.convert(e.code);
  if (text.empty()) text = e.what();
  if (!prefix.empty()) text = prefix + ": " + text;
  return with_outcome(text);
}

std::string error_handler::with_outcome(std::string text) const {
  if (outcome.empty()) return text;
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  // A sentence of its own after the message.
  if (!text.empty() && text.back() != '.') text += '.';
  return text + "\n" + outcome;
}

std::string error_handler::internal_text(const tk_exception& e) const {
  std::string text = e.what();
  return outcome.empty() ? text : text + "\n" + outcome;
}
