// The streaming writer of every XML part: tokens and plain values in,
// markup out. It keeps the open elements, closes a start tag lazily and
// writes an element without content as a self-closing tag. It escapes
// nothing: callers hand it safe text (make_safe_text).
//
// Two twins of one logic: XmlWriter with wide names and text (encoded as
// UTF-8 on the way out) and XmlWriterA with byte names and UTF-8 text.
#pragma once

#include "xlsx/part_output.h"

#include <deque>
#include <string>
#include <string_view>

namespace XlsxModel {

enum xml_token_kind {
  xml_prolog = 0,
  xml_element = 1,       // an empty name: the values that follow form the name
  xml_end = 2,           // an empty name closes the innermost element
  xml_attribute = 3,     // the values that follow form its value
  xml_end_of_start = 4,  // the values that follow are content
};

// The name is a view: a token lives for the expression that writes it.
template <class C>
struct basic_xml_token {
  int kind;
  std::basic_string_view<C> name;
};
using XmlToken = basic_xml_token<wchar_t>;
using XmlTokenA = basic_xml_token<char>;

// Short forms for the part writers.
namespace xml {
inline XmlToken prolog() { return {xml_prolog, {}}; }
inline XmlToken el(std::wstring_view name) { return {xml_element, name}; }
inline XmlToken end(std::wstring_view name = {}) { return {xml_end, name}; }
inline XmlToken at(std::wstring_view name) { return {xml_attribute, name}; }
inline XmlToken body() { return {xml_end_of_start, {}}; }
}  // namespace xml

template <class C>
class basic_xml_writer {
 public:
  using view = std::basic_string_view<C>;
  using string = std::basic_string<C>;

  // The writer neither flushes nor closes the stream.
  explicit basic_xml_writer(part_output& stream);
  // Closes every open element.
  ~basic_xml_writer();
  basic_xml_writer(const basic_xml_writer&) = delete;
  basic_xml_writer& operator=(const basic_xml_writer&) = delete;

  basic_xml_writer& operator<<(const basic_xml_token<C>& token);
  basic_xml_writer& operator<<(view text) {
    value(text);
    return *this;
  }
  basic_xml_writer& operator<<(const C* text) { return *this << view(text); }
  basic_xml_writer& operator<<(const string& text) { return *this << view(text); }
  basic_xml_writer& operator<<(int v) { return *this << static_cast<long long>(v); }
  basic_xml_writer& operator<<(long v) { return *this << static_cast<long long>(v); }
  basic_xml_writer& operator<<(long long v);
  basic_xml_writer& operator<<(unsigned v) { return *this << static_cast<unsigned long long>(v); }
  basic_xml_writer& operator<<(unsigned long v) { return *this << static_cast<unsigned long long>(v); }
  basic_xml_writer& operator<<(unsigned long long v);
  // Six significant digits, a point as decimal separator, whatever the
  // locale: 0.25 gives 0.25, 15 gives 15.
  basic_xml_writer& operator<<(double v);
  basic_xml_writer& operator<<(float v) { return *this << static_cast<double>(v); }

  // 0 content, 1 in a start tag after its name, 2 in an attribute value,
  // 3 streaming an element name.
  int state() const { return state_; }
  const std::deque<string>& open_elements() const { return open_; }

 private:
  void value(view text);
  void digits(const char* text, std::size_t size);
  void markup(std::string_view ascii) { out.write(ascii); }
  void name(view text);
  void complete_name();
  void close_pending(bool self_closing);
  void end_step(view name);

  std::deque<string> open_;
  int state_ = 0;
  part_output& out;
  bool prolog_written = false;
  string name_buffer;
};

using XmlWriter = basic_xml_writer<wchar_t>;
using XmlWriterA = basic_xml_writer<char>;

extern template class basic_xml_writer<wchar_t>;
extern template class basic_xml_writer<char>;

}  // namespace XlsxModel
