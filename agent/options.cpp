#include "agent/options.h"

#include "TK/tk_exception.h"
#include "TK/tk_file_name.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "UDB/udb_profile.h"
#include "agent/ansi_cmd_line.h"
#include "agent/console.h"
#include "agent/tab_file.h"
#include "common/program_version.h"
#include "common/quillet_convertor.h"
#include "common/xls_engine.h"
#include "platform/utf8.h"

#include <cstdio>
#include <cstdlib>

namespace {

enum option_id {
  opt_date2str = 0,
  opt_dest = 1,
  opt_help = 2,
  opt_host = 3,
  opt_port = 4,
  opt_profile = 5,
  opt_pswd = 6,
  opt_split = 7,
  opt_src = 8,
  opt_tab_file = 9,
  opt_user = 10,
  opt_wrap = 11,
  opt_xls_ver = 12,
};

const cmd_line_option option_table[] = {
    {opt_date2str, "--date2str"}, {opt_dest, "--dest="},   {opt_help, "--help"},         {opt_host, "--host="},
    {opt_port, "--port="},        {opt_profile, "--profile="}, {opt_pswd, "--pswd="},       {opt_split, "--split"},
    {opt_src, "--src="},          {opt_tab_file, "--tab_file="}, {opt_user, "--user="},     {opt_wrap, "--wrap"},
    {opt_xls_ver, "--xls_ver="},  {0, ""},
};

// A name, an address or a password is text; a value that is not UTF-8 is
// refused rather than dropped, so that no other setting stands in for it.
std::wstring text_value(int id, const char* value) {
  std::wstring wide;
  if (tk_a2w(value, wide)) return wide;
  std::string option;
  for (const cmd_line_option* o = option_table; *o->prefix; ++o)
    if (o->id == id) option = o->prefix;
  if (!option.empty() && option.back() == '=') option.pop_back();
  fatal_exit("The value of " + option + " is not UTF-8 text");
}

}  // namespace

std::string usage_text() {
  char first[64];
  std::snprintf(first, sizeof first, "QUILLCMD v%d.%d\n", program_version_major, program_version_minor);
  return std::string(first) +
         "Usage: QUILLCMD.EXE OPTIONS\n"
         "\n"
         "   --date2str     convert dates into strings\n"
         "   --dest=...     MS Excel spreadsheet name\n"
         "   --host=...     Network name or IP address of Oracle server\n"
         "   --help         display this help message and exit\n"
         "   --port=...     Oracle port\n"
         "   --profile=...  path to the file to load conversion settings from\n"
         "   --pswd=...     Oracle user password\n"
         "   --split        split data into multiple spreadsheets if necessary\n"
         "   --src=...      Oracle database name or IP address of Oracle server\n"
         "   --tab_file=... file containing the list of tables to convert\n"
         "                  (one table name per line)\n"
         "   --user=...     Oracle user name\n"
         "   --wrap         wrap text into multiple lines in a cell\n"
         "   --xls_ver=...  format version for the destination MS Excel spreadsheet\n"
         "                  (0 - MS Excel 5.0, 1 - MS Excel 2000, 2 - MS Excel 2010)\n"
         "\n"
         "NOTES:\n"
         "   1) Command line parameters that contain spaces should be enclosed in\n"
         "      quotes (for example --dest=&quot;c:\\my documents\\sheet 1.xls&quot;)\n"
         "   2) If you omit 'tab_file' parameter, all database tables will be converted.\n"
         "   3) The default mode is 'overwrite'. You can change it using\n"
         "      '--mode' parameter\n"
         "   4) It is necessary to specify 'port' parameter only if it differs from\n"
         "      the default Oracle port 1521\n";
}

bool parse_cmd_line(int argc, char** argv) {
  quillet_convertor& convertor = quillet_convertor::instance();
  std::wstring host = L"localhost", port = L"1521", user, password;
  bool profile_result = false;
  int number = 0;
  ansi_cmd_line line(argc, argv, option_table);
  for (; line.has_more(); line.next()) {
    int id = line.get_option_id();
    // The password stays out of the log.
    tk_log::write(1, "parameter #%d: %s", ++number, id == opt_pswd ? "--pswd=***" : line.current());
    const char* value = line.get_value();
    // A path keeps its bytes, text or not: it names that file and no other.
    std::wstring path = qm_platform::path_from_utf8(value);
    switch (id) {
      case opt_date2str: convertor.dates_to_strings = true; break;
      case opt_split: convertor.split_data = true; break;
      case opt_wrap:
        convertor.wrap_text = true;
        for (xls_engine* e : engines)
          if (e) e->wrap = true;
        break;
      case opt_help: fatal_exit(usage_text());
      case opt_dest: convertor.destination = path; break;
      // Applied at once as well: a settings file to the right replaces
      // only what it holds, options to its right replace it again.
      case opt_host: convertor.host = host = text_value(id, value); break;
      case opt_port: convertor.port = port = text_value(id, value); break;
      case opt_pswd: convertor.password = password = text_value(id, value); break;
      case opt_user: convertor.user = user = text_value(id, value); break;
      case opt_src: convertor.source_name = text_value(id, value); break;
      case opt_profile:
        // A file that does not load ends the run: its selection is not
        // to be replaced by every table.
        profile_result = convertor.load_profile(path);
        if (!profile_result) throw tk_exception(udb_profile::load_failure_message(path), 1);
        break;
      case opt_tab_file: process_tab_file(value); break;
      case opt_xls_ver: {
        int version = std::atoi(value);
        if (version < 0 || version > 2) fatal_exit("MS Excel format version must be 0, 1 or 2");
        convertor.format_version = version;
        break;
      }
      default: break;
    }
  }
  if (line.get_positional_count() > 0) return false;
  // A relative destination from a settings file is taken against the folder
  // the program was started in, not wherever the run happens to be. The
  // extension follows the format once every option is read, whatever the
  // order of the options and wherever the destination came from.
  convertor.destination = with_format_extension(destination_path(convertor.destination), convertor.format_version);
  if (!profile_result) {
    if (convertor.source_name.empty()) fatal_exit("You should enter Oracle database name");
    if (convertor.destination.empty()) fatal_exit("You should enter MS Excel spredsheet name");
    if (convertor.format_version == -1)
      fatal_exit("You should specify MS Excel format version (use '--xls_ver' option)");
  }
  // A settings file need not name a format, and then none was given.
  if (convertor.format_version < 0 || convertor.format_version > 2)
    fatal_exit("MS Excel format version must be 0, 1 or 2");
  if (profile_result) return true;
  convertor.store_oracle_settings(host.c_str(), user.c_str(), password.c_str(), port.c_str());
  return true;
}
