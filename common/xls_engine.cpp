#include "common/xls_engine.h"

#include "OLE/ole_com_ptr.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "common/xls_templates.h"
#include "jet/jet_file.h"
#include "platform/storage.h"
#include "platform/utf8.h"

#include <cstdio>

xls_engine* engines[3] = {nullptr, nullptr, nullptr};

xls_engine& engine_for(int format_version) {
  if (format_version < 0 || format_version > 2 || !engines[format_version])
    throw tk_exception(std::string("MS Excel format version must be 0, 1 or 2"), 1);
  return *engines[format_version];
}

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
  ole_com_ptr<IStorage> storage;
  if (FAILED(StgOpenStorage(path.c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0, &storage.p))) {
    tk_log::write(1, "Failed to open OLE document");
    return;
  }
  try {
    {
      ole_com_ptr<IStream> stream;
      const DWORD mode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
      if (FAILED(storage->OpenStream(L"Book", nullptr, mode, 0, &stream.p)) &&
          FAILED(storage->OpenStream(L"Workbook", nullptr, mode, 0, &stream.p))) {
        tk_log::write(1, "Stream not found");
        return;
      }
      do_patch(stream.p);
    }
    // The storage's release would commit too, but could not tell of a
    // failure; a workbook that did not reach the disk is a failed write.
    HRESULT hr = storage->Commit(STGC_DEFAULT);
    if (FAILED(hr)) throw xls_patch_io_error{hr};
  } catch (const xls_patch_io_error& e) {
    throw tk_exception(L"Cannot write the header formatting of the file '" + jet_shown_name(path) +
                           L"': " + jet_storage_reason(e.hr) + L".",
                       1);
  }
}

void xls_engine::write_empty_xls(const std::wstring& path) {
  tk_log::write(1, L"xls_engine::write_empty_xls(%ls)", path.c_str());
  std::span<const std::uint8_t> image = get_template();
  if (image.empty()) throw tk_mail_assertion("xls_engi", __LINE__);
  std::FILE* f = std::fopen(qm_platform::path_to_utf8(path.c_str()).c_str(), "wb");
  if (!f) throw tk_exception("Cannot open destination file for writing.", 1);
  bool written = std::fwrite(image.data(), image.size(), 1, f) == 1;
  // What the buffer still holds reaches the file only when it is closed.
  written = std::fclose(f) == 0 && written;
  if (!written) throw tk_exception("Failed to write into the destination file.", 1);
}

xls_engine_50::xls_engine_50()
    : xls_engine(L"Excel 5.0", L"Excel 5.0;",
                 "Destination spreadsheet will be saved in MS Excel 5.0 format.\nAll strings will be cut to 255 symbols.",
                 16383) {}

std::span<const std::uint8_t> xls_engine_50::get_template() const { return xls_template_biff5; }

xls_engine_80::xls_engine_80()
    : xls_engine(L"Excel 2000", L"Excel 8.0;",
                 "Destination spreadsheet will be saved in MS Excel 2000 format.\nEach worksheet can contain not more "
                 "than 65535 rows.",
                 65535) {}

std::span<const std::uint8_t> xls_engine_80::get_template() const { return xls_template_biff8; }

xls_engine_2010::xls_engine_2010()
    : xls_engine(L"Excel 2010", L"Excel 12.0;",
                 "Destination spreadsheet will be saved in MS Excel 2010 format.\nYou will not be able to open it with "
                 "earlier versions of MS Excel.",
                 65535) {}

void xls_engine_2010::do_patch(IStream*) { tk_log::write(1, "xls_engine_2010::do_patch"); }

std::span<const std::uint8_t> xls_engine_2010::get_template() const { return {}; }
