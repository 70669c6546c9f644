#include "jet/biff_book.h"

#include <cmath>

std::uint32_t biff_book::intern(const std::wstring& value) {
  auto found = index.find(std::wstring_view(value));
  if (found != index.end()) return found->second;
  auto n = static_cast<std::uint32_t>(strings.size());
  strings.push_back(value);
  index.emplace(std::wstring_view(strings.back()), n);
  return n;
}

void biff_book::forget_strings() {
  index.clear();
  std::deque<std::wstring>().swap(strings);
}

void biff_book::put(biff_sheet& sheet, std::size_t row, std::size_t column, const biff_cell& cell) {
  if (sheet.rows.size() <= row) sheet.rows.resize(row + 1);
  biff_row& r = sheet.rows[row];
  if (r.size() <= column) r.resize(column + 1);
  r[column] = cell;
}

namespace {
// 1900-03-01: from here on serials and date numbers agree.
constexpr double first_shared_day = 61;
// 10000-01-01.
constexpr double past_last_day = 2958466;
}  // namespace

bool biff_serial_from_date(double date, double& serial) {
  // Serial 1 is 1900-01-01, date number 2. Below it a worksheet shows no
  // date: serial 0 reads "1900-01-00", so 1899-12-30 (date numbers from 0
  // to 1, times alone among them) and 1899-12-31 have none.
  if (!std::isfinite(date) || date < 2 || date >= past_last_day) return false;
  // Before 1900-03-01 the serials run one behind, because serial 60 is the
  // 29th of February 1900.
  serial = date < first_shared_day ? date - 1 : date;
  return true;
}

double biff_date_from_serial(double serial, bool date1904) {
  if (date1904) return serial + 1462;
  if (serial >= 1 && serial < first_shared_day) return serial + 1;
  return serial;
}
