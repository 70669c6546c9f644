// One engine per destination format: its display name, the connect string
// of the spreadsheet driver, the destination page's notice, the row limit,
// and the in-place restyling of a finished .xls workbook.
#pragma once

#include <cstdint>
#include <span>
#include <string>

struct IStream;

// A read, write or seek of the workbook stream that the storage refused
// while it was restyled: an I/O failure, not a broken record.
struct xls_patch_io_error {
  long hr;
};

class xls_engine {
 public:
  xls_engine(const std::wstring& name, const std::wstring& connect, const std::string& notice,
             std::uint32_t max_rows);
  virtual ~xls_engine() = default;

  // Writes the engine's empty workbook to `path`; tk_exception (level 1)
  // when the file cannot be opened or written.
  virtual void write_empty_xls(const std::wstring& path);
  // Restyles an open workbook stream. Broken records raise
  // tk_mail_assertion ("xls_engi"); a stream that cannot be read or
  // written raises xls_patch_io_error.
  virtual void do_patch(IStream* stream) = 0;
  virtual std::span<const std::uint8_t> get_template() const = 0;

  std::wstring get_notice_w() const;
  // Restyles the workbook file in place: the fourth font becomes bold, the
  // header row's cells use that font's format, the plain formats wrap when
  // `wrap` is set. Nothing is added, removed or resized. A file that is not
  // a compound file, or holds no workbook stream, is left as it is. A file
  // that cannot be read or written raises tk_exception (level 1) naming it
  // as its messages show it (jet_shown_name) and why.
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
  void do_patch(IStream* stream) override;
  std::span<const std::uint8_t> get_template() const override;
  // Restyles the header row of the worksheet whose BOF is at `offset`.
  void patch_sheet(IStream* stream, std::uint32_t offset);
};

class xls_engine_80 : public xls_engine {
 public:
  xls_engine_80();
  void do_patch(IStream* stream) override;
  std::span<const std::uint8_t> get_template() const override;
  void patch_sheet(IStream* stream, std::uint32_t offset);
};

// No .xls workbook: nothing to patch, no template.
class xls_engine_2010 : public xls_engine {
 public:
  xls_engine_2010();
  void do_patch(IStream* stream) override;
  std::span<const std::uint8_t> get_template() const override;
};

// The program-wide engines, indexed by format version (0 Excel 5.0,
// 1 Excel 2000, 2 Excel 2010); filled by the converter's constructor.
extern xls_engine* engines[3];

// The engine of a format version; one outside the table (or a table not yet
// filled) raises tk_exception (level 1) with the option's own message.
xls_engine& engine_for(int format_version);
