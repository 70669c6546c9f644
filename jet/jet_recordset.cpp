// Recordsets over a sheet: records are read from it in order, or added to
// its end.
#include "jet/jet_objects.h"

jet_recordset::jet_recordset(jet_session_ptr s, jet_cursor_ptr c) : session(std::move(s)), cursor(std::move(c)) {}

HRESULT jet_recordset::usable() {
  if (cursor->closed || !cursor->workbook->open) return jet_fail(*session, jet_error::no_longer_set);
  return S_OK;
}

HRESULT jet_recordset::get_EOF(VARIANT_BOOL* eof) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (!eof) return E_POINTER;
    if (HRESULT hr = usable(); FAILED(hr)) return hr;
    *eof = cursor->eof() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  });
}

HRESULT jet_recordset::get_BOF(VARIANT_BOOL* bof) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (!bof) return E_POINTER;
    if (HRESULT hr = usable(); FAILED(hr)) return hr;
    *bof = cursor->bof() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  });
}

HRESULT jet_recordset::get_RecordCount(LONG* count) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (!count) return E_POINTER;
    if (HRESULT hr = usable(); FAILED(hr)) return hr;
    *count = static_cast<LONG>(cursor->shown());
    return S_OK;
  });
}

HRESULT jet_recordset::get_Fields(DAOFields** fields) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (HRESULT hr = usable(); FAILED(hr)) return hr;
    return jet_hand_out(new jet_fields(session, cursor->workbook, cursor->table, cursor), fields);
  });
}

HRESULT jet_recordset::AddNew() {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (HRESULT hr = usable(); FAILED(hr)) return hr;
    if (cursor->read_only) return jet_fail(*session, jet_error::read_only);
    cursor->adding = true;
    cursor->pending.assign(cursor->table->columns.size(), biff_cell{});
    return S_OK;
  });
}

HRESULT jet_recordset::put_Collect(VARIANT item, VARIANT value) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (HRESULT hr = usable(); FAILED(hr)) return hr;
    if (!cursor->adding) return jet_fail(*session, jet_error::update_without_add);
    int n = jet_item_position(item, cursor->table->columns);
    if (n < 0) return jet_fail(*session, jet_error::not_found);
    biff_cell cell;
    HRESULT hr = cursor->workbook->to_cell(*session, *cursor->table->columns[static_cast<std::size_t>(n)], value, cell);
    if (FAILED(hr)) return hr;
    cursor->pending[static_cast<std::size_t>(n)] = cell;
    return S_OK;
  });
}

HRESULT jet_recordset::Update(LONG, VARIANT_BOOL) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (HRESULT hr = usable(); FAILED(hr)) return hr;
    if (!cursor->adding) return jet_fail(*session, jet_error::update_without_add);
    HRESULT hr = cursor->workbook->append_record(*session, *cursor->table, cursor->pending);
    // A refused record is dropped, as CancelUpdate would.
    cursor->adding = false;
    cursor->pending.clear();
    return hr;
  });
}

HRESULT jet_recordset::MoveFirst() {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (HRESULT hr = usable(); FAILED(hr)) return hr;
    if (cursor->shown() == 0) return jet_fail(*session, jet_error::no_current_record);
    cursor->position = 0;
    cursor->before_first = false;
    return S_OK;
  });
}

HRESULT jet_recordset::MoveNext() {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (HRESULT hr = usable(); FAILED(hr)) return hr;
    if (cursor->eof()) return jet_fail(*session, jet_error::no_current_record);
    if (cursor->before_first)
      cursor->before_first = false;
    else
      ++cursor->position;
    return S_OK;
  });
}

HRESULT jet_recordset::MovePrevious() {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (HRESULT hr = usable(); FAILED(hr)) return hr;
    if (cursor->bof()) return jet_fail(*session, jet_error::no_current_record);
    if (cursor->position == 0)
      cursor->before_first = true;
    else
      --cursor->position;
    return S_OK;
  });
}

HRESULT jet_recordset::Close() {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (HRESULT hr = usable(); FAILED(hr)) return hr;
    cursor->closed = true;
    cursor->adding = false;
    return S_OK;
  });
}
