// BIFF records: a 16-bit id and a 16-bit body length, little-endian, then
// the body. Bodies are built with biff_body and written into a biff_sink,
// the in-memory workbook stream; biff_source walks a stream record by record.
#pragma once

#include "jet/biff_book.h"
#include "jet/biff_id.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

// The longest body of a record of each version; longer data goes on in
// CONTINUE records.
constexpr std::size_t biff_max_body(biff_version v) { return v == biff_version::biff5 ? 2080 : 8224; }

class biff_body {
 public:
  biff_body& u8(unsigned v);
  biff_body& u16(unsigned v);
  biff_body& u32(std::uint32_t v);
  biff_body& f64(double v);
  biff_body& zeros(std::size_t n);
  biff_body& bytes(const std::string& b);
  std::size_t size() const { return data.size(); }
  std::vector<std::uint8_t> data;
};

class biff_sink {
 public:
  std::size_t position() const { return bytes.size(); }
  // Writes one record; its position is returned.
  std::size_t record(std::uint16_t id, const biff_body& body);
  std::size_t record(std::uint16_t id, const std::uint8_t* body, std::size_t length);
  // Overwrites a 32-bit value written earlier.
  void patch_u32(std::size_t at, std::uint32_t value);
  std::vector<std::uint8_t> bytes;
};

// A stream that is not a workbook of the expected shape.
class biff_format_error : public std::runtime_error {
 public:
  explicit biff_format_error(const std::string& what) : std::runtime_error(what) {}
};

struct biff_record {
  std::size_t position = 0;
  std::uint16_t id = 0;
  const std::uint8_t* body = nullptr;
  std::size_t length = 0;
};

class biff_source {
 public:
  biff_source(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}
  void seek(std::size_t position);
  std::size_t position() const { return at; }
  // False at the end of the stream; a record cut short is a format error.
  bool next(biff_record& record);
  // The next record is a CONTINUE: it is read into `record`.
  bool next_continue(biff_record& record);

 private:
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at = 0;
};

// Bounds-checked reading of one body.
class biff_reader {
 public:
  biff_reader(const std::uint8_t* body, std::size_t length) : body(body), length(length) {}
  explicit biff_reader(const biff_record& r) : body(r.body), length(r.length) {}
  unsigned u8();
  unsigned u16();
  std::uint32_t u32();
  double f64();
  const std::uint8_t* take(std::size_t n);
  std::size_t left() const { return length - at; }
  std::size_t offset() const { return at; }

 private:
  const std::uint8_t* body;
  std::size_t length;
  std::size_t at = 0;
};

// Text of a BIFF8 string: UTF-16 units from wide characters and back.
std::u16string biff_utf16(const std::wstring& text);
std::wstring biff_from_utf16(const std::u16string& text);
// Text of a BIFF5 string in the workbook's code page: the first Windows
// code page that holds every character of the workbook that any of them
// holds (Western first), else Windows-1252; '?' for what it lacks. UTF-16
// (1200) is read as well.
constexpr unsigned biff_cp1252 = 1252, biff_cp_utf16 = 1200;
unsigned biff_codepage_for(const std::set<wchar_t>& characters);
// The font character set of a BIFF5 code page: readers decode a cell's
// text by its font's, whatever the workbook's code page says.
std::uint8_t biff_font_charset(unsigned codepage);
std::string biff_narrow(const std::wstring& text, unsigned codepage);
// The text with `missing` in place of each character the code page lacks.
std::wstring biff_fit_codepage(const std::wstring& text, unsigned codepage, wchar_t missing);
// Also reads UTF-8 (65001); a code page it does not know is read as
// Windows-1252.
std::wstring biff_from_narrow(const std::uint8_t* bytes, std::size_t length, unsigned codepage);

// A BIFF8 string with a 16-bit (`wide_count`) or 8-bit character count.
void biff_put_unicode(biff_body& body, const std::wstring& text, bool wide_count);
std::wstring biff_get_unicode(biff_reader& reader, bool wide_count);
// A BIFF5 string with a 16-bit or 8-bit byte count.
void biff_put_narrow(biff_body& body, const std::wstring& text, bool wide_count, unsigned codepage);
std::wstring biff_get_narrow(biff_reader& reader, bool wide_count, unsigned codepage);
