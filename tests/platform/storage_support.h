// Helpers of the structured-storage tests: a scratch folder, stream
// contents by pattern, whole-file bytes, and a file system that fails on
// demand beneath the layer.
#pragma once

#include "platform/storage.h"
#include "platform/storage_file.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wide_text.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace storage_test {

using bytes = std::vector<std::uint8_t>;

class scratch {
 public:
  scratch() : made("qm_storage_"), folder(made.path) {}
  std::string path(const std::string& name) const { return folder + "/" + name; }
  std::wstring wpath(const std::string& name) const { return qm_test::wide(path(name)); }

 private:
  qm_test::temp_folder made;  // before the name below, which is made from it

 public:
  std::string folder;
};

// Byte i of the pattern for `seed`; read_compound.py makes the same bytes.
inline bytes pattern(std::size_t size, unsigned seed) {
  bytes out(size);
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(i * 31 + seed + i / 256);
  return out;
}

inline bytes file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void put_file(const std::string& path, const bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline std::uint32_t get32(const bytes& b, std::size_t at) {
  return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
         (std::uint32_t{b[at + 3]} << 24);
}
inline void put32(bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

struct named_stream {
  std::wstring name;
  bytes data;
};

// Writes a new compound file holding the streams; S_OK or the first failure.
inline HRESULT write_compound(const std::wstring& path, const std::vector<named_stream>& streams) {
  IStorage* storage = nullptr;
  HRESULT hr = StgCreateDocfile(path.c_str(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, &storage);
  if (FAILED(hr)) return hr;
  for (const auto& s : streams) {
    IStream* stream = nullptr;
    hr = storage->CreateStream(s.name.c_str(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &stream);
    if (FAILED(hr)) break;
    ULONG written = 0;
    hr = stream->Write(s.data.data(), static_cast<ULONG>(s.data.size()), &written);
    stream->Release();
    if (FAILED(hr)) break;
  }
  if (SUCCEEDED(hr)) hr = storage->Commit(STGC_DEFAULT);
  storage->Release();
  return hr;
}

// The whole stream `name` of a compound file; `hr` tells how it went.
inline bytes read_stream(const std::wstring& path, const std::wstring& name, HRESULT& hr) {
  bytes out;
  IStorage* storage = nullptr;
  hr = StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &storage);
  if (FAILED(hr)) return out;
  IStream* stream = nullptr;
  hr = storage->OpenStream(name.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream);
  if (SUCCEEDED(hr)) {
    std::uint8_t buffer[7000];
    ULONG got = 0;
    while (SUCCEEDED(hr = stream->Read(buffer, sizeof buffer, &got)) && got > 0)
      out.insert(out.end(), buffer, buffer + got);
    stream->Release();
  }
  storage->Release();
  return out;
}

// The native files with faults: writes fail once `write_budget` bytes have
// been written (ENOSPC), and reads fail with EIO when `fail_reads` is set.
class failing_files : public qm_platform::storage_file_system {
 public:
  long long write_budget = -1;  // -1: no limit
  bool fail_reads = false;
  bool fail_flush = false;
  int writes = 0;

  failing_files() : previous(qm_platform::set_storage_file_system(this)) {}
  ~failing_files() override { qm_platform::set_storage_file_system(previous); }

  std::unique_ptr<qm_platform::storage_file> open(const std::wstring& path, qm_platform::storage_open how,
                                                  bool exclusive, int& error) override {
    auto inner = qm_platform::native_storage_files().open(path, how, exclusive, error);
    if (!inner) return nullptr;
    return std::make_unique<file>(std::move(inner), *this);
  }

 private:
  class file : public qm_platform::storage_file {
   public:
    file(std::unique_ptr<qm_platform::storage_file> f, failing_files& o) : inner(std::move(f)), owner(o) {}
    int read_at(std::uint64_t offset, void* data, std::size_t size, std::size_t& got) override {
      if (owner.fail_reads) {
        got = 0;
        return EIO;
      }
      return inner->read_at(offset, data, size, got);
    }
    int write_at(std::uint64_t offset, const void* data, std::size_t size) override {
      ++owner.writes;
      if (owner.write_budget >= 0) {
        if (static_cast<long long>(size) > owner.write_budget) {
          owner.write_budget = 0;
          return ENOSPC;
        }
        owner.write_budget -= static_cast<long long>(size);
      }
      return inner->write_at(offset, data, size);
    }
    int get_size(std::uint64_t& size) override { return inner->get_size(size); }
    int set_size(std::uint64_t size) override { return inner->set_size(size); }
    int flush() override { return owner.fail_flush ? EIO : inner->flush(); }

   private:
    std::unique_ptr<qm_platform::storage_file> inner;
    failing_files& owner;
  };
  qm_platform::storage_file_system* previous;
};

}  // namespace storage_test
