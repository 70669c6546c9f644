// The BIFF reader and the spreadsheet driver on the workbooks of the corpus
// and on seeded mutations of them.
#include "jet_fuzz.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_sandbox.h"

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <unistd.h>

namespace {

struct input {
  std::string name;
  std::vector<std::uint8_t> bytes;
};

std::vector<input> corpus() {
  std::vector<input> files;
  const std::string folder = std::string(QM_SOURCE_DIR) + "/tests/jet/corpus";
  DIR* dir = opendir(folder.c_str());
  if (!dir) return files;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name[0] == '.') continue;
    std::ifstream in(folder + "/" + name, std::ios::binary);
    files.push_back({name, std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {})});
  }
  closedir(dir);
  std::sort(files.begin(), files.end(), [](const input& a, const input& b) { return a.name < b.name; });
  return files;
}

std::string joined(const std::vector<std::string>& problems) {
  std::string text;
  for (const std::string& p : problems) text += "\n  " + p;
  return text;
}

class Fuzz : public ::testing::Test {
 protected:
  qm_test::temp_folder made{"qm_fuzz_"};
  std::string folder = made.path;
};

TEST_F(Fuzz, TheCorpusReplays) {
  std::vector<input> files = corpus();
  ASSERT_GE(files.size(), 5u);
  for (const input& file : files) {
    std::vector<std::string> problems = jet_fuzz_input(file.bytes.data(), file.bytes.size(), folder);
    EXPECT_TRUE(problems.empty()) << file.name << joined(problems);
  }
}

TEST_F(Fuzz, MutatedWorkbooksAreReadOrRefusedCleanly) {
  std::vector<input> seeds = corpus();
  ASSERT_FALSE(seeds.empty());
  // A longer or another run by hand: QM_FUZZ_ITERATIONS and QM_FUZZ_SEED.
  const char* iterations = std::getenv("QM_FUZZ_ITERATIONS");
  const char* seed_text = std::getenv("QM_FUZZ_SEED");
  const long count = iterations ? std::atol(iterations) : 3000;
  std::mt19937 random(seed_text ? static_cast<unsigned>(std::atol(seed_text)) : 20240611u);
  int failures = 0;
  for (long i = 0; i < count && failures < 3; ++i) {
    const input& seed = seeds[random() % seeds.size()];
    const input& other = seeds[random() % seeds.size()];
    std::vector<std::uint8_t> mutated = jet_fuzz_mutate(seed.bytes, other.bytes, random);
    std::vector<std::string> problems = jet_fuzz_input(mutated.data(), mutated.size(), folder);
    if (problems.empty()) continue;
    ++failures;
    // Kept for the corpus once the fault is mended, outside the test's own
    // folders, which go at its end.
    std::string kept = qm_test::sandbox().outer_temp + "/qm_fuzz_failure_" + std::to_string(i) + ".bin";
    std::ofstream(kept, std::ios::binary).write(reinterpret_cast<const char*>(mutated.data()),
                                                static_cast<std::streamsize>(mutated.size()));
    ADD_FAILURE() << "mutation " << i << " of " << seed.name << " (" << kept << ")" << joined(problems);
  }
}

}  // namespace
