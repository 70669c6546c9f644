// A workbook as plain data: its sheets, each a grid of typed cells, and the
// text of every text cell kept once. The driver's tables live on it; the
// BIFF writer and reader turn it into a workbook stream and back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

enum class biff_version { biff5, biff8 };

enum class biff_kind : std::uint8_t { empty, text, number, date, boolean };

struct biff_cell {
  // The number, the date (days since 1899-12-30, the fraction the time of
  // day) or 1 and 0 for a boolean.
  double number = 0;
  // The text's index in the book's strings.
  std::uint32_t text = 0;
  biff_kind kind = biff_kind::empty;
};

using biff_row = std::vector<biff_cell>;

struct biff_sheet {
  std::wstring name;
  // Row 0 holds the field names. A row is as long as its last cell.
  std::vector<biff_row> rows;
};

class biff_book {
 public:
  biff_book() = default;
  biff_book(const biff_book&) = delete;
  biff_book& operator=(const biff_book&) = delete;
  // The texts stay where they are, and so do the views of the index.
  biff_book(biff_book&&) = default;

  // The index of the text, kept once however many cells hold it.
  std::uint32_t intern(const std::wstring& text);
  const std::wstring& text(std::uint32_t index) const { return strings[index]; }
  std::size_t string_count() const { return strings.size(); }
  // Lets every text go; no cell may hold one any more.
  void forget_strings();

  // Sets row `row`, column `column` of the sheet, growing it as needed.
  static void put(biff_sheet& sheet, std::size_t row, std::size_t column, const biff_cell& cell);

  biff_cell text_cell(const std::wstring& text) { return biff_cell{0, intern(text), biff_kind::text}; }
  static biff_cell number_cell(double value) { return biff_cell{value, 0, biff_kind::number}; }
  static biff_cell date_cell(double value) { return biff_cell{value, 0, biff_kind::date}; }
  static biff_cell boolean_cell(bool value) { return biff_cell{value ? 1.0 : 0.0, 0, biff_kind::boolean}; }

  // A list, so that a sheet stays where it is while others come and go.
  std::list<biff_sheet> sheets;

 private:
  // A deque keeps its elements in place, so the views of the index stay valid.
  std::deque<std::wstring> strings;
  std::unordered_map<std::wstring_view, std::uint32_t> index;
};

// The rows and columns of a sheet of each version, and the longest text a
// cell holds (characters in BIFF5, UTF-16 units in BIFF8).
constexpr std::size_t biff_max_rows(biff_version v) { return v == biff_version::biff5 ? 16384 : 65536; }
constexpr std::size_t biff_max_columns = 256;
constexpr std::size_t biff_max_text(biff_version v) { return v == biff_version::biff5 ? 255 : 32767; }

// Dates of the 1900 date system, which counts 1900-02-29 as a day: an
// Excel serial from a date number, false when the date lies outside the
// range a worksheet shows (before 1900-01-01 or after 9999-12-31; a time
// alone, whose date number is that of 1899-12-30, is outside too).
bool biff_serial_from_date(double date, double& serial);
// The date number of a serial; `date1904` for workbooks counted from 1904.
double biff_date_from_serial(double serial, bool date1904);
