// Chart sheets: a chart part, its sheet part and the drawing that frames it.
#pragma once

#include "xlsx/xml_writer.h"

#include <string>
#include <vector>

namespace XlsxModel {

class CWorkbook;
class CWorksheet;

struct ChartSeries {
  const CWorksheet* category_sheet = nullptr;  // x values of a scatter chart
  int category_first_row = 0, category_first_column = 0;
  int category_last_row = 0, category_last_column = 0;
  const CWorksheet* value_sheet = nullptr;  // y values of a scatter chart
  int value_first_row = 0, value_first_column = 0;
  int value_last_row = 0, value_last_column = 0;
  std::wstring name;
  bool marker = false;
  bool smooth = false;
  bool dashed = false;
};

constexpr unsigned chart_not_set = 0xFFFFFFFFu;

struct ChartAxis {
  int id = 0;
  std::wstring axis_title;
  int axis_title_size = 10;
  int position = 4;   // 0 hidden, 1 left, 2 right, 3 top, 4 bottom
  int gridlines = 0;  // 0 none, 1 major, 2 minor, 3 both
  int crosses = 0;    // 0 at zero, 1 at the minimum, 2 at the maximum
  bool source_linked = false;
  std::wstring minimum, maximum;
  unsigned label_skip = chart_not_set;
  unsigned mark_skip = chart_not_set;
  unsigned label_rotation = chart_not_set;
};

enum chart_kind { chart_line = 0, chart_bar = 1, chart_scatter = 2 };

class CChartsheet {
 public:
  CChartsheet(CWorkbook& workbook, int index, const std::wstring& title);
  virtual ~CChartsheet();

  void AddSeries(const ChartSeries& s) { series.push_back(s); }
  void AddSecondarySeries(const ChartSeries& s) { secondary_series.push_back(s); }
  // Writes the chart part, the sheet's relationships, the sheet part, the
  // drawing's relationships and the drawing part. False without series,
  // with an unknown chart kind, or when a part cannot be written.
  bool Save();

  int index;
  std::wstring title;
  std::vector<ChartSeries> series;
  std::vector<ChartSeries> secondary_series;
  std::wstring chart_title;
  int chart_title_size = 18;
  // 0 none; 1 left, 2 right, 3 top, 4 bottom over the plot area; 5 to 8 beside it
  int legend_position = 2;
  int data_table = 0;  // 0 none, 1 a data table, 2 with legend keys
  int kind = chart_line;
  int secondary_kind = chart_line;
  int bar_direction = 0;  // 0 columns, 1 bars
  int bar_grouping = 0;   // 0 clustered, 1 stacked, 2 percent-stacked
  int scatter_style = 0;  // 0 smooth lines with markers, 1 straight lines with markers
  ChartAxis x_axis, y_axis, secondary_x_axis, secondary_y_axis;

  // The markup writers, into the chart part.
  void write_title(XmlWriter& w, const std::wstring& text, int size, bool rotated);
  void write_data_table(XmlWriter& w);
  void write_legend(XmlWriter& w);
  void write_category_axis(XmlWriter& w, const ChartAxis& axis, int crossing_id);
  void write_value_axis(XmlWriter& w, const ChartAxis& axis, int crossing_id);
  void write_line_chart(XmlWriter& w, ChartAxis& x, const ChartAxis& y,
                        const std::vector<ChartSeries>& list, int first);
  void write_bar_chart(XmlWriter& w, ChartAxis& x, const ChartAxis& y,
                       const std::vector<ChartSeries>& list, int first);
  void write_scatter_chart(XmlWriter& w, ChartAxis& x, const ChartAxis& y,
                           const std::vector<ChartSeries>& list, int first);

 private:
  void write_series_head(XmlWriter& w, int n);
  void write_series_name(XmlWriter& w, const ChartSeries& s);
  void write_ranges(XmlWriter& w, const ChartSeries& s, ChartAxis& x, bool scatter);
  std::wstring range_text(const CWorksheet& sheet, int first_row, int first_column, int last_row,
                          int last_column) const;
  bool write_chart_part();
  bool write_rels(const std::wstring& name, const wchar_t* type, const std::wstring& target);
  bool write_sheet_part();
  bool write_drawing_part();

  CWorkbook& workbook;
};

}  // namespace XlsxModel
