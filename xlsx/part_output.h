// The byte sinks that package parts are written to, and the file system
// that opens them. Every part is UTF-8; wide text is encoded on the way in,
// into a buffer that reaches the sink in large blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace XlsxModel {

class part_output {
 public:
  explicit part_output(std::size_t capacity = 64 * 1024);
  virtual ~part_output();
  part_output(const part_output&) = delete;
  part_output& operator=(const part_output&) = delete;

  void write(const char* data, std::size_t size) {
    if (size <= capacity - used) {
      std::memcpy(buffer.get() + used, data, size);
      used += size;
    } else {
      write_slow(data, size);
    }
  }
  void write(std::string_view text) { write(text.data(), text.size()); }
  void put(char c) {
    if (used == capacity) flush();
    buffer[used++] = c;
  }
  // Characters that UTF-8 cannot carry (surrogates, values past U+10FFFF)
  // are left out; the safe text of the model never holds them.
  void write_wide(const wchar_t* text, std::size_t size);
  void write_wide(std::wstring_view text) { write_wide(text.data(), text.size()); }

  // Bytes written so far.
  std::uint64_t position() const { return flushed + used; }
  // Overwrites bytes written earlier (before close); false when the sink
  // cannot go back.
  bool rewrite(std::uint64_t offset, std::string_view bytes);

  // Hands the rest of the buffer to the sink and ends it. False when any
  // write or the end failed; error() then tells why. A second call only
  // repeats the outcome.
  bool close();
  bool failed() const { return !error_text.empty(); }
  const std::wstring& error() const { return error_text; }

 protected:
  // Take `size` bytes; false (with set_error) on failure.
  virtual bool sink(const char* data, std::size_t size) = 0;
  virtual bool finish() = 0;
  // Overwrite bytes that reached the sink already.
  virtual bool sink_at(std::uint64_t, const char*, std::size_t) { return false; }
  void set_error(const std::wstring& text) {
    if (error_text.empty()) error_text = text;
  }
  void flush();

 private:
  void write_slow(const char* data, std::size_t size);

  std::unique_ptr<char[]> buffer;
  std::size_t capacity;
  std::size_t used = 0;
  std::uint64_t flushed = 0;
  bool closed = false;
  std::wstring error_text;
};

// A part kept in memory; the tests read it back.
class memory_output : public part_output {
 public:
  memory_output() : part_output(256) {}
  ~memory_output() override;
  // Everything written so far, flushed.
  const std::string& text();

 protected:
  bool sink(const char* data, std::size_t size) override;
  bool finish() override { return true; }
  bool sink_at(std::uint64_t offset, const char* data, std::size_t size) override;

 private:
  std::string content;
};

// An OS error number as text ("No space left on device").
std::wstring system_error_text(int error_number);

// Creates every folder on `path` except its last segment (the file name).
// False only when a folder cannot be made because a parent is missing.
bool make_dir_path(const std::wstring& path);

// Bytes that leave memory while a package is made: appended, read back at
// any offset, and never one of its parts (the file has no name).
class scratch_file {
 public:
  virtual ~scratch_file();
  // False when the bytes cannot be kept; error() then tells why.
  virtual bool append(const char* data, std::size_t size) = 0;
  // Reads `size` bytes appended earlier; false when they cannot be read.
  virtual bool read(std::uint64_t offset, char* data, std::size_t size) = 0;
  const std::wstring& error() const { return error_text; }

 protected:
  void set_error(const std::wstring& text) {
    if (error_text.empty()) error_text = text;
  }

 private:
  std::wstring error_text;
};

// Opens the files of a package. The workbook uses the real one unless it is
// given another (the tests give one that fails).
class part_file_system {
 public:
  virtual ~part_file_system();
  // Creates the folders of `path` and opens the file for writing (an
  // existing file is replaced). Null with `error` set when it cannot.
  virtual std::unique_ptr<part_output> open(const std::wstring& path, std::wstring& error);
  // Makes the folder `path` (and its missing parents): 0, EEXIST when it
  // exists already, or another errno value.
  virtual int create_folder(const std::wstring& path);
  // Removes the folder and everything below it; errors are ignored.
  virtual void remove_tree(const std::wstring& path);
  // A scratch file in the folder `folder`, gone when closed. Null with
  // `error` set when it cannot be made.
  virtual std::unique_ptr<scratch_file> open_scratch(const std::wstring& folder, std::wstring& error);
  static part_file_system& real();
};

}  // namespace XlsxModel
