// libFuzzer entry: a workbook stream through the BIFF reader and writer and
// the spreadsheet driver. Its seed corpus is tests/jet/corpus.
#include "jet_fuzz.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string folder = [] {
    char shm[] = "/dev/shm/qm_fuzz_jet_XXXXXX";
    char tmp[] = "/tmp/qm_fuzz_jet_XXXXXX";
    const char* made = mkdtemp(shm);
    return std::string(made ? made : mkdtemp(tmp));
  }();
  std::vector<std::string> problems = jet_fuzz_input(data, size, folder);
  for (const std::string& p : problems) std::fprintf(stderr, "%s\n", p.c_str());
  if (!problems.empty()) std::abort();
  return 0;
}
