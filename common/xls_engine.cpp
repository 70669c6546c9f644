#include "common/xls_engine.h"

#include "TK/tk_log.h"
#include "TK/tk_utils.h"

xls_engine* engines[3] = {nullptr, nullptr, nullptr};

xls_engine::xls_engine(const std::wstring& n, const std::wstring& c, const std::string& text, std::uint32_t rows)
    : name(n), connect(c), notice(text), max_rows(rows) {
  tk_log::write(1, L"xls_engine::ctor(%ls, %ls)", name.c_str(), connect.c_str());
}

std::wstring xls_engine::get_notice_w() const {
  std::wstring wide;
  return tk_a2w(notice.c_str(), wide) ? wide : std::wstring();
}

void xls_engine::patch(const std::wstring& path) {
  tk_log::write(1, L"xls_engine::patch(%ls)", path.c_str());
  // The compound-file layer comes with the .xls destination; until then no
  // workbook can be opened as one.
  tk_log::write(1, "Failed to open OLE document");
}

xls_engine_50::xls_engine_50()
    : xls_engine(L"Excel 5.0", L"Excel 5.0;",
                 "Destination spreadsheet will be saved in MS Excel 5.0 format.\nAll strings will be cut to 255 symbols.",
                 16383) {}

xls_engine_80::xls_engine_80()
    : xls_engine(L"Excel 2000", L"Excel 8.0;",
                 "Destination spreadsheet will be saved in MS Excel 2000 format.\nEach worksheet can contain not more "
                 "than 65535 rows.",
                 65535) {}

xls_engine_2010::xls_engine_2010()
    : xls_engine(L"Excel 2010", L"Excel 12.0;",
                 "Destination spreadsheet will be saved in MS Excel 2010 format.\nYou will not be able to open it with "
                 "earlier versions of MS Excel.",
                 65535) {}
