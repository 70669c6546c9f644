// One engine per destination format: its display name, the connect string
// of the spreadsheet driver, the destination page's notice, the row limit,
// and the in-place restyling of a finished .xls workbook.
#pragma once

#include <cstdint>
#include <string>

class xls_engine {
 public:
  xls_engine(const std::wstring& name, const std::wstring& connect, const std::string& notice,
             std::uint32_t max_rows);
  virtual ~xls_engine() = default;

  std::wstring get_notice_w() const;
  // Restyles the workbook file in place; a file that is not a compound
  // file is left as it is.
  void patch(const std::wstring& path);

  bool wrap = false;
  std::wstring name;
  std::wstring connect;
  std::string notice;
  std::uint32_t max_rows;
};

class xls_engine_50 : public xls_engine {
 public:
  xls_engine_50();
};

class xls_engine_80 : public xls_engine {
 public:
  xls_engine_80();
};

class xls_engine_2010 : public xls_engine {
 public:
  xls_engine_2010();
};

// The program-wide engines, indexed by format version (0 Excel 5.0,
// 1 Excel 2000, 2 Excel 2010); filled by the converter's constructor.
extern xls_engine* engines[3];
