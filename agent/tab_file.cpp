#include "agent/tab_file.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "agent/console.h"
#include "common/quillet_convertor.h"

#include <vector>

void process_tab_file(const std::string& path) {
  tk_log::write(1, "process_tab_file(%s)", path.c_str());
  const char unreadable[] = "Table names file does not exist.\nPlease verify the correct path/name was given.";
  quillet_convertor::instance().reads_file(path, tk_converter::read_kind::table_list);
  if (!tk_is_file_exist(path, 0)) fatal_exit(unreadable);
  // A list cut short by a failed read, or a name that a NUL byte would cut,
  // would convert other tables than the ones listed; an empty list means
  // every table.
  std::vector<std::string> lines;
  if (!tk_read_lines(path, lines)) fatal_exit(unreadable);
  std::vector<std::wstring> names;
  bool utf8 = false, decided = false;
  for (std::string& line : lines) {
    if (line.empty()) continue;
    std::wstring name;
    if (!decided) {
      decided = true;
      utf8 = line.compare(0, 3, "\xEF\xBB\xBF") == 0;
      if (utf8) line.erase(0, 3);
      if (line.empty()) continue;
    }
    if (utf8) {
      name = tk_from_utf8(line);
    } else if (!tk_a2w(line.c_str(), name)) {
      throw tk_exception("The table names file holds a line that is not text: " + line, 1);
    }
    names.push_back(name);
  }
  quillet_convertor::instance().select_tables(names);
}
