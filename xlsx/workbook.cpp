#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "platform/private_folder.h"
#include "platform/utf8.h"
#include "platform/win32.h"
#include "xlsx/xlsx_model.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace XlsxModel {

namespace {

std::wstring environment_path(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? qm_platform::path_from_utf8(value) : std::wstring();
}

// Written into the workbook: text, never a path's bytes.
std::wstring environment_text(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? qm_platform::text_from_system(value) : std::wstring();
}

// 31 UTF-16 units, as Excel counts a title.
std::wstring cut_title(std::wstring name) {
  tk_utf16_cut(name, 31);
  return name;
}

}  // namespace

bool is_temp_tree_name(const std::string& name) {
  // "xlsx_" thread "_" count, as the workbook names its tree.
  if (name.compare(0, 5, "xlsx_") != 0) return false;
  std::size_t underscores = 0, digits = 0;
  for (std::size_t i = 5; i < name.size(); ++i) {
    char c = name[i];
    if (c == '_') {
      if (++underscores > 1 || digits == 0) return false;
      digits = 0;
    } else if (c >= '0' && c <= '9') {
      ++digits;
    } else if (!(c == '-' && underscores == 1 && digits == 0 && name[i - 1] == '_')) {
      return false;
    }
  }
  return underscores == 1 && digits > 0;
}

std::wstring temp_base_folder() {
  std::wstring base = environment_path("TEMP");
  if (base.empty()) base = environment_path("TMPDIR");
  if (base.empty()) base = L"/tmp";
  // The packer runs in the folder: it must not depend on our current folder.
  if (wchar_t* full = _wfullpath(nullptr, base.c_str(), 0)) {
    base = full;
    std::free(full);
  }
  while (base.size() > 1 && base.back() == L'/') base.pop_back();
  return base;
}

std::wstring user_name() {
  std::wstring name = environment_text("USERNAME");
  if (name.empty()) name = environment_text("USER");
  return name.empty() ? L"Unknown" : name;
}

CWorkbook::CWorkbook(part_file_system& files, std::size_t text_memory)
    : shared_strings(text_memory), files(files) {
  Style normal;
  styles.Add(normal);
  Style gray;
  gray.fill.pattern = 17;
  styles.Add(gray);
  part_list = {L"[Content_Types].xml", L"_rels/.rels",     L"docProps/core.xml",
               L"docProps/app.xml",    L"xl/workbook.xml", L"xl/styles.xml",
               L"xl/_rels/workbook.xml.rels", L"xl/theme/theme1.xml"};

  std::wstring base = temp_base_folder();
  // The trees of runs that were killed, each maybe a whole workbook's parts.
  qm_platform::remove_dead_folders(qm_platform::path_to_utf8(base.c_str()), is_temp_tree_name);
  auto thread = static_cast<unsigned long>(gettid());
  long count = static_cast<long>(std::clock());
  // Another run may be filling a folder of the same name: take the next free one.
  for (int attempt = 0; attempt < 10000; ++attempt, ++count) {
    wchar_t name[64];
    std::swprintf(name, sizeof name / sizeof name[0], L"xlsx_%lu_%ld", thread, count);
    temp_folder = base + L"/" + name;
    int rc = files.create_folder(temp_folder);
    if (rc == 0) {
      // Marked as alive while the workbook lives; one that another run's
      // clean-up holds at this moment is left to it.
      std::string narrow = qm_platform::path_to_utf8(temp_folder.c_str());
      int marked = tree_mark.take(narrow);
      if (qm_platform::folder_mark::taken_by_another(marked)) continue;
      // Unmarked, it is written all the same.
      if (marked != 0) ::chmod(narrow.c_str(), 0700);
      folder_claimed = true;
      // The texts of the cells beyond what memory keeps wait in the folder.
      shared_strings.spill_to(files, temp_folder);
      break;
    }
    if (rc != EEXIST) {
      error = L"cannot create the folder \"" + temp_folder + L"\": " + system_error_text(rc);
      break;
    }
  }
  if (!folder_claimed && error.empty()) error = L"no free folder name under \"" + base + L"\"";
  if (!folder_claimed) tk_log::write(3, L"%ls", error.c_str());
  tk_log::write(1, L"CWorkbook::ctor(%ls)", temp_folder.c_str());
}

CWorkbook::~CWorkbook() {
  sheets.clear();
  charts.clear();
  // Whatever a failed or missing save left behind goes with the workbook.
  if (folder_claimed) files.remove_tree(temp_folder);
}

CWorksheet* CWorkbook::AddSheet2(const std::wstring& name, const std::vector<ColumnWidth>& widths) {
  tk_log::write(2, L"CWorkbook::AddSheet2(%ls)", name.c_str());
  // Never a folder that is not ours: without one the sheet has no part.
  auto sheet = std::make_unique<CWorksheet>(static_cast<int>(sheets.size()) + 1, widths,
                                            folder_claimed ? temp_folder : std::wstring(), files);
  sheet->title = cut_title(name);
  sheet->shared_strings = &shared_strings;
  sheet->comments = &comments;
  sheets.push_back(std::move(sheet));
  return sheets.back().get();
}

CChartsheet* CWorkbook::AddChartsheet(const std::wstring& name) {
  tk_log::write(2, L"CWorkbook::AddChartsheet(%ls)", name.c_str());
  charts.push_back(std::make_unique<CChartsheet>(*this, static_cast<int>(charts.size()) + 1, cut_title(name)));
  return charts.back().get();
}

std::wstring CWorkbook::GetSafeTitle(const CChartsheet& chart) const {
  tk_log::write(1, "CWorkbook::GetSafeTitle");
  return make_safe_text(chart.title);
}

void CWorkbook::settle_texts() {
  for (const auto& sheet : sheets) sheet->write_waiting_cells();
}

bool CWorkbook::has_formula() const {
  for (const auto& sheet : sheets)
    if (sheet->has_formula) return true;
  return false;
}

std::unique_ptr<part_output> CWorkbook::open_part(const std::wstring& name) {
  std::wstring why;
  std::unique_ptr<part_output> out = files.open(temp_folder + L"/" + name, why);
  if (!out) {
    error = why;
    tk_log::write(3, L"%ls", why.c_str());
  }
  return out;
}

bool CWorkbook::close_part(part_output& part) {
  if (part.close()) return true;
  error = part.error();
  tk_log::write(3, L"%ls", error.c_str());
  return false;
}

}  // namespace XlsxModel
