#include "xlsx/xml_writer.h"

#include <charconv>

namespace XlsxModel {

namespace {

void put_text(part_output& out, std::wstring_view text) { out.write_wide(text); }
void put_text(part_output& out, std::string_view text) { out.write(text); }

}  // namespace

template <class C>
basic_xml_writer<C>::basic_xml_writer(part_output& stream) : out(stream) {}

template <class C>
basic_xml_writer<C>::~basic_xml_writer() {
  if (state_ == 3) {
    // The element being named closes itself and is never pushed.
    markup("/>");
    state_ = 0;
  }
  while (!open_.empty()) end_step(open_.back());
}

template <class C>
void basic_xml_writer<C>::name(view text) {
  put_text(out, text);
}

template <class C>
void basic_xml_writer<C>::value(view text) {
  put_text(out, text);
  if (state_ == 3) name_buffer.append(text);
}

template <class C>
void basic_xml_writer<C>::digits(const char* text, std::size_t size) {
  out.write(text, size);
  if (state_ == 3)
    for (std::size_t i = 0; i < size; ++i) name_buffer.push_back(static_cast<C>(text[i]));
}

template <class C>
basic_xml_writer<C>& basic_xml_writer<C>::operator<<(long long v) {
  char text[24];
  auto r = std::to_chars(text, text + sizeof text, v);
  digits(text, static_cast<std::size_t>(r.ptr - text));
  return *this;
}

template <class C>
basic_xml_writer<C>& basic_xml_writer<C>::operator<<(unsigned long long v) {
  char text[24];
  auto r = std::to_chars(text, text + sizeof text, v);
  digits(text, static_cast<std::size_t>(r.ptr - text));
  return *this;
}

template <class C>
basic_xml_writer<C>& basic_xml_writer<C>::operator<<(double v) {
  char text[40];
  auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::general, 6);
  digits(text, static_cast<std::size_t>(r.ptr - text));
  return *this;
}

template <class C>
void basic_xml_writer<C>::complete_name() {
  open_.push_back(name_buffer);
  name_buffer.clear();
}

template <class C>
void basic_xml_writer<C>::close_pending(bool self_closing) {
  if (state_ == 3) complete_name();
  switch (state_) {
    case 1:
    case 3:
      markup(self_closing ? "/>" : ">");
      break;
    case 2:
      markup(self_closing ? "\"/>" : "\">");
      break;
    default:
      break;
  }
}

template <class C>
void basic_xml_writer<C>::end_step(view name) {
  while (!open_.empty()) {
    if (state_ != 0) {
      if (state_ == 3) complete_name();
      markup(state_ == 2 ? "\"/>" : "/>");
      state_ = 0;
    } else {
      markup("</");
      this->name(open_.back());
      markup(">");
    }
    bool last = name.empty() || open_.back() == name;
    open_.pop_back();
    if (last) break;
  }
}

template <class C>
basic_xml_writer<C>& basic_xml_writer<C>::operator<<(const basic_xml_token<C>& token) {
  switch (token.kind) {
    case xml_prolog:
      if (!prolog_written && state_ == 0) {
        markup("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n");
        prolog_written = true;
      }
      break;
    case xml_element:
      close_pending(false);
      markup("<");
      if (!token.name.empty()) {
        name(token.name);
        open_.emplace_back(token.name);
        state_ = 1;
      } else {
        name_buffer.clear();
        state_ = 3;
      }
      break;
    case xml_end:
      end_step(token.name);
      break;
    case xml_attribute:
      if (state_ == 2) markup("\"");
      if (state_ == 3) complete_name();
      if (state_ == 0) break;  // outside a start tag
      markup(" ");
      name(token.name);
      markup("=\"");
      state_ = 2;
      break;
    case xml_end_of_start:
      close_pending(false);
      state_ = 0;
      break;
    default:
      break;
  }
  return *this;
}

template class basic_xml_writer<wchar_t>;
template class basic_xml_writer<char>;

}  // namespace XlsxModel
