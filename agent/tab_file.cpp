#include "agent/tab_file.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "agent/console.h"
#include "common/quillet_convertor.h"

#include <algorithm>
#include <vector>

void process_tab_file(const std::string& path) {
  tk_log::write(1, "process_tab_file(%s)", path.c_str());
  const char unreadable[] = "Table names file does not exist.\nPlease verify the correct path/name was given.";
  quillet_convertor::instance().reads_file(path, tk_converter::read_kind::table_list);
  if (!tk_is_file_exist(path, 0)) fatal_exit(unreadable);
  tk_line_reader reader(path);
  if (!reader.is_open()) fatal_exit(unreadable);
  // Read a line at a time, each name kept once: a list that repeats its
  // names holds little more than one that names them once. The names
  // before `distinct` are sorted and unique; the others are sorted in
  // among them whenever they are as many.
  std::vector<std::wstring> names;
  std::size_t distinct = 0;
  auto sort_in = [&names, &distinct] {
    auto head = names.begin() + static_cast<std::ptrdiff_t>(distinct);
    std::sort(head, names.end());
    std::inplace_merge(names.begin(), head, names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    distinct = names.size();
  };
  bool utf8 = false, decided = false;
  std::string line;
  while (reader.next(line)) {
    bool mark = !decided && line.compare(0, 3, "\xEF\xBB\xBF") == 0;
    if (mark) line.erase(0, 3);
    // Blanks at the ends of a line are not part of the name, as in a
    // settings file; a line of blanks is an empty one.
    line = tk_trim(line);
    if (!mark && line.empty()) continue;
    // The first line that is not empty decides the encoding.
    if (!decided) {
      decided = true;
      utf8 = mark;
    }
    if (line.empty()) continue;
    std::wstring name;
    if (utf8) {
      name = tk_from_utf8(line);
    } else if (!tk_a2w(line.c_str(), name)) {
      throw tk_exception("The table names file holds a line that is not text: " + line, 1);
    }
    names.push_back(std::move(name));
    if (names.size() >= 2 * distinct + 1024) sort_in();
  }
  // A list cut short by a failed read, or a name that a NUL byte would cut,
  // would convert other tables than the ones listed; an empty list means
  // every table.
  if (!reader.ended()) fatal_exit(unreadable);
  sort_in();
  quillet_convertor::instance().select_tables(std::move(names));
}
