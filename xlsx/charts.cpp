#include "xlsx/charts.h"

#include "TK/tk_log.h"
#include "xlsx/namespaces.h"
#include "xlsx/xlsx_model.h"

namespace XlsxModel {

using namespace xml;

namespace {

// E(name, val = v): an element with one "val" attribute, closed at once.
template <class Value>
void val(XmlWriter& w, const wchar_t* name, const Value& v) {
  w << el(name) << at(L"val") << v << end();
}

const wchar_t* side_letter(int position) {
  switch (position) {
    case 1: return L"l";
    case 2: return L"r";
    case 3: return L"t";
    default: return L"b";
  }
}

std::wstring numbered(const wchar_t* head, int n, const wchar_t* tail) {
  return head + std::to_wstring(n) + tail;
}

}  // namespace

CChartsheet::CChartsheet(CWorkbook& workbook, int index, const std::wstring& title)
    : index(index), title(title), workbook(workbook) {
  x_axis.id = 1;
  x_axis.position = 4;
  y_axis.id = 2;
  y_axis.position = 1;
  y_axis.gridlines = 1;
  secondary_x_axis.id = 3;
  secondary_x_axis.position = 0;
  secondary_y_axis.id = 4;
  secondary_y_axis.position = 2;
  secondary_y_axis.crosses = 2;
}

CChartsheet::~CChartsheet() = default;

void CChartsheet::write_title(XmlWriter& w, const std::wstring& text, int size, bool rotated) {
  w << el(L"c:title") << el(L"c:tx") << el(L"c:rich") << el(L"a:bodyPr");
  if (rotated) w << at(L"rot") << -5400000 << at(L"vert") << L"horz";
  w << end();
  w << el(L"a:lstStyle") << end();
  w << el(L"a:p") << el(L"a:pPr") << el(L"a:defRPr") << at(L"lang") << L"en-US" << at(L"sz") << size * 100 << end()
    << end();
  w << el(L"a:r") << el(L"a:rPr") << at(L"lang") << L"en-US" << at(L"sz") << size * 100 << end();
  w << el(L"a:t") << body() << make_safe_text(text) << end() << end(L"a:r");
  w << el(L"a:endParaRPr") << at(L"lang") << L"en-US" << end();
  w << end(L"a:p") << end(L"c:rich") << end(L"c:tx");
  w << el(L"c:layout") << end();
  val(w, L"c:overlay", 0);
  w << end(L"c:title");
}

void CChartsheet::write_data_table(XmlWriter& w) {
  if (data_table == 0) return;
  w << el(L"c:dTable");
  val(w, L"c:showHorzBorder", 1);
  val(w, L"c:showVertBorder", 1);
  val(w, L"c:showOutline", 1);
  if (data_table == 2) val(w, L"c:showKeys", 1);
  w << end(L"c:dTable");
}

void CChartsheet::write_legend(XmlWriter& w) {
  if (legend_position <= 0 || legend_position > 8) return;
  int side = legend_position > 4 ? legend_position - 4 : legend_position;
  w << el(L"c:legend");
  val(w, L"c:legendPos", side_letter(side));
  w << el(L"c:layout") << end();
  val(w, L"c:overlay", legend_position <= 4 ? 1 : 0);
  w << end(L"c:legend");
}

std::wstring CChartsheet::range_text(const CWorksheet& sheet, int first_row, int first_column, int last_row,
                                     int last_column) const {
  // A quote inside a quoted sheet name is doubled.
  std::wstring name;
  for (wchar_t c : sheet.title) {
    if (c == L'\'') name.push_back(L'\'');
    name.push_back(c);
  }
  return L"'" + name + L"'!$" + cell_reference(first_row + 1, first_column) + L":$" +
         cell_reference(last_row + 1, last_column);
}

void CChartsheet::write_series_head(XmlWriter& w, int n) {
  w << el(L"c:ser");
  val(w, L"c:idx", n);
  val(w, L"c:order", n);
}

void CChartsheet::write_series_name(XmlWriter& w, const ChartSeries& s) {
  if (s.name.empty()) return;
  w << el(L"c:tx") << el(L"c:v") << body() << make_safe_text(s.name) << end() << end();
}

void CChartsheet::write_ranges(XmlWriter& w, const ChartSeries& s, ChartAxis& x, bool scatter) {
  if (s.category_sheet && (s.category_last_row != 0 || s.category_last_column != 0)) {
    w << el(scatter ? L"c:xVal" : L"c:cat") << el(L"c:numRef") << el(L"c:f") << body()
      << make_safe_text(range_text(*s.category_sheet, s.category_first_row, s.category_first_column,
                                   s.category_last_row, s.category_last_column))
      << end() << end() << end();
    x.source_linked = true;
  }
  if (s.value_sheet)
    w << el(scatter ? L"c:yVal" : L"c:val") << el(L"c:numRef") << el(L"c:f") << body()
      << make_safe_text(range_text(*s.value_sheet, s.value_first_row, s.value_first_column, s.value_last_row,
                                   s.value_last_column))
      << end() << end() << end();
}

namespace {

void axis_ids(XmlWriter& w, const ChartAxis& x, const ChartAxis& y) {
  val(w, L"c:axId", x.id);
  val(w, L"c:axId", y.id);
}

void series_marker(XmlWriter& w, bool diamond) {
  w << el(L"c:marker");
  val(w, L"c:symbol", diamond ? L"diamond" : L"none");
  w << end(L"c:marker");
}

}  // namespace

// The series children follow the chart schema's order (name, shape
// properties, marker, ranges, smooth); readers refuse other orders.
void CChartsheet::write_line_chart(XmlWriter& w, ChartAxis& x, const ChartAxis& y,
                                   const std::vector<ChartSeries>& list, int first) {
  w << el(L"c:lineChart");
  val(w, L"c:grouping", L"standard");
  int n = first;
  for (const ChartSeries& s : list) {
    write_series_head(w, n++);
    write_series_name(w, s);
    if (s.dashed) {
      w << el(L"c:spPr") << el(L"a:ln");
      val(w, L"a:prstDash", L"dash");
      w << end() << end();
    }
    series_marker(w, s.marker);
    write_ranges(w, s, x, false);
    val(w, L"c:smooth", s.smooth ? 1 : 0);
    w << end(L"c:ser");
  }
  val(w, L"c:marker", 1);
  val(w, L"c:smooth", 0);
  axis_ids(w, x, y);
  w << end(L"c:lineChart");
}

void CChartsheet::write_bar_chart(XmlWriter& w, ChartAxis& x, const ChartAxis& y,
                                  const std::vector<ChartSeries>& list, int first) {
  static const wchar_t* const groupings[] = {L"clustered", L"stacked", L"percentStacked"};
  w << el(L"c:barChart");
  val(w, L"c:barDir", bar_direction == 1 ? L"bar" : L"col");
  val(w, L"c:grouping", bar_grouping >= 0 && bar_grouping <= 2 ? groupings[bar_grouping] : L"clustered");
  int n = first;
  for (const ChartSeries& s : list) {
    write_series_head(w, n++);
    write_series_name(w, s);
    write_ranges(w, s, x, false);
    w << end(L"c:ser");
  }
  axis_ids(w, x, y);
  w << end(L"c:barChart");
}

void CChartsheet::write_scatter_chart(XmlWriter& w, ChartAxis& x, const ChartAxis& y,
                                      const std::vector<ChartSeries>& list, int first) {
  w << el(L"c:scatterChart");
  val(w, L"c:scatterStyle", scatter_style == 1 ? L"lineMarker" : L"smoothMarker");
  int n = first;
  for (const ChartSeries& s : list) {
    write_series_head(w, n++);
    write_series_name(w, s);
    if (scatter_style != 1)
      w << el(L"c:spPr") << el(L"a:ln") << at(L"w") << 28575 << el(L"a:noFill") << end() << end() << end();
    series_marker(w, s.marker || scatter_style == 1);
    write_ranges(w, s, x, true);
    val(w, L"c:smooth", s.smooth ? 1 : 0);
    w << end(L"c:ser");
  }
  axis_ids(w, x, y);
  w << end(L"c:scatterChart");
}

namespace {

void axis_body(CChartsheet& chart, XmlWriter& w, const ChartAxis& axis, int crossing_id, bool category) {
  val(w, L"c:axId", axis.id);
  w << el(L"c:scaling");
  val(w, L"c:orientation", L"minMax");
  if (!axis.maximum.empty()) val(w, L"c:max", make_safe_text(axis.maximum));
  if (!axis.minimum.empty()) val(w, L"c:min", make_safe_text(axis.minimum));
  w << end(L"c:scaling");
  val(w, L"c:delete", axis.position != 0 ? 0 : 1);
  val(w, L"c:axPos", side_letter(axis.position));
  if (axis.gridlines == 1 || axis.gridlines == 3) w << el(L"c:majorGridlines") << end();
  if (axis.gridlines == 2 || axis.gridlines == 3) w << el(L"c:minorGridlines") << end();
  if (!axis.axis_title.empty()) chart.write_title(w, axis.axis_title, axis.axis_title_size, !category);
  if (axis.source_linked)
    w << el(L"c:numFmt") << at(L"formatCode") << L"General" << at(L"sourceLinked") << 1 << end();
  val(w, L"c:tickLblPos", L"nextTo");
  if (axis.label_rotation != chart_not_set) {
    w << el(L"c:txPr") << el(L"a:bodyPr") << at(L"rot") << static_cast<long long>(axis.label_rotation) * 60000
      << end();
    w << el(L"a:lstStyle") << end();
    w << el(L"a:p") << el(L"a:pPr") << el(L"a:defRPr") << end() << end(L"a:pPr");
    w << el(L"a:endParaRPr") << at(L"lang") << L"en-US" << end() << end(L"a:p") << end(L"c:txPr");
  }
  if (crossing_id != 0) {
    val(w, L"c:crossAx", crossing_id);
    static const wchar_t* const crosses[] = {L"autoZero", L"min", L"max"};
    if (axis.crosses >= 0 && axis.crosses <= 2) val(w, L"c:crosses", crosses[axis.crosses]);
  }
  if (category) {
    val(w, L"c:auto", 1);
    val(w, L"c:lblAlgn", L"ctr");
    val(w, L"c:lblOffset", 100);
    if (axis.label_skip != chart_not_set) val(w, L"c:tickLblSkip", axis.label_skip);
    if (axis.mark_skip != chart_not_set) val(w, L"c:tickMarkSkip", axis.mark_skip);
  } else {
    val(w, L"c:crossBetween", L"between");
  }
}

}  // namespace

void CChartsheet::write_category_axis(XmlWriter& w, const ChartAxis& axis, int crossing_id) {
  w << el(L"c:catAx");
  axis_body(*this, w, axis, crossing_id, true);
  w << end(L"c:catAx");
}

void CChartsheet::write_value_axis(XmlWriter& w, const ChartAxis& axis, int crossing_id) {
  w << el(L"c:valAx");
  axis_body(*this, w, axis, crossing_id, false);
  w << end(L"c:valAx");
}

bool CChartsheet::write_chart_part() {
  std::unique_ptr<part_output> out = workbook.open_part(numbered(L"xl/charts/chart", index, L".xml"));
  if (!out) return false;
  bool ok = true;
  {
    XmlWriter w(*out);
    w << prolog() << el(L"c:chartSpace") << at(L"xmlns:c") << ns::drawing_chart << at(L"xmlns:a")
      << ns::drawing_main << at(L"xmlns:r") << ns::package_rels;
    val(w, L"c:lang", L"en-US");
    val(w, L"c:roundedCorners", 1);
    w << el(L"c:chart");
    if (!chart_title.empty()) write_title(w, chart_title, chart_title_size, false);
    w << el(L"c:plotArea") << el(L"c:layout") << end();
    auto group = [&](int k, ChartAxis& x, const ChartAxis& y, const std::vector<ChartSeries>& list, int first) {
      switch (k) {
        case chart_line: write_line_chart(w, x, y, list, first); return true;
        case chart_bar: write_bar_chart(w, x, y, list, first); return true;
        case chart_scatter:
          x.source_linked = true;
          write_scatter_chart(w, x, y, list, first);
          return true;
        default: return false;
      }
    };
    auto axes = [&](int k, const ChartAxis& x, const ChartAxis& y) {
      if (k == chart_scatter)
        write_value_axis(w, x, y.id);
      else
        write_category_axis(w, x, y.id);
      write_value_axis(w, y, x.id);
    };
    // A secondary group is written only with series of its own: its axis
    // ids would otherwise name axes that are not there.
    bool secondary = !secondary_series.empty();
    if (!group(kind, x_axis, y_axis, series, 0)) {
      ok = false;
    } else if (secondary && !group(secondary_kind, secondary_x_axis, secondary_y_axis, secondary_series,
                                   static_cast<int>(series.size()))) {
      ok = false;
    } else {
      axes(kind, x_axis, y_axis);
      if (secondary) axes(secondary_kind, secondary_x_axis, secondary_y_axis);
      write_data_table(w);
      w << end(L"c:plotArea");
      write_legend(w);
      val(w, L"c:plotVisOnly", 1);
      w << end(L"c:chart");
    }
  }
  if (!ok) {
    workbook.set_error(L"the chart sheet \"" + title + L"\" has an unknown chart kind");
    out->close();
    return false;
  }
  return workbook.close_part(*out);
}

bool CChartsheet::write_rels(const std::wstring& name, const wchar_t* type, const std::wstring& target) {
  std::unique_ptr<part_output> out = workbook.open_part(name);
  if (!out) return false;
  {
    XmlWriter w(*out);
    w << prolog() << el(L"Relationships") << at(L"xmlns") << ns::package_rels;
    w << el(L"Relationship") << at(L"Id") << L"rId1" << at(L"Type") << type << at(L"Target") << target << end();
  }
  return workbook.close_part(*out);
}

bool CChartsheet::write_sheet_part() {
  std::unique_ptr<part_output> out = workbook.open_part(numbered(L"xl/chartsheets/sheet", index, L".xml"));
  if (!out) return false;
  {
    XmlWriter w(*out);
    w << prolog() << el(L"chartsheet") << at(L"xmlns") << ns::main << at(L"xmlns:r") << ns::doc_rels;
    w << el(L"sheetPr") << end();
    w << el(L"sheetViews") << el(L"sheetView") << at(L"zoomScale") << 85 << at(L"workbookViewId") << 0
      << at(L"zoomToFit") << 1 << end() << end();
    w << el(L"pageMargins") << at(L"left") << 0.7 << at(L"right") << 0.7 << at(L"top") << 0.75 << at(L"bottom")
      << 0.75 << at(L"header") << 0.3 << at(L"footer") << 0.3 << end();
    w << el(L"drawing") << at(L"r:id") << L"rId1" << end();
  }
  return workbook.close_part(*out);
}

bool CChartsheet::write_drawing_part() {
  std::unique_ptr<part_output> out = workbook.open_part(numbered(L"xl/drawings/drawing", index, L".xml"));
  if (!out) return false;
  {
    XmlWriter w(*out);
    w << prolog() << el(L"xdr:wsDr") << at(L"xmlns:xdr") << ns::sheet_drawing << at(L"xmlns:a") << ns::drawing_main;
    w << el(L"xdr:absoluteAnchor");
    w << el(L"xdr:pos") << at(L"x") << 0 << at(L"y") << 0 << end();
    w << el(L"xdr:ext") << at(L"cx") << 9312088 << at(L"cy") << 6084794 << end();
    w << el(L"xdr:graphicFrame") << at(L"macro") << L"";
    w << el(L"xdr:nvGraphicFramePr");
    w << el(L"xdr:cNvPr") << at(L"id") << 2 << at(L"name") << workbook.GetSafeTitle(*this) << end();
    w << el(L"xdr:cNvGraphicFramePr") << el(L"a:graphicFrameLocks") << at(L"noGrp") << 1 << end() << end();
    w << end(L"xdr:nvGraphicFramePr");
    // The frame fills the anchor.
    w << el(L"xdr:xfrm") << el(L"a:off") << at(L"x") << 0 << at(L"y") << 0 << end() << el(L"a:ext") << at(L"cx")
      << 9312088 << at(L"cy") << 6084794 << end() << end();
    w << el(L"a:graphic") << el(L"a:graphicData") << at(L"uri") << ns::drawing_chart;
    w << el(L"c:chart") << at(L"xmlns:c") << ns::drawing_chart << at(L"xmlns:r") << ns::doc_rels << at(L"r:id")
      << L"rId1" << end();
    w << end(L"xdr:graphicFrame");
    w << el(L"xdr:clientData") << end();
    w << end(L"xdr:absoluteAnchor") << end(L"xdr:wsDr");
  }
  return workbook.close_part(*out);
}

bool CChartsheet::Save() {
  tk_log::write(2, "CChartsheet::Save");
  if (series.empty()) {
    workbook.set_error(L"the chart sheet \"" + title + L"\" has no series");
    return false;
  }
  if (kind < 0 || kind > 2) {
    workbook.set_error(L"the chart sheet \"" + title + L"\" has an unknown chart kind");
    return false;
  }
  std::wstring n = std::to_wstring(index);
  return write_chart_part() &&
         write_rels(L"xl/chartsheets/_rels/sheet" + n + L".xml.rels", rel::drawing,
                    L"../drawings/drawing" + n + L".xml") &&
         write_sheet_part() &&
         write_rels(L"xl/drawings/_rels/drawing" + n + L".xml.rels", rel::chart, L"../charts/chart" + n + L".xml") &&
         write_drawing_part();
}

}  // namespace XlsxModel
