#include "TK/tk_log.h"
#include "xlsx/namespaces.h"
#include "xlsx/package_parts.h"

#include <algorithm>
#include <cwchar>

namespace XlsxModel {

using namespace xml;

namespace {

template <class Body>
bool write_part(CWorkbook& workbook, const std::wstring& name, Body body) {
  std::unique_ptr<part_output> out = workbook.open_part(name);
  if (!out) return false;
  {
    XmlWriter w(*out);
    body(w);
  }
  return workbook.close_part(*out);
}

void relationship(XmlWriter& w, std::wstring_view id, const wchar_t* type, std::wstring_view target) {
  w << el(L"Relationship") << at(L"Id") << id << at(L"Type") << type << at(L"Target") << target << end();
}

template <class Value>
void simple(XmlWriter& w, const wchar_t* name, const Value& value) {
  w << el(name) << body() << value << end();
}

void override_part(XmlWriter& w, std::wstring_view name, const wchar_t* type) {
  w << el(L"Override") << at(L"PartName") << name << at(L"ContentType") << type << end();
}

std::wstring numbered(const wchar_t* head, int n, const wchar_t* tail) {
  return head + std::to_wstring(n) + tail;
}

std::wstring rid(int n) { return L"rId" + std::to_wstring(n); }

}  // namespace

std::wstring core_time_text(const SYSTEMTIME& t) {
  wchar_t text[64];
  std::swprintf(text, sizeof text / sizeof text[0], L"%4d-%02d-%02dT%02d:%02d:%02dZ", t.wYear, t.wMonth, t.wDay,
                t.wHour, t.wMinute, t.wSecond);
  return text;
}

bool write_core_props(CWorkbook& workbook) {
  std::wstring creator = make_safe_text(user_name());
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::wstring time = core_time_text(now);
  bool ok = write_part(workbook, L"docProps/core.xml", [&](XmlWriter& w) {
    w << prolog() << el(L"cp:coreProperties") << at(L"xmlns:cp") << ns::core_props << at(L"xmlns:dc") << ns::dc
      << at(L"xmlns:dcterms") << ns::dcterms << at(L"xmlns:dcmitype") << ns::dcmitype << at(L"xmlns:xsi")
      << ns::xsi;
    simple(w, L"dc:creator", creator);
    simple(w, L"cp:lastModifiedBy", creator);
    w << el(L"dcterms:created") << at(L"xsi:type") << L"dcterms:W3CDTF" << body() << time << end();
    w << el(L"dcterms:modified") << at(L"xsi:type") << L"dcterms:W3CDTF" << body() << time << end();
  });
  return ok && write_part(workbook, L"_rels/.rels", [&](XmlWriter& w) {
    w << prolog() << el(L"Relationships") << at(L"xmlns") << ns::package_rels;
    relationship(w, L"rId3", rel::extended_props, L"docProps/app.xml");
    relationship(w, L"rId2", rel::core_props, L"docProps/core.xml");
    relationship(w, L"rId1", rel::office_document, L"xl/workbook.xml");
  });
}

bool write_app_props(CWorkbook& workbook) {
  return write_part(workbook, L"docProps/app.xml", [&](XmlWriter& w) {
    bool with_charts = !workbook.charts.empty();
    w << prolog() << el(L"Properties") << at(L"xmlns") << ns::extended_props << at(L"xmlns:vt") << ns::vt;
    simple(w, L"Application", L"Microsoft Excel");
    simple(w, L"DocSecurity", 0);
    simple(w, L"ScaleCrop", L"false");
    w << el(L"HeadingPairs") << el(L"vt:vector") << at(L"size") << (with_charts ? 4 : 2) << at(L"baseType")
      << L"variant";
    w << el(L"vt:variant");
    simple(w, L"vt:lpstr", L"Worksheets");
    w << end();
    w << el(L"vt:variant");
    simple(w, L"vt:i4", workbook.sheets.size());
    w << end();
    if (with_charts) {
      w << el(L"vt:variant");
      simple(w, L"vt:lpstr", L"Diagramms");
      w << end();
      w << el(L"vt:variant");
      simple(w, L"vt:i4", workbook.charts.size());
      w << end();
    }
    w << end(L"HeadingPairs");
    w << el(L"TitlesOfParts") << el(L"vt:vector") << at(L"size")
      << workbook.sheets.size() + workbook.charts.size() << at(L"baseType") << L"lpstr";
    for (const auto& sheet : workbook.sheets) simple(w, L"vt:lpstr", sheet->GetSafeTitle());
    for (const auto& chart : workbook.charts) simple(w, L"vt:lpstr", workbook.GetSafeTitle(*chart));
    w << end(L"TitlesOfParts");
    w << el(L"Company") << end();
    simple(w, L"LinksUpToDate", L"false");
    simple(w, L"SharedDoc", L"false");
    simple(w, L"HyperlinksChanged", L"false");
    simple(w, L"AppVersion", 14.03);
  });
}

bool write_content_types(CWorkbook& workbook) {
  workbook.settle_texts();
  bool ok = write_part(workbook, L"[Content_Types].xml", [&](XmlWriter& w) {
    w << prolog() << el(L"Types") << at(L"xmlns") << ns::content_types;
    w << el(L"Default") << at(L"Extension") << L"rels" << at(L"ContentType")
      << L"application/vnd.openxmlformats-package.relationships+xml" << end();
    w << el(L"Default") << at(L"Extension") << L"xml" << at(L"ContentType") << L"application/xml" << end();
    override_part(w, L"/xl/workbook.xml",
                  L"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml");
    override_part(w, L"/xl/theme/theme1.xml", L"application/vnd.openxmlformats-officedocument.theme+xml");
    override_part(w, L"/xl/styles.xml", L"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml");
    override_part(w, L"/docProps/core.xml", L"application/vnd.openxmlformats-package.core-properties+xml");
    override_part(w, L"/docProps/app.xml",
                  L"application/vnd.openxmlformats-officedocument.extended-properties+xml");
    if (!workbook.shared_strings.empty())
      override_part(w, L"/xl/sharedStrings.xml",
                    L"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml");
    if (!workbook.comments.empty()) {
      w << el(L"Default") << at(L"Extension") << L"vml" << at(L"ContentType")
        << L"application/vnd.openxmlformats-officedocument.vmlDrawing" << end();
      for (const auto& sheet : workbook.sheets)
        if (sheet->has_comments)
          override_part(w, numbered(L"/xl/comments", sheet->index, L".xml"),
                        L"application/vnd.openxmlformats-officedocument.spreadsheetml.comments+xml");
    }
    for (const auto& sheet : workbook.sheets)
      override_part(w, numbered(L"/xl/worksheets/sheet", sheet->index, L".xml"),
                    L"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml");
    if (workbook.has_formula())
      override_part(w, L"/xl/calcChain.xml",
                    L"application/vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml");
    for (const auto& chart : workbook.charts) {
      override_part(w, numbered(L"/xl/charts/chart", chart->index, L".xml"),
                    L"application/vnd.openxmlformats-officedocument.drawingml.chart+xml");
      override_part(w, numbered(L"/xl/drawings/drawing", chart->index, L".xml"),
                    L"application/vnd.openxmlformats-officedocument.drawing+xml");
      override_part(w, numbered(L"/xl/chartsheets/sheet", chart->index, L".xml"),
                    L"application/vnd.openxmlformats-officedocument.spreadsheetml.chartsheet+xml");
    }
  });
  if (ok && workbook.has_formula()) ok = write_calc_chain(workbook);
  return ok;
}

bool write_calc_chain(CWorkbook& workbook) {
  workbook.part_list.push_back(L"xl/calcChain.xml");
  return write_part(workbook, L"xl/calcChain.xml", [&](XmlWriter& w) {
    w << prolog() << el(L"calcChain") << at(L"xmlns") << ns::main;
    int position = 0;
    for (const auto& sheet : workbook.sheets) {
      ++position;
      bool first = true;
      for (const std::wstring& reference : sheet->formula_cells) {
        w << el(L"c");
        if (first) w << at(L"i") << position;
        first = false;
        w << at(L"r") << reference << end();
      }
    }
  });
}

bool write_comments_parts(CWorkbook& workbook) {
  if (workbook.comments.empty()) return true;
  std::vector<const Comment*> sorted;
  for (const Comment& c : workbook.comments) sorted.push_back(&c);
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const Comment* a, const Comment* b) { return a->sheet_index < b->sheet_index; });
  for (std::size_t i = 0; i < sorted.size();) {
    std::size_t j = i;
    while (j < sorted.size() && sorted[j]->sheet_index == sorted[i]->sheet_index) ++j;
    std::vector<const Comment*> run(sorted.begin() + static_cast<long>(i), sorted.begin() + static_cast<long>(j));
    if (!write_sheet_comment_parts(workbook, run)) return false;
    i = j;
  }
  return true;
}

namespace {

// Readers may trim blanks at either end of a text unless told to keep them;
// tab, line feed and carriage return are character references in a key.
bool needs_preserve(std::string_view key) {
  if (key.empty()) return false;
  if (key.front() == ' ' || key.back() == ' ') return true;
  for (std::string_view blank : {"&#9;", "&#10;", "&#13;"})
    if (key.starts_with(blank) || key.ends_with(blank)) return true;
  return false;
}

}  // namespace

bool write_shared_strings(CWorkbook& workbook) {
  workbook.settle_texts();
  const shared_string_table& table = workbook.shared_strings;
  if (table.empty()) return true;
  workbook.part_list.push_back(L"xl/sharedStrings.xml");
  std::unique_ptr<part_output> out = workbook.open_part(L"xl/sharedStrings.xml");
  if (!out) return false;
  bool read = true;
  {
    XmlWriterA w(*out);
    w << XmlTokenA{xml_prolog, {}} << XmlTokenA{xml_element, "sst"} << XmlTokenA{xml_attribute, "xmlns"}
      << "http://schemas.openxmlformats.org/spreadsheetml/2006/main" << XmlTokenA{xml_attribute, "count"}
      << table.size() << XmlTokenA{xml_attribute, "uniqueCount"} << table.size() << XmlTokenA{xml_end_of_start, {}};
    // One entry per text, the markup its tokens would give, straight to the part.
    read = table.error().empty() && table.for_each([&](std::string_view key) {
      out->write(needs_preserve(key) ? std::string_view("<si><t xml:space=\"preserve\">")
                                     : std::string_view("<si><t>"));
      out->write(key);
      out->write("</t></si>");
    });
  }
  if (!read) {
    // Texts that left memory and did not come back: the package would lose them.
    workbook.set_error(table.error());
    tk_log::write(3, L"%ls", table.error().c_str());
    out->close();
    return false;
  }
  return workbook.close_part(*out);
}

bool write_workbook_part(CWorkbook& workbook) {
  workbook.settle_texts();
  int sheet_count = static_cast<int>(workbook.sheets.size());
  bool calc = workbook.has_formula();
  // The ids of the relationships part, which the sheet list repeats.
  auto sheet_rid = [&](int i) { return rid(3 + i); };
  auto chart_rid = [&](int j) { return rid(3 + sheet_count + (calc ? 1 : 0) + j); };
  bool ok = write_part(workbook, L"xl/_rels/workbook.xml.rels", [&](XmlWriter& w) {
    w << prolog() << el(L"Relationships") << at(L"xmlns") << ns::package_rels;
    relationship(w, L"rId1", rel::styles, L"styles.xml");
    relationship(w, L"rId2", rel::theme, L"theme/theme1.xml");
    int next = 3;
    for (const auto& sheet : workbook.sheets)
      relationship(w, rid(next++), rel::worksheet, numbered(L"worksheets/sheet", sheet->index, L".xml"));
    if (calc) relationship(w, rid(next++), rel::calc_chain, L"calcChain.xml");
    for (const auto& chart : workbook.charts)
      relationship(w, rid(next++), rel::chartsheet, numbered(L"chartsheets/sheet", chart->index, L".xml"));
    if (!workbook.shared_strings.empty()) relationship(w, rid(next++), rel::shared_strings, L"sharedStrings.xml");
  });
  return ok && write_part(workbook, L"xl/workbook.xml", [&](XmlWriter& w) {
    w << prolog() << el(L"workbook") << at(L"xmlns") << ns::main << at(L"xmlns:r") << ns::doc_rels;
    w << el(L"fileVersion") << at(L"appName") << L"xl" << at(L"lastEdited") << 5 << at(L"lowestEdited") << 5
      << at(L"rupBuild") << 9302 << end();
    w << el(L"workbookPr") << at(L"codeName") << L"ThisWorkbook" << at(L"defaultThemeVersion") << 124226 << end();
    w << el(L"bookViews") << el(L"workbookView") << at(L"xWindow") << 270 << at(L"yWindow") << 630
      << at(L"windowWidth") << 24615 << at(L"windowHeight") << 11445 << end() << end();
    if (!workbook.sheets.empty() || !workbook.charts.empty()) {
      w << el(L"sheets");
      int id = 1;
      for (int i = 0; i < sheet_count; ++i)
        w << el(L"sheet") << at(L"name") << workbook.sheets[static_cast<std::size_t>(i)]->GetSafeTitle()
          << at(L"sheetId") << id++ << at(L"r:id") << sheet_rid(i) << end();
      for (std::size_t j = 0; j < workbook.charts.size(); ++j)
        w << el(L"sheet") << at(L"name") << workbook.GetSafeTitle(*workbook.charts[j]) << at(L"sheetId") << id++
          << at(L"r:id") << chart_rid(static_cast<int>(j)) << end();
      w << end(L"sheets");
    }
    w << el(L"calcPr") << at(L"calcId") << 124519 << end();
  });
}

void CWorkbook::remove_package_tree() {
  if (!folder_claimed) return;
  files.remove_tree(temp_folder);
  // The name is free again: never remove a folder of another run later.
  folder_claimed = false;
}

bool CWorkbook::Save(const std::wstring& destination) {
  tk_log::write(2, "CWorkbook::Save");
  // The sheets were closed and the tree removed by the first call.
  if (saved) {
    error = L"the workbook was saved already";
    return false;
  }
  saved = true;
  // Never into a folder that is not ours; the constructor said why.
  if (!folder_claimed) return false;
  bool ok = write_core_props(*this) && write_app_props(*this) && write_content_types(*this) &&
            write_theme(*this) && write_comments_parts(*this) && write_shared_strings(*this) &&
            write_styles(*this) && write_workbook_part(*this);
  if (!ok) {
    remove_package_tree();
    return false;
  }
  tk_log::write(1, "Step #1");
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    CWorksheet& sheet = *sheets[i];
    part_list.push_back(numbered(L"xl/worksheets/sheet", sheet.index, L".xml"));
    if (sheet.has_comments) part_list.push_back(numbered(L"xl/worksheets/_rels/sheet", sheet.index, L".xml.rels"));
    if (!sheet.Save()) {
      tk_log::write(3, "Failed to save worksheet #%d", static_cast<int>(i));
      error = sheet.GetLastError();
      remove_package_tree();
      return false;
    }
  }
  tk_log::write(1, "Step #2");
  for (const auto& chart : charts) {
    int n = chart->index;
    part_list.push_back(numbered(L"xl/charts/chart", n, L".xml"));
    part_list.push_back(numbered(L"xl/chartsheets/sheet", n, L".xml"));
    part_list.push_back(numbered(L"xl/chartsheets/_rels/sheet", n, L".xml.rels"));
    part_list.push_back(numbered(L"xl/drawings/drawing", n, L".xml"));
    part_list.push_back(numbered(L"xl/drawings/_rels/drawing", n, L".xml.rels"));
    if (!chart->Save()) {
      remove_package_tree();
      return false;
    }
  }
  tk_log::write(1, "Step #3");
  ok = pack_folder(temp_folder, destination, error, stop_requested);
  remove_package_tree();
  if (!ok) tk_log::write(3, L"%ls", error.c_str());
  return ok;
}

}  // namespace XlsxModel
