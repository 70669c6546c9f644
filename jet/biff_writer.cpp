#include "jet/biff_writer.h"

#include "jet/biff_store.h"

std::vector<std::uint8_t> biff_write_workbook(const biff_book& book, biff_version v) {
  biff_store store(v);
  std::vector<std::unique_ptr<biff_stored_sheet>> kept;
  std::vector<biff_store::entry> sheets;
  for (const biff_sheet& sheet : book.sheets) {
    kept.push_back(store.encode(book, sheet));
    sheets.push_back({&sheet.name, kept.back().get()});
  }
  std::vector<std::uint8_t> stream;
  store.write(sheets, [&](const std::uint8_t* data, std::size_t size) {
    stream.insert(stream.end(), data, data + size);
    return true;
  });
  return stream;
}
