#include "memory_files.h"
#include "platform/utf8.h"
#include "support.h"
#include "xlsx/package_parts.h"
#include "xlsx/shared_strings.h"
#include "xlsx/xlsx_model.h"

#include <cerrno>
#include <gtest/gtest.h>

using namespace XlsxModel;

namespace {

TEST(SharedStrings, IndexesInOrderOfFirstUse) {
  shared_string_table table;
  EXPECT_EQ(table.index_of("a"), 0u);
  EXPECT_EQ(table.index_of("b"), 1u);
  EXPECT_EQ(table.index_of("a"), 0u);
  EXPECT_EQ(table.index_of(""), 2u);
  EXPECT_EQ(table.index_of("3.14"), 3u);
  EXPECT_EQ(table.index_of("314"), 4u) << "different texts never share an index";
  std::string big(600000, 'x');
  EXPECT_EQ(table.index_of(big), 5u);
  EXPECT_EQ(table.index_of("after the big one"), 6u);
  EXPECT_EQ(table.at(5), big);
  EXPECT_EQ(table.at(4), "314");
  EXPECT_EQ(table.size(), 7u);
}

TEST(SharedStrings, ManyTextsStayFindable) {
  shared_string_table table;
  for (int i = 0; i < 200000; ++i) ASSERT_EQ(table.index_of("text " + std::to_string(i)), static_cast<unsigned>(i));
  for (int i = 0; i < 200000; i += 997) EXPECT_EQ(table.index_of("text " + std::to_string(i)), static_cast<unsigned>(i));
  EXPECT_EQ(table.at(123456), "text 123456");
  EXPECT_EQ(table.size(), 200000u);
}

// A scratch file in memory that takes `room` bytes and then fails as a full
// disk would.
class small_scratch : public scratch_file {
 public:
  explicit small_scratch(std::size_t room) : room(room) {}
  bool append(const char* data, std::size_t size) override {
    if (bytes.size() + size > room) {
      set_error(L"cannot write the scratch file: " + system_error_text(ENOSPC));
      return false;
    }
    bytes.append(data, size);
    return true;
  }
  bool read(std::uint64_t offset, char* data, std::size_t size) override {
    if (offset + size > bytes.size()) return false;
    bytes.copy(data, size, static_cast<std::size_t>(offset));
    return true;
  }

 private:
  std::size_t room;
  std::string bytes;
};

class files_with_small_scratch : public memory_files {
 public:
  std::size_t room = 0;
  int scratches = 0;
  std::unique_ptr<scratch_file> open_scratch(const std::wstring&, std::wstring&) override {
    ++scratches;
    return std::make_unique<small_scratch>(room);
  }
};

std::vector<std::string> keys_of(const shared_string_table& table) {
  std::vector<std::string> keys;
  EXPECT_TRUE(table.for_each([&](std::string_view key) { keys.emplace_back(key); })) << "every key reads back";
  return keys;
}

TEST(SharedStrings, TextsPastTheBudgetWaitInAFileWithoutName) {
  scratch_folder folder;
  shared_string_table table(100);
  table.spill_to(part_file_system::real(), qm_platform::path_from_utf8(folder.path.c_str()));
  std::vector<std::string> keys;
  for (int i = 0; i < 3000; ++i) keys.push_back("text " + std::to_string(i));
  keys.insert(keys.begin() + 1500, "");
  keys.insert(keys.begin() + 2000, std::string(600000, 'x'));
  keys.insert(keys.begin() + 2500, std::string(1500000, 'y'));
  for (std::size_t i = 0; i < keys.size(); ++i) ASSERT_EQ(table.index_of(keys[i]), i);
  // Met again, in and out of the order they came in: each is found, none added.
  for (std::size_t i = keys.size(); i-- > 0;) ASSERT_EQ(table.index_of(keys[i]), i) << keys[i].substr(0, 20);
  for (std::size_t i = 0; i < keys.size(); i += 7) ASSERT_EQ(table.index_of(keys[i]), i);
  EXPECT_EQ(table.index_of("text 3000"), keys.size()) << "a new text after the big ones";
  keys.push_back("text 3000");
  EXPECT_EQ(table.size(), keys.size());
  EXPECT_GT(table.spilled_bytes(), 2000000u);
  EXPECT_LT(table.memory_used(), 1000000u) << "the big texts are not in memory";
  EXPECT_EQ(table.at(2000), keys[2000]);
  EXPECT_EQ(table.at(2501), "text 2498");
  EXPECT_EQ(keys_of(table), keys);
  EXPECT_TRUE(table.error().empty());
  EXPECT_EQ(scratch_folder::listing(folder.path), "") << "nothing that the packer would take";
}

TEST(SharedStrings, WithoutAScratchFileEveryTextStaysInMemory) {
  shared_string_table table(10);
  table.spill_to(part_file_system::real(), L"/nonexistent folder of the test");
  for (int i = 0; i < 100; ++i) ASSERT_EQ(table.index_of("text " + std::to_string(i)), static_cast<unsigned>(i));
  EXPECT_EQ(table.index_of("text 42"), 42u);
  EXPECT_EQ(table.spilled_bytes(), 0u);
  EXPECT_TRUE(table.error().empty());
  EXPECT_EQ(keys_of(table).back(), "text 99");
}

TEST(SharedStrings, TextsThatCannotBeKeptFailTheirPart) {
  files_with_small_scratch files;
  files.room = 40;
  CWorkbook book(files, 30);
  CWorksheet* sheet = book.AddSheet2(L"S", {});
  for (int r = 0; r < 20; ++r) {
    sheet->begin_row();
    sheet->AddCell(CellDataStr{L"row " + std::to_wstring(r), 0});
    sheet->AddCell(CellDataStr{L"same", 0});
    sheet->end_row();
  }
  EXPECT_EQ(files.scratches, 1);
  EXPECT_EQ(book.shared_strings.size(), 21u) << "the cells still get their indexes";
  EXPECT_NE(book.shared_strings.error().find(L"No space left on device"), std::wstring::npos);
  EXPECT_FALSE(write_shared_strings(book));
  EXPECT_EQ(book.GetLastError(), book.shared_strings.error());
}

}  // namespace
