// The published namespace, relationship-type and content-type identifiers
// of the package's parts.
#pragma once

namespace XlsxModel::ns {

inline constexpr const wchar_t* main = L"http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline constexpr const wchar_t* doc_rels =
    L"http://schemas.openxmlformats.org/officeDocument/2006/relationships";
inline constexpr const wchar_t* package_rels = L"http://schemas.openxmlformats.org/package/2006/relationships";
inline constexpr const wchar_t* markup_compat = L"http://schemas.openxmlformats.org/markup-compatibility/2006";
inline constexpr const wchar_t* x14ac = L"http://schemas.microsoft.com/office/spreadsheetml/2009/9/ac";
inline constexpr const wchar_t* x14 = L"http://schemas.microsoft.com/office/spreadsheetml/2009/9/main";
inline constexpr const wchar_t* drawing_main = L"http://schemas.openxmlformats.org/drawingml/2006/main";
inline constexpr const wchar_t* drawing_chart = L"http://schemas.openxmlformats.org/drawingml/2006/chart";
inline constexpr const wchar_t* sheet_drawing =
    L"http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing";
inline constexpr const wchar_t* content_types = L"http://schemas.openxmlformats.org/package/2006/content-types";
inline constexpr const wchar_t* core_props =
    L"http://schemas.openxmlformats.org/package/2006/metadata/core-properties";
inline constexpr const wchar_t* dc = L"http://purl.org/dc/elements/1.1/";
inline constexpr const wchar_t* dcterms = L"http://purl.org/dc/terms/";
inline constexpr const wchar_t* dcmitype = L"http://purl.org/dc/dcmitype/";
inline constexpr const wchar_t* xsi = L"http://www.w3.org/2001/XMLSchema-instance";
inline constexpr const wchar_t* extended_props =
    L"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties";
inline constexpr const wchar_t* vt = L"http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes";
inline constexpr const wchar_t* vml = L"urn:schemas-microsoft-com:vml";
inline constexpr const wchar_t* vml_office = L"urn:schemas-microsoft-com:office:office";
inline constexpr const wchar_t* vml_excel = L"urn:schemas-microsoft-com:office:excel";

}  // namespace XlsxModel::ns

namespace XlsxModel::rel {

#define QM_REL_TYPE(name) L"http://schemas.openxmlformats.org/officeDocument/2006/relationships/" name
inline constexpr const wchar_t* office_document = QM_REL_TYPE("officeDocument");
inline constexpr const wchar_t* extended_props = QM_REL_TYPE("extended-properties");
inline constexpr const wchar_t* styles = QM_REL_TYPE("styles");
inline constexpr const wchar_t* theme = QM_REL_TYPE("theme");
inline constexpr const wchar_t* worksheet = QM_REL_TYPE("worksheet");
inline constexpr const wchar_t* calc_chain = QM_REL_TYPE("calcChain");
inline constexpr const wchar_t* chartsheet = QM_REL_TYPE("chartsheet");
inline constexpr const wchar_t* shared_strings = QM_REL_TYPE("sharedStrings");
inline constexpr const wchar_t* vml_drawing = QM_REL_TYPE("vmlDrawing");
inline constexpr const wchar_t* comments = QM_REL_TYPE("comments");
inline constexpr const wchar_t* drawing = QM_REL_TYPE("drawing");
inline constexpr const wchar_t* chart = QM_REL_TYPE("chart");
#undef QM_REL_TYPE
inline constexpr const wchar_t* core_props =
    L"http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties";

}  // namespace XlsxModel::rel
