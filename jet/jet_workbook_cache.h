// The workbook a DBEngine keeps after its database closed, with its sheets
// already encoded, so that opening the same file again costs nothing; and
// the write of its changes, which waits until the engine is told to write
// (Idle with dbRefreshCache), opens another file, or goes away. A workbook
// whose file does not exist yet is written when it closes, so that the file
// is there for whoever looks. A file that something else changed or
// replaced since the engine read or wrote it is read afresh, unless the
// engine holds changes of it not yet written: those were promised, so they
// stay and are written over it.
#pragma once

#include "jet/jet_workbook.h"

#include <memory>
#include <string>

class jet_workbook_cache {
 public:
  // The kept workbook of this file, reopened; null when there is none to
  // reuse. Another kept workbook is written first (a failure is the result).
  jet_workbook_ptr reopen(jet_session& session, const std::wstring& path, biff_version version, bool read_only,
                          HRESULT& result);
  // A database closes over its workbook, which is kept in place of any
  // other (that one is written first) when it holds changes.
  HRESULT keep(jet_session& session, const jet_workbook_ptr& workbook);
  // Writes the kept workbook when it holds changes, and lets it go.
  HRESULT flush(jet_session& session);
  // The engine goes: from now on a closing database writes at once.
  HRESULT stop(jet_session& session);

 private:
  HRESULT write_kept(jet_session& session);
  jet_workbook_ptr kept;
  bool deferring = true;
};
using jet_workbook_cache_ptr = std::shared_ptr<jet_workbook_cache>;
