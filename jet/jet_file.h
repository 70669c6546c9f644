// Workbook files: a compound file whose "Book" (BIFF5) or "Workbook"
// (BIFF8) stream holds the workbook. Failures are recorded as DAO errors
// that name the file and the system's reason.
#pragma once

#include "jet/biff_book.h"
#include "jet/jet_errors.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

std::wstring jet_stream_name(biff_version v);

// The name the messages of a file show: a run writes its workbook under a
// name of its own, which is gone when the run ends, and shows the
// destination's. An empty `shown` forgets it; a file never named so shows
// its own path.
void jet_show_file_as(const std::wstring& path, const std::wstring& shown);
std::wstring jet_shown_name(const std::wstring& path);
// A storage failure as the end of a message ("the disk is full").
std::wstring jet_storage_reason(HRESULT hr);

HRESULT jet_read_file(jet_session& session, const std::wstring& path, biff_version v,
                      std::vector<std::uint8_t>& stream);
// Hands the workbook stream, piece by piece and in order, to the function
// it is given, which takes a piece and answers false to stop; false when it
// was stopped.
using jet_stream_source = std::function<bool(const std::function<bool(const std::uint8_t*, std::size_t)>&)>;
// Writes a new file whole beside the old one and then puts it in its place
// (qm_platform::put_in_place), so a failed write leaves the old file as it
// was.
HRESULT jet_write_file(jet_session& session, const std::wstring& path, biff_version v,
                       const jet_stream_source& stream);

// What tells a file from itself changed or replaced since: its device and
// inode, its size and the times of its last change and status change.
struct jet_file_stamp {
  bool exists = false;
  std::uint64_t device = 0, inode = 0, size = 0;
  std::int64_t modified_ns = 0, changed_ns = 0;
  bool operator==(const jet_file_stamp&) const = default;
};
jet_file_stamp jet_stamp_of(const std::wstring& path);
