// libFuzzer entry: a workbook stream through the BIFF reader and writer and
// the spreadsheet driver. Its seed corpus is tests/jet/corpus.
#include "jet_fuzz.h"
#include "tests/support/temp_folder.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

std::string folder;

// The folder of the inputs' file goes with the run, also when an input fails.
void remove_folder() { qm_test::remove_tree(folder); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (folder.empty()) {
    // Under TMPDIR, as every test's folder (TMPDIR=/dev/shm spares the disk).
    try {
      folder = qm_test::make_temp_folder("qm_fuzz_jet_");
    } catch (const std::runtime_error& e) {
      std::fprintf(stderr, "%s\n", e.what());
      std::abort();
    }
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
