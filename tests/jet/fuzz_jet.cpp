// libFuzzer entry: a workbook stream through the BIFF reader and writer and
// the spreadsheet driver. Its seed corpus is tests/jet/corpus.
#include "jet_fuzz.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace {

std::string folder;

// The folder of the inputs' file goes with the run, also when an input fails.
void remove_folder() {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (folder.empty()) {
    char shm[] = "/dev/shm/qm_fuzz_jet_XXXXXX";
    char tmp[] = "/tmp/qm_fuzz_jet_XXXXXX";
    const char* made = mkdtemp(shm);
    if (!made) made = mkdtemp(tmp);
    if (!made) {
      std::perror("qm_fuzz_jet");
      std::abort();
    }
    folder = made;
    std::atexit(remove_folder);
  }
  std::vector<std::string> problems = jet_fuzz_input(data, size, folder);
  for (const std::string& p : problems) std::fprintf(stderr, "%s\n", p.c_str());
  if (!problems.empty()) {
    remove_folder();
    std::abort();
  }
  return 0;
}
