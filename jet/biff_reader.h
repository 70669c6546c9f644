// Reads a BIFF5 or BIFF8 workbook stream into a biff_book: every worksheet
// with its text, number, boolean and date cells (dates by the number format
// of their cell), formulas by their last result. Charts, macros and other
// sheets are passed over.
#pragma once

#include "jet/biff_book.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Throws biff_format_error for a stream that is not such a workbook.
biff_version biff_read_workbook(const std::uint8_t* data, std::size_t size, biff_book& book);

// The number format shows a date or a time.
bool biff_is_date_format(unsigned id, const std::wstring& text);
