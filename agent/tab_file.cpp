#include "agent/tab_file.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "agent/console.h"
#include "common/quillet_convertor.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const char unreadable[] = "Table names file does not exist.\nPlease verify the correct path/name was given.";

struct list_file {
  std::FILE* f = nullptr;
  char* line = nullptr;
  std::size_t size = 0;
  ~list_file() {
    std::free(line);
    if (f) std::fclose(f);
  }
};

}  // namespace

void process_tab_file(const std::string& path) {
  tk_log::write(1, "process_tab_file(%s)", path.c_str());
  if (!tk_is_file_exist(path, 0)) fatal_exit(unreadable);
  list_file in;
  in.f = std::fopen(path.c_str(), "rb");
  if (!in.f) fatal_exit(unreadable);
  std::vector<std::wstring> names;
  bool utf8 = false, decided = false;
  // Lines of any length are taken whole.
  for (;;) {
    ssize_t n = ::getline(&in.line, &in.size, in.f);
    if (n < 0) break;
    std::string line(in.line, static_cast<std::size_t>(n));
    // A list cut short, or a name that the byte would cut, would convert
    // other tables than the ones listed.
    if (line.find('\0') != std::string::npos) fatal_exit(unreadable);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
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
  // A read or an allocation that failed is no end of the list: an empty
  // list means every table.
  if (std::ferror(in.f) || !std::feof(in.f)) fatal_exit(unreadable);
  quillet_convertor::instance().select_tables(names);
}
