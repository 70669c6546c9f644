#include "jet/biff_record.h"

#include "platform/utf8.h"

#include <cstring>

biff_body& biff_body::u8(unsigned v) {
  data.push_back(static_cast<std::uint8_t>(v));
  return *this;
}

biff_body& biff_body::u16(unsigned v) {
  data.push_back(static_cast<std::uint8_t>(v));
  data.push_back(static_cast<std::uint8_t>(v >> 8));
  return *this;
}

biff_body& biff_body::u32(std::uint32_t v) {
  for (int i = 0; i < 4; ++i) data.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  return *this;
}

biff_body& biff_body::f64(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, 8);
  for (int i = 0; i < 8; ++i) data.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
  return *this;
}

biff_body& biff_body::zeros(std::size_t n) {
  data.insert(data.end(), n, 0);
  return *this;
}

biff_body& biff_body::bytes(const std::string& b) {
  data.insert(data.end(), b.begin(), b.end());
  return *this;
}

std::size_t biff_sink::record(std::uint16_t id, const biff_body& body) {
  return record(id, body.data.data(), body.data.size());
}

std::size_t biff_sink::record(std::uint16_t id, const std::uint8_t* body, std::size_t length) {
  if (length > 0xFFFF) throw std::logic_error("BIFF record body too long");
  std::size_t at = bytes.size();
  const std::uint8_t header[4] = {static_cast<std::uint8_t>(id), static_cast<std::uint8_t>(id >> 8),
                                  static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8)};
  bytes.insert(bytes.end(), header, header + 4);
  bytes.insert(bytes.end(), body, body + length);
  return at;
}

void biff_sink::patch_u32(std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

void biff_source::seek(std::size_t position) {
  if (position > size) throw biff_format_error("record position beyond the stream");
  at = position;
}

bool biff_source::next(biff_record& record) {
  if (at == size) return false;
  if (size - at < 4) throw biff_format_error("record header cut short");
  const std::uint8_t* h = data + at;
  record.position = at;
  record.id = static_cast<std::uint16_t>(h[0] | h[1] << 8);
  record.length = static_cast<std::size_t>(h[2] | h[3] << 8);
  if (size - at - 4 < record.length) throw biff_format_error("record body cut short");
  record.body = h + 4;
  at += 4 + record.length;
  return true;
}

bool biff_source::next_continue(biff_record& record) {
  if (size - at < 4 || (data[at] | data[at + 1] << 8) != biff_id::continue_) return false;
  return next(record);
}

unsigned biff_reader::u8() { return *take(1); }

unsigned biff_reader::u16() {
  const std::uint8_t* p = take(2);
  return p[0] | p[1] << 8;
}

std::uint32_t biff_reader::u32() {
  const std::uint8_t* p = take(4);
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

double biff_reader::f64() {
  const std::uint8_t* p = take(8);
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = bits << 8 | p[i];
  double v;
  std::memcpy(&v, &bits, 8);
  return v;
}

const std::uint8_t* biff_reader::take(std::size_t n) {
  if (length - at < n) throw biff_format_error("record body shorter than its fields");
  const std::uint8_t* p = body + at;
  at += n;
  return p;
}

std::u16string biff_utf16(const std::wstring& text) {
  std::u16string out;
  out.reserve(text.size());
  for (wchar_t w : text) {
    auto c = static_cast<std::uint32_t>(w);
    if (c >= 0x10000 && c <= 0x10FFFF) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c > 0x10FFFF ? 0xFFFD : c));
    }
  }
  return out;
}

std::wstring biff_from_utf16(const std::u16string& text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    out.push_back(static_cast<wchar_t>(c));
  }
  return out;
}

void biff_put_unicode(biff_body& body, const std::wstring& text, bool wide_count) {
  std::u16string units = biff_utf16(text);
  bool compressed = true;
  for (char16_t u : units)
    if (u > 0xFF) compressed = false;
  if (wide_count)
    body.u16(static_cast<unsigned>(units.size()));
  else
    body.u8(static_cast<unsigned>(units.size()));
  body.u8(compressed ? 0 : 1);
  for (char16_t u : units) {
    if (compressed)
      body.u8(u);
    else
      body.u16(u);
  }
}

std::wstring biff_get_unicode(biff_reader& reader, bool wide_count) {
  std::size_t count = wide_count ? reader.u16() : reader.u8();
  unsigned flags = reader.u8();
  std::size_t runs = flags & 0x08 ? reader.u16() : 0;
  std::size_t extra = flags & 0x04 ? reader.u32() : 0;
  std::u16string units;
  units.reserve(count);
  if (flags & 0x01) {
    const std::uint8_t* p = reader.take(count * 2);
    for (std::size_t i = 0; i < count; ++i) units.push_back(static_cast<char16_t>(p[2 * i] | p[2 * i + 1] << 8));
  } else {
    const std::uint8_t* p = reader.take(count);
    for (std::size_t i = 0; i < count; ++i) units.push_back(p[i]);
  }
  reader.take(runs * 4);
  reader.take(extra);
  return biff_from_utf16(units);
}

void biff_put_narrow(biff_body& body, const std::wstring& text, bool wide_count, unsigned codepage) {
  std::string bytes = biff_narrow(text, codepage);
  if (wide_count)
    body.u16(static_cast<unsigned>(bytes.size()));
  else
    body.u8(static_cast<unsigned>(bytes.size()));
  body.bytes(bytes);
}

std::wstring biff_get_narrow(biff_reader& reader, bool wide_count, unsigned codepage) {
  std::size_t count = wide_count ? reader.u16() : reader.u8();
  return biff_from_narrow(reader.take(count), count, codepage);
}
