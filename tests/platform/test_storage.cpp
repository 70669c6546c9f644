#include "platform/com_runtime.h"
#include "platform/storage.h"
#include "platform/utf8.h"
#include "tests/platform/storage_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <sys/stat.h>

using namespace storage_test;

namespace {

constexpr DWORD rw = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD ro = STGM_READ | STGM_SHARE_EXCLUSIVE;

// What the independent reader says of the file; empty when it cannot run.
std::string independent_read(const std::string& path, const std::vector<std::pair<std::string, std::pair<std::size_t, unsigned>>>& streams) {
  if (std::system("/usr/bin/python3 -c 'import xlrd.compdoc' 2>/dev/null") != 0) return std::string();
  std::string command = "/usr/bin/python3 '" QM_SOURCE_DIR "/tests/platform/read_compound.py' '" + path + "'";
  for (const auto& [name, spec] : streams)
    command += " '" + name + "=" + std::to_string(spec.first) + ":" + std::to_string(spec.second) + "'";
  std::string out;
  if (FILE* p = popen((command + " 2>&1").c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
    pclose(p);
  }
  return out;
}

using qm_test::wide;

struct element {
  std::wstring name;
  DWORD type;
  ULONGLONG size;
};

std::vector<element> elements(IStorage* storage) {
  std::vector<element> out;
  IEnumSTATSTG* items = nullptr;
  if (FAILED(storage->EnumElements(0, nullptr, 0, &items))) return out;
  STATSTG s;
  ULONG got = 0;
  while (items->Next(1, &s, &got) == S_OK && got == 1) {
    out.push_back({s.pwcsName, s.type, s.cbSize.QuadPart});
    CoTaskMemFree(s.pwcsName);
  }
  items->Release();
  return out;
}

TEST(Storage, StreamsOfEverySizeComeBackAndAnotherReaderAgrees) {
  scratch dir;
  const std::vector<std::pair<std::string, std::size_t>> sizes = {
      {"Empty", 0}, {"One", 1}, {"Mini63", 63}, {"Mini64", 64}, {"Below", 4095},
      {"AtCutoff", 4096}, {"Above", 4097}, {"Big", 100000}};
  std::vector<named_stream> streams;
  std::vector<std::pair<std::string, std::pair<std::size_t, unsigned>>> specs;
  unsigned seed = 1;
  for (const auto& [name, size] : sizes) {
    streams.push_back({wide(name), pattern(size, seed)});
    specs.push_back({name, {size, seed++}});
  }
  ASSERT_EQ(write_compound(dir.wpath("a.cfb"), streams), S_OK);

  for (const auto& s : streams) {
    HRESULT hr;
    EXPECT_EQ(read_stream(dir.wpath("a.cfb"), s.name, hr), s.data) << std::string(s.name.begin(), s.name.end());
    EXPECT_EQ(hr, S_OK);
  }
  IStorage* storage = nullptr;
  ASSERT_EQ(StgOpenStorage(dir.wpath("a.cfb").c_str(), nullptr, ro, nullptr, 0, &storage), S_OK);
  auto listed = elements(storage);
  storage->Release();
  // Listed in the format's order of names: shorter first.
  std::vector<std::wstring> names;
  for (const auto& e : listed) {
    names.push_back(e.name);
    EXPECT_EQ(e.type, STGTY_STREAM);
  }
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Big", L"One", L"Above", L"Below", L"Empty", L"Mini63", L"Mini64",
                                              L"AtCutoff"}));

  bytes image = file_bytes(dir.path("a.cfb"));
  EXPECT_EQ(image.size() % 512, 0u);
  EXPECT_EQ(image[0x1A], 3);  // version 3, 512-byte sectors
  std::string said = independent_read(dir.path("a.cfb"), specs);
  if (said.empty()) GTEST_SKIP() << "no independent reader here";
  EXPECT_EQ(said, "OK\n");
}

TEST(Storage, AStreamBeyondTheHeadersTableSlotsExtendsIt) {
  scratch dir;
  // 109 table sectors map 109 * 128 sectors: about 7 MB.
  const std::size_t size = 9u << 20;
  bytes big = pattern(size, 7);
  {
    IStorage* storage = nullptr;
    ASSERT_EQ(StgCreateDocfile(dir.wpath("big.cfb").c_str(), rw | STGM_CREATE, 0, &storage), S_OK);
    IStream* stream = nullptr;
    ASSERT_EQ(storage->CreateStream(L"Huge", rw, 0, 0, &stream), S_OK);
    for (std::size_t at = 0; at < size; at += 60000) {
      ULONG n = static_cast<ULONG>(std::min<std::size_t>(60000, size - at)), written = 0;
      ASSERT_EQ(stream->Write(big.data() + at, n, &written), S_OK);
      ASSERT_EQ(written, n);
    }
    stream->Release();
    ASSERT_EQ(storage->CreateStream(L"Tiny", rw, 0, 0, &stream), S_OK);
    bytes tiny = pattern(10, 8);
    ASSERT_EQ(stream->Write(tiny.data(), 10, nullptr), S_OK);
    stream->Release();
    ASSERT_EQ(storage->Commit(STGC_DEFAULT), S_OK);
    storage->Release();
  }
  bytes image = file_bytes(dir.path("big.cfb"));
  EXPECT_GT(get32(image, 0x2C), 109u);  // table sectors
  EXPECT_GE(get32(image, 0x48), 1u);    // extension sectors
  HRESULT hr;
  EXPECT_TRUE(read_stream(dir.wpath("big.cfb"), L"Huge", hr) == big);
  EXPECT_EQ(read_stream(dir.wpath("big.cfb"), L"Tiny", hr), pattern(10, 8));
  std::string said = independent_read(dir.path("big.cfb"), {{"Huge", {size, 7}}, {"Tiny", {10, 8}}});
  if (said.empty()) GTEST_SKIP() << "no independent reader here";
  EXPECT_EQ(said, "OK\n");
}

// The directory of a small file (its table in the header's slots), read
// straight from the bytes.
struct raw_entry {
  std::u16string name;
  int type, color;
  std::uint32_t left, right, child;
};

std::vector<raw_entry> raw_directory(const bytes& image) {
  std::vector<std::uint32_t> fat;
  for (std::uint32_t i = 0; i < get32(image, 0x2C); ++i) {
    std::size_t at = (std::size_t{get32(image, 0x4C + 4 * i)} + 1) * 512;
    for (int j = 0; j < 128; ++j) fat.push_back(get32(image, at + 4 * j));
  }
  std::vector<raw_entry> out;
  for (std::uint32_t s = get32(image, 0x30); s < fat.size(); s = fat[s])
    for (int j = 0; j < 4; ++j) {
      std::size_t at = (std::size_t{s} + 1) * 512 + 128 * j;
      raw_entry e;
      int length = image[at + 0x40] | (image[at + 0x41] << 8);
      for (int k = 0; k + 1 < length / 2; ++k) e.name.push_back(static_cast<char16_t>(image[at + 2 * k] | (image[at + 2 * k + 1] << 8)));
      e.type = image[at + 0x42];
      e.color = image[at + 0x43];
      e.left = get32(image, at + 0x44);
      e.right = get32(image, at + 0x48);
      e.child = get32(image, at + 0x4C);
      out.push_back(e);
    }
  return out;
}

bool name_less(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return a.size() < b.size();
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = std::towupper(a[i]), y = std::towupper(b[i]);
    if (x != y) return x < y;
  }
  return false;
}

// Checks the red-black rules of the tree under `id`; returns its black
// height, or -1 when a rule is broken. `order` gets the names in order.
int check_tree(const std::vector<raw_entry>& dir, std::uint32_t id, bool parent_red, std::vector<std::u16string>& order) {
  if (id == 0xFFFFFFFFu) return 1;
  if (id >= dir.size()) return -1;
  const raw_entry& e = dir[id];
  bool red = e.color == 0;
  if (red && parent_red) return -1;
  int left = check_tree(dir, e.left, red, order);
  order.push_back(e.name);
  int right = check_tree(dir, e.right, red, order);
  if (left < 0 || right < 0 || left != right) return -1;
  return left + (red ? 0 : 1);
}

TEST(Storage, TheDirectoryIsAValidRedBlackTreeAfterEveryChange) {
  scratch dir;
  const std::wstring path = dir.wpath("tree.cfb");
  IStorage* storage = nullptr;
  ASSERT_EQ(StgCreateDocfile(path.c_str(), rw | STGM_CREATE, 0, &storage), S_OK);
  std::vector<std::wstring> names;
  auto verify = [&](const char* when) {
    ASSERT_EQ(storage->Commit(STGC_DEFAULT), S_OK);
    auto entries = raw_directory(file_bytes(dir.path("tree.cfb")));
    ASSERT_FALSE(entries.empty());
    std::vector<std::u16string> order;
    std::uint32_t top = entries[0].child;
    if (top != 0xFFFFFFFFu) {
      ASSERT_EQ(entries.at(top).color, 1) << when << ": red root";
    }
    ASSERT_GT(check_tree(entries, entries[0].child, false, order), 0) << when << " with " << names.size();
    ASSERT_EQ(order.size(), names.size()) << when;
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end(), name_less)) << when;
  };
  std::mt19937 random(5);
  for (int i = 0; i < 40; ++i) {
    std::wstring name = (i % 3 ? L"s" : L"Stream") + std::to_wstring(random() % 100000);
    if (std::find(names.begin(), names.end(), name) != names.end()) continue;
    IStream* stream = nullptr;
    ASSERT_EQ(storage->CreateStream(name.c_str(), rw, 0, 0, &stream), S_OK);
    stream->Release();
    names.push_back(name);
    verify("adding");
  }
  while (!names.empty()) {
    std::size_t at = random() % names.size();
    ASSERT_EQ(storage->DestroyElement(names[at].c_str()), S_OK);
    names.erase(names.begin() + static_cast<long>(at));
    verify("removing");
  }
  storage->Release();
}

TEST(Storage, AStreamMovesInAndOutOfTheMiniStreamWithItsBytes) {
  scratch dir;
  const std::wstring path = dir.wpath("move.cfb");
  ASSERT_EQ(write_compound(path, {{L"A", pattern(100, 1)}, {L"Other", pattern(3000, 2)}}), S_OK);
  bytes expected = pattern(100, 1);
  {
    IStorage* storage = nullptr;
    ASSERT_EQ(StgOpenStorage(path.c_str(), nullptr, rw, nullptr, 0, &storage), S_OK);
    IStream* stream = nullptr;
    ASSERT_EQ(storage->OpenStream(L"A", nullptr, rw, 0, &stream), S_OK);
    // Past the end: the gap reads as zeros.
    LARGE_INTEGER to;
    to.QuadPart = 9000;
    ASSERT_EQ(stream->Seek(to, STREAM_SEEK_SET, nullptr), S_OK);
    bytes tail = pattern(1000, 3);
    ASSERT_EQ(stream->Write(tail.data(), 1000, nullptr), S_OK);
    expected.resize(9000, 0);
    expected.insert(expected.end(), tail.begin(), tail.end());
    stream->Release();
    ASSERT_EQ(storage->Commit(STGC_DEFAULT), S_OK);
    storage->Release();
  }
  HRESULT hr;
  EXPECT_TRUE(read_stream(path, L"A", hr) == expected);
  EXPECT_EQ(read_stream(path, L"Other", hr), pattern(3000, 2));
  {
    IStorage* storage = nullptr;
    ASSERT_EQ(StgOpenStorage(path.c_str(), nullptr, rw, nullptr, 0, &storage), S_OK);
    IStream* stream = nullptr;
    ASSERT_EQ(storage->OpenStream(L"A", nullptr, rw, 0, &stream), S_OK);
    ULARGE_INTEGER size;
    size.QuadPart = 50;
    ASSERT_EQ(stream->SetSize(size), S_OK);
    STATSTG stat;
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, 50u);
    EXPECT_EQ(stat.pwcsName, nullptr);
    stream->Release();
    storage->Release();  // commits
  }
  expected.resize(50);
  EXPECT_EQ(read_stream(path, L"A", hr), expected);
  EXPECT_EQ(read_stream(path, L"Other", hr), pattern(3000, 2));
}

TEST(Storage, OverwritingInsideAStreamChangesOnlyThoseBytes) {
  scratch dir;
  const std::wstring path = dir.wpath("patch.cfb");
  ASSERT_EQ(write_compound(path, {{L"Book", pattern(5000, 1)}, {L"Small", pattern(300, 2)}}), S_OK);
  bytes before = file_bytes(dir.path("patch.cfb"));
  {
    IStorage* storage = nullptr;
    ASSERT_EQ(StgOpenStorage(path.c_str(), nullptr, rw, nullptr, 0, &storage), S_OK);
    for (const wchar_t* name : {L"Book", L"Small"}) {
      IStream* stream = nullptr;
      ASSERT_EQ(storage->OpenStream(name, nullptr, rw, 0, &stream), S_OK);
      LARGE_INTEGER to;
      to.QuadPart = 100;
      ASSERT_EQ(stream->Seek(to, STREAM_SEEK_SET, nullptr), S_OK);
      std::uint8_t four[4] = {0xAA, 0xBB, 0xCC, 0xDD};
      ASSERT_EQ(stream->Write(four, 4, nullptr), S_OK);
      stream->Release();
    }
    storage->Release();
  }
  bytes after = file_bytes(dir.path("patch.cfb"));
  ASSERT_EQ(after.size(), before.size());
  std::size_t changed = 0;
  for (std::size_t i = 0; i < after.size(); ++i) changed += after[i] != before[i];
  EXPECT_EQ(changed, 8u);
}

TEST(Storage, ReplacedStreamsReuseTheSpaceTheyFreed) {
  scratch dir;
  const std::wstring path = dir.wpath("reuse.cfb");
  ASSERT_EQ(write_compound(path, {{L"X", pattern(50000, 1)}, {L"m", pattern(500, 2)}}), S_OK);
  std::size_t before = file_bytes(dir.path("reuse.cfb")).size();
  IStorage* storage = nullptr;
  ASSERT_EQ(StgOpenStorage(path.c_str(), nullptr, rw, nullptr, 0, &storage), S_OK);
  for (int round = 0; round < 3; ++round) {
    IStream* stream = nullptr;
    ASSERT_EQ(storage->CreateStream(L"X", rw, 0, 0, &stream), STG_E_FILEALREADYEXISTS);
    ASSERT_EQ(storage->CreateStream(L"X", rw | STGM_CREATE, 0, 0, &stream), S_OK);
    bytes data = pattern(50000, 10 + round);
    ASSERT_EQ(stream->Write(data.data(), 50000, nullptr), S_OK);
    stream->Release();
    ASSERT_EQ(storage->CreateStream(L"m", rw | STGM_CREATE, 0, 0, &stream), S_OK);
    data = pattern(500, 20 + round);
    ASSERT_EQ(stream->Write(data.data(), 500, nullptr), S_OK);
    stream->Release();
  }
  ASSERT_EQ(storage->Commit(STGC_DEFAULT), S_OK);
  storage->Release();
  EXPECT_EQ(file_bytes(dir.path("reuse.cfb")).size(), before);
  HRESULT hr;
  EXPECT_EQ(read_stream(path, L"X", hr), pattern(50000, 12));
  EXPECT_EQ(read_stream(path, L"m", hr), pattern(500, 22));
  std::string said = independent_read(dir.path("reuse.cfb"), {{"X", {50000, 12}}, {"m", {500, 22}}});
  if (said.empty()) GTEST_SKIP() << "no independent reader here";
  EXPECT_EQ(said, "OK\n");
}

TEST(Storage, ModesNamesAndSharing) {
  scratch dir;
  const std::wstring path = dir.wpath("modes.cfb");
  ASSERT_EQ(write_compound(path, {{L"S", pattern(10, 1)}}), S_OK);
  IStorage* storage = reinterpret_cast<IStorage*>(1);
  struct open_case {
    const char* what;
    std::wstring path;
    DWORD mode;
    HRESULT result;
  } opens[] = {
      {"missing file", dir.wpath("none.cfb"), ro, STG_E_FILENOTFOUND},
      {"missing folder", dir.wpath("none/x.cfb"), ro, STG_E_FILENOTFOUND},
      {"writing shared", path, STGM_READWRITE | STGM_SHARE_DENY_WRITE, STG_E_INVALIDFLAG},
      {"transacted", path, rw | STGM_TRANSACTED, STG_E_INVALIDFLAG},
      {"create on open", path, rw | STGM_CREATE, STG_E_INVALIDFLAG},
      {"a folder", wide(dir.folder), ro, STG_E_ACCESSDENIED},
  };
  for (const auto& c : opens) {
    EXPECT_EQ(StgOpenStorage(c.path.c_str(), nullptr, c.mode, nullptr, 0, &storage), c.result) << c.what;
    EXPECT_EQ(storage, nullptr) << c.what;
  }
  EXPECT_EQ(StgCreateDocfile(path.c_str(), rw, 0, &storage), STG_E_FILEALREADYEXISTS);
  EXPECT_EQ(StgCreateDocfile(path.c_str(), STGM_READ | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, &storage),
            STG_E_INVALIDFLAG);
  EXPECT_EQ(StgCreateDocfile(nullptr, rw, 0, &storage), STG_E_INVALIDNAME);
  EXPECT_EQ(StgCreateDocfile(dir.wpath("none/x.cfb").c_str(), rw, 0, &storage), STG_E_PATHNOTFOUND);
  EXPECT_EQ(StgOpenStorage(path.c_str(), nullptr, ro, nullptr, 0, nullptr), STG_E_INVALIDPOINTER);

  // A file open for writing is nobody else's meanwhile, and vice versa.
  ASSERT_EQ(StgOpenStorage(path.c_str(), nullptr, rw, nullptr, 0, &storage), S_OK);
  IStorage* other = nullptr;
  EXPECT_EQ(StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_NONE, nullptr, 0, &other),
            STG_E_SHAREVIOLATION);
  EXPECT_EQ(StgCreateDocfile(path.c_str(), rw | STGM_CREATE, 0, &other), STG_E_SHAREVIOLATION);
  IStream* stream = nullptr;
  IStream* again = nullptr;
  ASSERT_EQ(storage->OpenStream(L"s", nullptr, rw, 0, &stream), S_OK);  // names ignore case
  EXPECT_EQ(storage->OpenStream(L"S", nullptr, rw, 0, &again), STG_E_ACCESSDENIED);
  EXPECT_EQ(storage->DestroyElement(L"S"), STG_E_ACCESSDENIED);
  EXPECT_EQ(storage->OpenStream(L"T", nullptr, rw, 0, &again), STG_E_FILENOTFOUND);
  EXPECT_EQ(storage->OpenStream(L"S", nullptr, STGM_READWRITE, 0, &again), STG_E_INVALIDFLAG);
  for (const wchar_t* bad : {L"", L"a/b", L"a\\b", L"a:b", L"a!b", L"12345678901234567890123456789012"})
    EXPECT_EQ(storage->CreateStream(bad, rw, 0, 0, &again), STG_E_INVALIDNAME) << std::wstring(bad).size();
  EXPECT_EQ(storage->CreateStream(L"1234567890123456789012345678901", rw, 0, 0, &again), S_OK);
  again->Release();
  stream->Release();
  storage->Release();
  // The file shows both names; a reader leaves it as it is.
  ASSERT_EQ(StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &storage), S_OK);
  EXPECT_EQ(StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &other), S_OK);
  other->Release();
  EXPECT_EQ(elements(storage).size(), 2u);
  ASSERT_EQ(storage->OpenStream(L"S", nullptr, ro, 0, &stream), S_OK);
  EXPECT_EQ(stream->Write("x", 1, nullptr), STG_E_ACCESSDENIED);
  EXPECT_EQ(storage->OpenStream(L"S", nullptr, rw, 0, &again), STG_E_ACCESSDENIED);
  EXPECT_EQ(storage->CreateStream(L"New", rw, 0, 0, &again), STG_E_ACCESSDENIED);
  STATSTG stat;
  ASSERT_EQ(storage->Stat(&stat, STATFLAG_DEFAULT), S_OK);
  EXPECT_EQ(std::wstring(stat.pwcsName), path);
  EXPECT_EQ(stat.type, STGTY_STORAGE);
  CoTaskMemFree(stat.pwcsName);
  // The storage goes first: its stream is reverted, not left dangling.
  storage->Release();
  char c;
  ULONG got = 7;
  EXPECT_EQ(stream->Read(&c, 1, &got), STG_E_REVERTED);
  EXPECT_EQ(got, 0u);
  stream->Release();

  // A read-only file cannot be opened for writing, even by the super-user.
  ASSERT_EQ(chmod(dir.path("modes.cfb").c_str(), 0444), 0);
  EXPECT_EQ(StgOpenStorage(path.c_str(), nullptr, rw, nullptr, 0, &storage), STG_E_ACCESSDENIED);
  EXPECT_EQ(StgOpenStorage(path.c_str(), nullptr, ro, nullptr, 0, &storage), S_OK);
  storage->Release();
}

TEST(Storage, SeekAndReadFollowTheStreamRules) {
  scratch dir;
  const std::wstring path = dir.wpath("seek.cfb");
  ASSERT_EQ(write_compound(path, {{L"S", pattern(5000, 1)}}), S_OK);
  IStorage* storage = nullptr;
  ASSERT_EQ(StgOpenStorage(path.c_str(), nullptr, ro, nullptr, 0, &storage), S_OK);
  IStream* stream = nullptr;
  ASSERT_EQ(storage->OpenStream(L"S", nullptr, ro, 0, &stream), S_OK);
  LARGE_INTEGER move;
  ULARGE_INTEGER at;
  move.QuadPart = -10;
  ASSERT_EQ(stream->Seek(move, STREAM_SEEK_END, &at), S_OK);
  EXPECT_EQ(at.QuadPart, 4990u);
  std::uint8_t buffer[100];
  ULONG got = 0;
  ASSERT_EQ(stream->Read(buffer, 100, &got), S_OK);
  EXPECT_EQ(got, 10u);
  EXPECT_EQ(buffer[9], pattern(5000, 1)[4999]);
  ASSERT_EQ(stream->Read(buffer, 100, &got), S_OK);
  EXPECT_EQ(got, 0u);
  move.QuadPart = -5000;
  EXPECT_EQ(stream->Seek(move, STREAM_SEEK_CUR, &at), S_OK);
  EXPECT_EQ(at.QuadPart, 0u);
  move.QuadPart = -1;
  EXPECT_EQ(stream->Seek(move, STREAM_SEEK_CUR, &at), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(stream->Seek(move, 3, &at), STG_E_INVALIDFUNCTION);
  stream->Release();
  storage->Release();
}

// A valid file, and where its parts lie.
struct layout {
  bytes image;
  std::size_t fat, dir, mini_fat;  // byte offsets
  std::uint32_t book_start;
  std::size_t entry(int id) const { return dir + 128 * static_cast<std::size_t>(id); }
};

// Fatal on a failed set-up: the offsets below are read from the file.
void sample(const scratch& dir, layout& l) {
  ASSERT_EQ(write_compound(dir.wpath("sample.cfb"), {{L"Book", pattern(5000, 1)}, {L"Mini", pattern(100, 2)}}), S_OK);
  l.image = file_bytes(dir.path("sample.cfb"));
  ASSERT_GE(l.image.size(), 512u);
  l.fat = (std::size_t{get32(l.image, 0x4C)} + 1) * 512;
  l.dir = (std::size_t{get32(l.image, 0x30)} + 1) * 512;
  l.mini_fat = (std::size_t{get32(l.image, 0x3C)} + 1) * 512;
  ASSERT_LE(std::max({l.fat, l.dir + 512, l.mini_fat}), l.image.size());
  l.book_start = get32(l.image, l.entry(1) + 0x74);
}

TEST(Storage, MalformedFilesGiveFailures) {
  scratch dir;
  layout l;
  ASSERT_NO_FATAL_FAILURE(sample(dir, l));
  ASSERT_EQ(std::u16string(u"Book"), raw_directory(l.image)[1].name);
  std::uint32_t fat_sector = get32(l.image, 0x4C), dir_sector = get32(l.image, 0x30);
  struct damage {
    const char* what;
    std::function<void(bytes&)> change;
    HRESULT result;
  } cases[] = {
      {"plain text", [](bytes& b) { b.assign({'h', 'e', 'l', 'l', 'o'}); }, STG_E_FILEALREADYEXISTS},
      {"empty", [](bytes& b) { b.clear(); }, STG_E_FILEALREADYEXISTS},
      {"other signature", [](bytes& b) { b[7] = 0; }, STG_E_FILEALREADYEXISTS},
      {"byte order", [](bytes& b) { b[0x1C] = 0; }, STG_E_INVALIDHEADER},
      {"sector size", [](bytes& b) { b[0x1E] = 10; }, STG_E_INVALIDHEADER},
      {"mini cutoff", [](bytes& b) { put32(b, 0x38, 8192); }, STG_E_INVALIDHEADER},
      {"table beyond the file", [](bytes& b) { put32(b, 0x4C, 5000); }, STG_E_DOCFILECORRUPT},
      {"too many table sectors", [](bytes& b) { put32(b, 0x2C, 1000); }, STG_E_DOCFILECORRUPT},
      {"extension runs into the directory",
       [&](bytes& b) {
         put32(b, 0x2C, 110);
         put32(b, 0x44, dir_sector);
       },
       STG_E_DOCFILECORRUPT},
      {"directory chain loops", [&](bytes& b) { put32(b, l.fat + 4 * dir_sector, dir_sector); }, STG_E_DOCFILECORRUPT},
      {"stream chain loops", [&](bytes& b) { put32(b, l.fat + 4 * (l.book_start + 3), l.book_start); },
       STG_E_DOCFILECORRUPT},
      {"stream runs into the table", [&](bytes& b) { put32(b, l.fat + 4 * (l.book_start + 9), fat_sector); },
       STG_E_DOCFILECORRUPT},
      {"stream chain leaves the file", [&](bytes& b) { put32(b, l.fat + 4 * (l.book_start + 9), 100000); },
       STG_E_DOCFILECORRUPT},
      {"size beyond the chain", [&](bytes& b) { put32(b, l.entry(1) + 0x78, 50000); }, STG_E_DOCFILECORRUPT},
      {"tree reaches an entry twice", [&](bytes& b) { put32(b, l.entry(1) + 0x44, 2); }, STG_E_DOCFILECORRUPT},
      {"tree points past the directory", [&](bytes& b) { put32(b, l.entry(0) + 0x4C, 1000); }, STG_E_DOCFILECORRUPT},
      {"tree reaches a free entry", [&](bytes& b) { put32(b, l.entry(0) + 0x4C, 3); }, STG_E_DOCFILECORRUPT},
      {"no root", [&](bytes& b) { b[l.entry(0) + 0x42] = 2; }, STG_E_DOCFILECORRUPT},
      {"unknown entry kind", [&](bytes& b) { b[l.entry(1) + 0x42] = 7; }, STG_E_DOCFILECORRUPT},
      {"mini chain beyond the mini stream", [&](bytes& b) { put32(b, l.mini_fat, 500); }, STG_E_DOCFILECORRUPT},
      {"mini stream bigger than its chain", [&](bytes& b) { put32(b, l.entry(0) + 0x78, 4096); },
       STG_E_DOCFILECORRUPT},
      {"last sector cut off", [](bytes& b) { b.resize(b.size() - 512); }, STG_E_DOCFILECORRUPT},
  };
  for (const auto& c : cases) {
    bytes image = l.image;
    c.change(image);
    put_file(dir.path("bad.cfb"), image);
    IStorage* storage = nullptr;
    for (DWORD mode : {ro, rw}) {
      EXPECT_EQ(StgOpenStorage(dir.wpath("bad.cfb").c_str(), nullptr, mode, nullptr, 0, &storage), c.result) << c.what;
      EXPECT_EQ(storage, nullptr);
    }
    // A failed open leaves the file as it was.
    EXPECT_TRUE(file_bytes(dir.path("bad.cfb")) == image) << c.what;
  }
}

TEST(Storage, RandomDamageGivesResultsNotCrashes) {
  scratch dir;
  layout l;
  ASSERT_NO_FATAL_FAILURE(sample(dir, l));
  std::mt19937 random(11);
  int opened = 0;
  for (int round = 0; round < 400; ++round) {
    bytes image = l.image;
    int hits = 1 + static_cast<int>(random() % 6);
    for (int i = 0; i < hits; ++i) {
      // Mostly in the header and the tables, where damage does harm.
      std::size_t at = (random() % 4 == 0) ? random() % image.size() : random() % 512;
      if (random() % 2) at = (random() % 3 == 0 ? l.fat : random() % 2 ? l.dir : l.mini_fat) + random() % 512;
      image[at] = static_cast<std::uint8_t>(random());
    }
    put_file(dir.path("fuzz.cfb"), image);
    IStorage* storage = nullptr;
    if (FAILED(StgOpenStorage(dir.wpath("fuzz.cfb").c_str(), nullptr, rw, nullptr, 0, &storage))) continue;
    ++opened;
    for (const auto& e : elements(storage)) {
      IStream* stream = nullptr;
      if (FAILED(storage->OpenStream(e.name.c_str(), nullptr, rw, 0, &stream))) continue;
      std::uint8_t buffer[6000];
      ULONG got = 0;
      stream->Read(buffer, sizeof buffer, &got);
      stream->Write(buffer, 10, nullptr);
      ULARGE_INTEGER size;
      size.QuadPart = 4200;
      stream->SetSize(size);
      stream->Release();
    }
    IStream* stream = nullptr;
    if (SUCCEEDED(storage->CreateStream(L"Added", rw | STGM_CREATE, 0, 0, &stream))) {
      stream->Write(l.image.data(), 700, nullptr);
      stream->Release();
    }
    storage->Release();
  }
  EXPECT_GT(opened, 0);
}

TEST(Storage, FileSystemFaultsBecomeStorageResults) {
  scratch dir;
  const std::wstring path = dir.wpath("fault.cfb");
  {
    failing_files files;
    files.write_budget = 100;  // not even the first sector
    IStorage* storage = nullptr;
    EXPECT_EQ(StgCreateDocfile(path.c_str(), rw | STGM_CREATE, 0, &storage), STG_E_MEDIUMFULL);
    EXPECT_EQ(storage, nullptr);
    // A file that was not there before is not left behind.
    const std::wstring made = dir.wpath("made.cfb");
    EXPECT_EQ(StgCreateDocfile(made.c_str(), rw, 0, &storage), STG_E_MEDIUMFULL);
    EXPECT_NE(access(qm_platform::path_to_utf8(made.c_str()).c_str(), F_OK), 0);
  }
  {
    failing_files files;
    IStorage* storage = nullptr;
    ASSERT_EQ(StgCreateDocfile(path.c_str(), rw | STGM_CREATE, 0, &storage), S_OK);
    IStream* stream = nullptr;
    ASSERT_EQ(storage->CreateStream(L"S", rw, 0, 0, &stream), S_OK);
    bytes data = pattern(200000, 1);
    files.write_budget = 8192;
    ULONG written = 5;
    EXPECT_EQ(stream->Write(data.data(), 200000, &written), STG_E_MEDIUMFULL);
    EXPECT_EQ(written, 0u);
    STATSTG stat;
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, 0u);
    EXPECT_EQ(storage->Commit(STGC_DEFAULT), STG_E_MEDIUMFULL);
    files.write_budget = -1;
    files.fail_flush = true;
    EXPECT_EQ(storage->Commit(STGC_DEFAULT), STG_E_WRITEFAULT);
    files.fail_flush = false;
    EXPECT_EQ(storage->Commit(STGC_DEFAULT), S_OK);
    // A small write waits in the buffer: its failure comes with the commit,
    // and a later commit writes it after all.
    ASSERT_EQ(stream->Write(data.data(), 100, &written), S_OK);
    files.write_budget = 0;
    EXPECT_EQ(storage->Commit(STGC_DEFAULT), STG_E_MEDIUMFULL);
    files.write_budget = -1;
    EXPECT_EQ(storage->Commit(STGC_DEFAULT), S_OK);
    stream->Release();
    storage->Release();
  }
  {
    HRESULT hr;
    EXPECT_EQ(read_stream(path, L"S", hr), pattern(100, 1));
  }
  ASSERT_EQ(write_compound(path, {{L"S", pattern(300, 1)}}), S_OK);
  {
    failing_files files;
    files.fail_reads = true;
    IStorage* storage = nullptr;
    EXPECT_EQ(StgOpenStorage(path.c_str(), nullptr, ro, nullptr, 0, &storage), STG_E_READFAULT);
    files.fail_reads = false;
    ASSERT_EQ(StgOpenStorage(path.c_str(), nullptr, rw, nullptr, 0, &storage), S_OK);
    IStream* stream = nullptr;
    ASSERT_EQ(storage->OpenStream(L"S", nullptr, rw, 0, &stream), S_OK);
    files.fail_reads = true;
    char c[10];
    ULONG got = 0;
    EXPECT_EQ(stream->Read(c, 10, &got), STG_E_READFAULT);
    files.fail_reads = false;
    files.write_budget = 0;
    EXPECT_EQ(stream->Write(c, 10, nullptr), S_OK);  // gathered
    EXPECT_EQ(stream->Read(c, 10, &got), STG_E_MEDIUMFULL);
    EXPECT_EQ(storage->Commit(STGC_DEFAULT), STG_E_MEDIUMFULL);
    stream->Release();
    storage->Release();
  }
}

// A version 4 file (4096-byte sectors) made byte by byte: table in sector
// 0, directory in 1, mini table in 2, mini stream in 3, "Big" in 4 and 5.
bytes version4_file() {
  const std::size_t ss = 4096;
  bytes b(7 * ss, 0);
  const std::uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::copy(sig, sig + 8, b.begin());
  b[0x18] = 0x3E;
  b[0x1A] = 4;
  b[0x1C] = 0xFE;
  b[0x1D] = 0xFF;
  b[0x1E] = 12;
  b[0x20] = 6;
  put32(b, 0x28, 1);
  put32(b, 0x2C, 1);
  put32(b, 0x30, 1);
  put32(b, 0x38, 4096);
  put32(b, 0x3C, 2);
  put32(b, 0x40, 1);
  put32(b, 0x44, 0xFFFFFFFE);
  for (int i = 0; i < 109; ++i) put32(b, 0x4C + 4 * i, 0xFFFFFFFF);
  put32(b, 0x4C, 0);
  auto sector = [&](int s) { return (static_cast<std::size_t>(s) + 1) * ss; };
  std::uint32_t fat[6] = {0xFFFFFFFD, 0xFFFFFFFE, 0xFFFFFFFE, 0xFFFFFFFE, 5, 0xFFFFFFFE};
  for (std::size_t i = 0; i < 1024; ++i) put32(b, sector(0) + 4 * i, i < 6 ? fat[i] : 0xFFFFFFFF);
  for (std::size_t i = 0; i < 1024; ++i) put32(b, sector(2) + 4 * i, i == 0 ? 1 : i == 1 ? 0xFFFFFFFE : 0xFFFFFFFF);
  auto entry = [&](int id, const char16_t* name, int type, int color, std::uint32_t left, std::uint32_t right,
                   std::uint32_t child, std::uint32_t start, std::uint32_t size) {
    std::size_t at = sector(1) + 128 * static_cast<std::size_t>(id);
    std::size_t n = 0;
    for (; name[n]; ++n) {
      b[at + 2 * n] = static_cast<std::uint8_t>(name[n]);
    }
    b[at + 0x40] = static_cast<std::uint8_t>(2 * (n + 1));
    b[at + 0x42] = static_cast<std::uint8_t>(type);
    b[at + 0x43] = static_cast<std::uint8_t>(color);
    put32(b, at + 0x44, left);
    put32(b, at + 0x48, right);
    put32(b, at + 0x4C, child);
    put32(b, at + 0x74, start);
    put32(b, at + 0x78, size);
  };
  const std::uint32_t none = 0xFFFFFFFF;
  entry(0, u"Root Entry", 5, 1, none, none, 1, 3, 128);
  entry(1, u"Big", 2, 1, none, 2, none, 4, 5000);
  entry(2, u"Small", 2, 0, none, none, none, 0, 100);
  for (int id = 3; id < 32; ++id) {
    std::size_t at = sector(1) + 128 * static_cast<std::size_t>(id);
    put32(b, at + 0x44, none);
    put32(b, at + 0x48, none);
    put32(b, at + 0x4C, none);
  }
  bytes small = pattern(100, 3), big = pattern(5000, 4);
  std::copy(small.begin(), small.end(), b.begin() + static_cast<long>(sector(3)));
  std::copy(big.begin(), big.end(), b.begin() + static_cast<long>(sector(4)));
  return b;
}

TEST(Storage, Version4FilesAreReadAndPatchedInPlace) {
  scratch dir;
  const std::wstring path = dir.wpath("v4.cfb");
  bytes image = version4_file();
  put_file(dir.path("v4.cfb"), image);
  HRESULT hr;
  EXPECT_EQ(read_stream(path, L"Small", hr), pattern(100, 3));
  EXPECT_EQ(hr, S_OK);
  EXPECT_TRUE(read_stream(path, L"Big", hr) == pattern(5000, 4));
  IStorage* storage = nullptr;
  ASSERT_EQ(StgOpenStorage(path.c_str(), nullptr, rw, nullptr, 0, &storage), S_OK);
  IStream* stream = nullptr;
  ASSERT_EQ(storage->OpenStream(L"Big", nullptr, rw, 0, &stream), S_OK);
  LARGE_INTEGER to;
  to.QuadPart = 4500;
  ASSERT_EQ(stream->Seek(to, STREAM_SEEK_SET, nullptr), S_OK);
  ASSERT_EQ(stream->Write("\x01\x02", 2, nullptr), S_OK);
  stream->Release();
  storage->Release();
  bytes after = file_bytes(dir.path("v4.cfb"));
  image[5 * 4096 + 4500] = 1;
  image[5 * 4096 + 4501] = 2;
  EXPECT_TRUE(after == image);
}

}  // namespace
