// Workbook files: a compound file whose "Book" (BIFF5) or "Workbook"
// (BIFF8) stream holds the workbook. Failures are recorded as DAO errors
// that name the file and the system's reason.
#pragma once

#include "jet/biff_book.h"
#include "jet/jet_errors.h"

#include <cstdint>
#include <string>
#include <vector>

std::wstring jet_stream_name(biff_version v);

HRESULT jet_read_file(jet_session& session, const std::wstring& path, biff_version v,
                      std::vector<std::uint8_t>& stream);
// Writes a new file beside the old one and then puts it in its place, so a
// failed write leaves the old file as it was.
HRESULT jet_write_file(jet_session& session, const std::wstring& path, biff_version v,
                       const std::vector<std::uint8_t>& stream);
