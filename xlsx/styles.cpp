#include "xlsx/styles.h"

#include "platform/utf8.h"
#include "xlsx/namespaces.h"
#include "xlsx/xlsx_model.h"

#include <langinfo.h>
#include <locale.h>

namespace XlsxModel {

using namespace xml;

namespace {

bool same_side(const BorderSide& a, const BorderSide& b) { return a.style == b.style && a.colour == b.colour; }

bool same_border(const BorderRecord& a, const BorderRecord& b) {
  // The diagonal side takes no part.
  for (int i = 0; i < 4; ++i)
    if (!same_side(a.sides[i], b.sides[i])) return false;
  return a.diagonal_up == b.diagonal_up && a.diagonal_down == b.diagonal_down;
}

bool same_font(const FontRecord& a, const FontRecord& b) {
  return a.size == b.size && a.name == b.name && a.theme_colour == b.theme_colour && a.colour == b.colour &&
         a.attributes == b.attributes;
}

bool same_fill(const FillRecord& a, const FillRecord& b) {
  return a.pattern == b.pattern && a.fg_colour == b.fg_colour && a.bg_colour == b.bg_colour;
}

bool same_numfmt(const NumFormatRecord& a, const NumFormatRecord& b) {
  return a.code == b.code && a.kind == b.kind && a.decimals == b.decimals && a.positive_colour == b.positive_colour &&
         a.negative_colour == b.negative_colour && a.zero_colour == b.zero_colour && a.thousands == b.thousands;
}

bool same_alignment(const Alignment& a, const Alignment& b) {
  return a.horizontal == b.horizontal && a.vertical == b.vertical && a.wrap == b.wrap;
}

template <class T, class Same>
std::size_t find_or_add(std::vector<T>& list, const T& record, Same same) {
  for (std::size_t i = 0; i < list.size(); ++i)
    if (same(list[i], record)) return i;
  list.push_back(record);
  return list.size() - 1;
}

const wchar_t* colour_prefix(int code) {
  static const wchar_t* const names[] = {L"",         L"[BLACK]",  L"[Green]", L"[White]", L"[Blue]",
                                         L"[Magenta]", L"[Yellow]", L"[Cyan]",  L"[Red]"};
  return code >= 0 && code <= 8 ? names[code] : L"";
}

// The user's currency symbol, from the monetary part of the environment's locale.
std::wstring currency_symbol() {
  std::wstring symbol;
  locale_t user = newlocale(LC_MONETARY_MASK, "", nullptr);
  if (user == nullptr) return symbol;
  const char* text = nl_langinfo_l(CRNCYSTR, user);
  // The first character tells where the symbol goes; the rest is the symbol.
  if (text && *text) symbol = qm_platform::text_from_system(text + 1);
  freelocale(user);
  return symbol;
}

const wchar_t* pattern_name(int pattern) {
  static const wchar_t* const names[] = {
      L"none",         L"solid",       L"mediumGray",      L"darkGray",      L"lightGray",
      L"darkHorizontal", L"darkVertical", L"darkDown",       L"darkUp",        L"darkGrid",
      L"darkTrellis",  L"lightHorizontal", L"lightVertical", L"lightDown",     L"lightUp",
      L"lightGrid",    L"lightTrellis", L"gray125",         L"gray0625"};
  return pattern >= 0 && pattern <= 18 ? names[pattern] : L"";
}

const wchar_t* border_style_name(int style) {
  static const wchar_t* const names[] = {nullptr,       L"thin",          L"medium",         L"dashed",
                                         L"dotted",     L"thick",         L"double",         L"hair",
                                         L"mediumDashed", L"dashDot",     L"mediumDashDot",  L"dashDotDot",
                                         L"mediumDashDotDot", L"slantDashDot"};
  return style >= 1 && style <= 13 ? names[style] : nullptr;
}

}  // namespace

StyleList::StyleList() = default;

int StyleList::Add(Style& style) {
  CellFormat format;
  format.border = find_or_add(borders_, style.border, same_border);
  format.font = find_or_add(fonts_, style.font, same_font);
  format.fill = find_or_add(fills_, style.fill, same_fill);

  NumFormatRecord& numfmt = style.number_format;
  bool found = false;
  for (const NumFormatRecord& r : numfmts_)
    if (same_numfmt(r, numfmt)) {
      format.numfmt_id = r.id;
      found = true;
      break;
    }
  if (!found) {
    if (numfmt.id >= 164) numfmt.id = next_numfmt_id++;
    format.numfmt_id = numfmt.id;
    numfmts_.push_back(numfmt);
  }
  format.alignment = style.alignment;

  for (std::size_t i = 0; i < cell_formats_.size(); ++i) {
    const CellFormat& f = cell_formats_[i];
    if (f.border == format.border && f.font == format.font && f.fill == format.fill &&
        f.numfmt_id == format.numfmt_id && same_alignment(f.alignment, format.alignment))
      return static_cast<int>(i);
  }
  cell_formats_.push_back(format);
  return static_cast<int>(cell_formats_.size()) - 1;
}

std::wstring build_number_format(const NumFormatRecord& r) {
  // A caller's code is text like any other: its quotes and "<" would end
  // the attribute or the tag.
  if (!r.code.empty()) return make_safe_text(r.code);
  std::wstring g = r.thousands ? L"#,##" : L"";
  std::wstring d = L"0";
  if (r.decimals > 0) d += L"." + std::wstring(static_cast<std::size_t>(r.decimals), L'0');
  auto money = [] { return L"&quot;" + make_safe_text(currency_symbol()) + L"&quot;"; };
  switch (r.kind) {
    case numfmt_date: return L"yyyy.mm.dd";
    case numfmt_time: return L"hh:mm:ss";
    case numfmt_date_time: return L"yyyy.mm.dd hh:mm:ss";
    case numfmt_accounting: {
      std::wstring m = money();
      return colour_prefix(r.positive_colour) + (L"_-* " + g + d + m + L"_-;") + colour_prefix(r.negative_colour) +
             L"\\-* " + g + d + m + L"_-;" + L"_-* &quot;-&quot;??" + m + L"_-;_-@_-";
    }
    default: break;
  }
  std::wstring suffix;
  if (r.kind == numfmt_percent) suffix = L"%";
  if (r.kind == numfmt_scientific) suffix = L"E+00";
  if (r.kind == numfmt_currency) suffix = money();
  std::wstring code = colour_prefix(r.positive_colour) + g + d + suffix;
  bool negative = r.negative_colour != 0 || r.positive_colour != 0;
  if (negative) code += L";" + std::wstring(colour_prefix(r.negative_colour)) + L"\\-" + g + d + suffix;
  if (r.zero_colour != 0 || r.positive_colour != 0) {
    if (!negative) code += L";";
    code += L";" + std::wstring(colour_prefix(r.zero_colour)) + L"0" + suffix;
  }
  return code;
}

bool write_styles(CWorkbook& workbook) {
  const StyleList& list = workbook.styles;
  std::unique_ptr<part_output> out = workbook.open_part(L"xl/styles.xml");
  if (!out) return false;
  {
    XmlWriter w(*out);
    w << prolog() << el(L"styleSheet") << at(L"xmlns") << ns::main << at(L"xmlns:mc") << ns::markup_compat
      << at(L"mc:Ignorable") << L"x14ac" << at(L"xmlns:x14ac") << ns::x14ac;

    std::vector<NumFormatRecord> own;
    for (const NumFormatRecord& r : list.numfmts())
      if (r.id >= 164) own.push_back(r);
    if (!own.empty()) {
      w << el(L"numFmts") << at(L"count") << own.size();
      for (const NumFormatRecord& r : own)
        w << el(L"numFmt") << at(L"numFmtId") << r.id << at(L"formatCode") << build_number_format(r) << end();
      w << end(L"numFmts");
    }

    std::vector<FontRecord> fonts = list.fonts();
    w << el(L"fonts") << at(L"count") << fonts.size();
    static const wchar_t* const attribute_names[] = {L"b",      L"i",      L"u",        L"strike",
                                                     L"outline", L"shadow", L"condense", L"extend"};
    for (const FontRecord& f : fonts) {
      w << el(L"font");
      for (int bit = 0; bit < 8; ++bit)
        if (f.attributes & (1u << bit)) w << el(attribute_names[bit]) << end();
      w << el(L"sz") << at(L"val") << f.size << end();
      w << el(L"name") << at(L"val") << make_safe_text(f.name) << end();
      w << el(L"charset") << at(L"val") << 204 << end();
      if (!f.theme_colour && !f.colour.empty())
        w << el(L"color") << at(L"rgb") << make_safe_text(f.colour) << end();
      else
        w << el(L"color") << at(L"theme") << 1 << end();
      w << end(L"font");
    }
    w << end(L"fonts");

    std::vector<FillRecord> fills = list.fills();
    w << el(L"fills") << at(L"count") << fills.size();
    for (const FillRecord& f : fills) {
      w << el(L"fill") << el(L"patternFill") << at(L"patternType") << pattern_name(f.pattern);
      if (!f.fg_colour.empty()) w << el(L"fgColor") << at(L"rgb") << make_safe_text(f.fg_colour) << end();
      if (!f.bg_colour.empty()) w << el(L"bgColor") << at(L"rgb") << make_safe_text(f.bg_colour) << end();
      w << end() << end();
    }
    w << end(L"fills");

    std::vector<BorderRecord> borders = list.borders();
    w << el(L"borders") << at(L"count") << borders.size();
    // Kept as left, right, bottom, top, diagonal; written top before bottom.
    static const int side_order[] = {0, 1, 3, 2, 4};
    static const wchar_t* const side_names[] = {L"left", L"right", L"bottom", L"top", L"diagonal"};
    for (const BorderRecord& b : borders) {
      w << el(L"border");
      if (b.diagonal_up) w << at(L"diagonalUp") << 1;
      if (b.diagonal_down) w << at(L"diagonalDown") << 1;
      for (int side : side_order) {
        const BorderSide& s = b.sides[side];
        w << el(side_names[side]);
        if (const wchar_t* name = border_style_name(s.style)) {
          w << at(L"style") << name << el(L"color");
          if (!s.colour.empty())
            w << at(L"rgb") << make_safe_text(s.colour);
          else
            w << at(L"indexed") << 64;
          w << end();
        }
        w << end();
      }
      w << end(L"border");
    }
    w << end(L"borders");

    w << el(L"cellStyleXfs") << at(L"count") << 1 << el(L"xf") << at(L"numFmtId") << 0 << at(L"fontId") << 0
      << at(L"fillId") << 0 << at(L"borderId") << 0 << end() << end();

    w << el(L"cellXfs");
    static const wchar_t* const horizontal[] = {nullptr, L"left", L"center", L"right"};
    static const wchar_t* const vertical[] = {nullptr, L"top", L"center", L"bottom"};
    for (const CellFormat& f : list.cell_formats()) {
      w << el(L"xf") << at(L"numFmtId") << f.numfmt_id << at(L"fontId") << f.font << at(L"fillId") << f.fill
        << at(L"borderId") << f.border;
      if (f.font != 0) w << at(L"applyFont") << 1;
      if (f.fill != 0) w << at(L"applyFill") << 1;
      if (f.border != 0) w << at(L"applyBorder") << 1;
      if (f.numfmt_id != 0) w << at(L"applyNumberFormat") << 1;
      const Alignment& a = f.alignment;
      if (a.horizontal != 0 || a.vertical != 0 || a.wrap) {
        w << el(L"alignment");
        if (a.horizontal >= 1 && a.horizontal <= 3) w << at(L"horizontal") << horizontal[a.horizontal];
        if (a.vertical >= 1 && a.vertical <= 3) w << at(L"vertical") << vertical[a.vertical];
        if (a.wrap) w << at(L"wrapText") << 1;
        w << end();
      }
      w << end(L"xf");
    }
    w << end(L"cellXfs");

    w << el(L"cellStyles") << at(L"count") << 1 << el(L"cellStyle") << at(L"name") << L"Normal" << at(L"xfId") << 0
      << at(L"builtinId") << 0 << end() << end();
    w << el(L"dxfs") << at(L"count") << 0 << end();
    w << el(L"tableStyles") << at(L"count") << 0 << at(L"defaultTableStyle") << L"TableStyleMedium2"
      << at(L"defaultPivotStyle") << L"PivotStyleLight16" << end();
    w << el(L"extLst") << el(L"ext") << at(L"uri") << L"{EB79DEF2-80B8-43e5-95BD-54CBDDF9020C}" << at(L"xmlns:x14")
      << ns::x14 << el(L"x14:slicerStyles") << at(L"defaultSlicerStyle") << L"SlicerStyleLight1" << end() << end()
      << end();
  }
  return workbook.close_part(*out);
}

}  // namespace XlsxModel
