#include "jet/jet_workbook_cache.h"

#include "TK/tk_log.h"

#include <new>

HRESULT jet_workbook_cache::write_kept(jet_session& session) {
  if (!kept) return S_OK;
  jet_workbook_ptr workbook = std::move(kept);
  if (!workbook->unwritten) return S_OK;
  tk_log::write(2, L"jet: writing the kept workbook '%ls'", workbook->path.c_str());
  return workbook->write(session);
}

jet_workbook_ptr jet_workbook_cache::reopen(jet_session& session, const std::wstring& path, biff_version version,
                                            bool read_only, HRESULT& result) {
  result = S_OK;
  if (!kept) return nullptr;
  if (kept->path != path || kept->version != version) {
    result = write_kept(session);
    return nullptr;
  }
  if (jet_stamp_of(path) != kept->on_disk) {
    if (!kept->unwritten) {
      tk_log::write(2, L"jet: '%ls' changed since it was read or written here: read afresh", path.c_str());
      kept.reset();
      return nullptr;
    }
    tk_log::write(3, L"jet: '%ls' changed while changes of it were not yet written here; they will be written over it",
                  path.c_str());
  }
  tk_log::write(2, L"jet: reopening the kept workbook '%ls'", path.c_str());
  // Its contents go to a workbook of the new database's own: the objects of
  // the one that closed keep the old, which stays closed.
  auto workbook = std::make_shared<jet_workbook>(std::move(*kept));
  kept.reset();
  workbook->open = true;
  workbook->read_only = read_only;
  workbook->modified = false;
  return workbook;
}

HRESULT jet_workbook_cache::keep(jet_session& session, const jet_workbook_ptr& workbook) {
  if (workbook->modified) workbook->unwritten = true;
  workbook->modified = false;
  // A new workbook that got no sheet is not written: a workbook holds one at least.
  if (workbook->tables.empty()) workbook->unwritten = false;
  // A workbook that holds nothing new is not kept: it is not worth encoding.
  if (!workbook->unwritten) return S_OK;
  try {
    workbook->settle();
  } catch (const std::bad_alloc&) {
    return jet_fail_text(session, jet_error::write_failed, L"Cannot write the file '" + jet_shown_name(workbook->path) + L"': out of memory.");
  } catch (const std::exception& e) {
    return jet_fail_text(session, jet_error::write_failed,
                         L"Cannot write the file '" + jet_shown_name(workbook->path) + L"': " + jet_text_of(e) + L".");
  }
  HRESULT other = kept && kept != workbook ? write_kept(session) : S_OK;
  if (!deferring || !jet_stamp_of(workbook->path).exists) {
    HRESULT hr = workbook->write(session);
    // The next open reads what the file holds.
    if (FAILED(hr)) return hr;
  }
  if (deferring) kept = workbook;
  return other;
}

HRESULT jet_workbook_cache::flush(jet_session& session) { return write_kept(session); }

HRESULT jet_workbook_cache::stop(jet_session& session) {
  deferring = false;
  return write_kept(session);
}
