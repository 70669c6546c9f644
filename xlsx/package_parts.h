// The package-level parts of a workbook, each written into its temporary
// folder. Each returns false when its part cannot be written; the workbook
// then knows why (CWorkbook::GetLastError).
#pragma once

#include "platform/win32.h"
#include "xlsx/xlsx_model.h"

#include <functional>
#include <string>

namespace XlsxModel {

// "docProps/core.xml" and "_rels/.rels".
bool write_core_props(CWorkbook& workbook);
// "docProps/app.xml".
bool write_app_props(CWorkbook& workbook);
// "[Content_Types].xml", and the calculation chain when a sheet has a formula.
bool write_content_types(CWorkbook& workbook);
// "xl/calcChain.xml".
bool write_calc_chain(CWorkbook& workbook);
// The comments and VML parts of every sheet with comments.
bool write_comments_parts(CWorkbook& workbook);
// "xl/sharedStrings.xml", when the table is not empty.
bool write_shared_strings(CWorkbook& workbook);
// "xl/_rels/workbook.xml.rels" and "xl/workbook.xml".
bool write_workbook_part(CWorkbook& workbook);
// "xl/theme/theme1.xml": the same fixed theme in every package.
bool write_theme(CWorkbook& workbook);

// The time text of the core properties: local time, although it ends in "Z".
std::wstring core_time_text(const SYSTEMTIME& time);

// Packs `folder` into exactly `destination` with the zip program beside the
// running program, else the one on the PATH. False with `error` when it
// cannot be started, fails, leaves no archive or is stopped; the zip program
// is ended and waited for once `stop_requested` says so. A failed packing
// leaves nothing beside the destination, and an existing destination stays
// until the new one replaces it.
bool pack_folder(const std::wstring& folder, const std::wstring& destination, std::wstring& error,
                 const std::function<bool()>& stop_requested = {});

}  // namespace XlsxModel
