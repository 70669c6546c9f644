#include "jet/jet_engine.h"

#include "TK/tk_log.h"
#include "jet/biff_record.h"
#include "jet/jet_file.h"
#include "jet/jet_objects.h"
#include "platform/com_runtime.h"
#include "platform/win32.h"

namespace {

// {00000100-0000-0010-8000-00AA006D2EA4}
constexpr CLSID clsid_dbengine_36 = {0x00000100, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};

class jet_error_object final : public jet_com<DAOError, IID_DAOError> {
 public:
  explicit jet_error_object(jet_error_entry e) : entry(std::move(e)) {}
  HRESULT get_Number(LONG* number) override {
    if (!number) return E_POINTER;
    *number = entry.number;
    return S_OK;
  }
  HRESULT get_Description(BSTR* description) override { return jet_bstr_out(entry.description, description); }

 private:
  jet_error_entry entry;
};

class jet_errors final : public jet_com<DAOErrors, IID_DAOErrors> {
 public:
  explicit jet_errors(jet_session_ptr s) : session(std::move(s)) {}
  HRESULT get_Count(SHORT* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<SHORT>(session->errors.size());
    return S_OK;
  }
  HRESULT get_Item(VARIANT item, DAOError** error) override {
    LONG n;
    if (!error) return E_POINTER;
    *error = nullptr;
    // The collection is not changed by its own failure.
    if (!jet_to_long(item, n) || n < 0 || static_cast<std::size_t>(n) >= session->errors.size())
      return dao_hresult(jet_error::not_found);
    try {
      return jet_hand_out(new jet_error_object(session->errors[static_cast<std::size_t>(n)]), error);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

 private:
  jet_session_ptr session;
};

bool starts_with_ignoring_case(const std::wstring& text, const wchar_t* prefix) {
  std::wstring head = text.substr(0, std::wcslen(prefix));
  return jet_same_name(head, prefix);
}

bool exists(const std::wstring& path, bool& folder) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  return attributes != INVALID_FILE_ATTRIBUTES;
}

bool bool_argument(const VARIANT& v) {
  LONG n = 0;
  return !jet_missing(v) && jet_to_long(v, n) && n != 0;
}

HRESULT factory(REFIID iid, void** object) {
  jet_engine* engine;
  try {
    engine = new jet_engine;
  } catch (const std::bad_alloc&) {
    if (object) *object = nullptr;
    return E_OUTOFMEMORY;
  }
  HRESULT hr = engine->QueryInterface(iid, object);
  engine->Release();
  return hr;
}

}  // namespace

jet_engine::jet_engine() : session(std::make_shared<jet_session>()), cache(std::make_shared<jet_workbook_cache>()) {
  tk_log::write(2, "jet_engine::ctor");
}

jet_engine::~jet_engine() {
  // Nobody is left to hear of a failure.
  if (FAILED(jet_guard(*session, jet_error::write_failed, [&] { return cache->stop(*session); })))
    tk_log::write(3, L"jet: a kept workbook was not written");
}

HRESULT jet_engine::Idle(VARIANT action) {
  return jet_guard(*session, jet_error::write_failed, [&]() -> HRESULT {
    LONG what = 0;
    if (!jet_missing(action) && !jet_to_long(action, what)) return jet_fail(*session, jet_error::invalid_operation);
    tk_log::write(2, "jet_engine::Idle(%d)", static_cast<int>(what));
    return what & dbRefreshCache ? cache->flush(*session) : S_OK;
  });
}

HRESULT jet_engine::get_Errors(DAOErrors** errors) {
  // Asking for the errors leaves them as they are, whatever happens.
  try {
    return jet_hand_out(new jet_errors(session), errors);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT jet_engine::OpenDatabase(BSTR name, VARIANT, VARIANT read_only, VARIANT connect, DAODatabase** database) {
  return jet_guard(*session, jet_error::cannot_open, [&]() -> HRESULT {
    if (!database) return E_POINTER;
    *database = nullptr;
    std::wstring path = jet_from_bstr(name);
    std::wstring options;
    if (!jet_missing(connect) && !jet_to_text(connect, options))
      return jet_fail(*session, jet_error::invalid_operation);
    tk_log::write(2, L"jet_engine::OpenDatabase(%ls, %ls)", path.c_str(), options.c_str());
    biff_version version;
    if (starts_with_ignoring_case(options, L"Excel 5.0;"))
      version = biff_version::biff5;
    else if (starts_with_ignoring_case(options, L"Excel 8.0;"))
      version = biff_version::biff8;
    else if (options.empty() || options[0] == L';')
      return jet_fail(*session, jet_error::no_database_driver);
    else
      return jet_fail(*session, jet_error::no_isam, options);

    const bool ro = bool_argument(read_only);
    HRESULT kept = S_OK;
    if (jet_workbook_ptr workbook = cache->reopen(*session, path, version, ro, kept))
      return jet_hand_out(new jet_database(session, cache, workbook), database);
    if (FAILED(kept)) return kept;
    auto workbook = std::make_shared<jet_workbook>(path, version, ro);
    bool folder = false;
    if (exists(path, folder)) {
      if (folder)
        return jet_fail_text(*session, jet_error::cannot_open, L"Cannot open '" + jet_shown_name(path) + L"': it is a folder.");
      std::vector<std::uint8_t> stream;
      // Taken before the read: a change while it reads makes the next open read again.
      workbook->on_disk = jet_stamp_of(path);
      HRESULT hr = jet_read_file(*session, path, version, stream);
      if (FAILED(hr)) return hr;
      try {
        workbook->load(stream);
      } catch (const biff_format_error& e) {
        return jet_fail_text(*session, jet_error::not_a_workbook,
                             L"'" + jet_shown_name(path) + L"' is not a workbook of the expected format: " + jet_text_of(e) + L".");
      }
    } else {
      std::size_t slash = path.find_last_of(L'/');
      std::wstring parent = slash == std::wstring::npos ? L"." : path.substr(0, slash == 0 ? 1 : slash);
      if (!exists(parent, folder) || !folder || path.empty())
        return jet_fail_text(*session, jet_error::invalid_path, L"'" + jet_shown_name(path) + L"' is not a valid path.");
      if (ro) return jet_fail_text(*session, jet_error::file_not_found, L"Could not find file '" + jet_shown_name(path) + L"'.");
    }
    return jet_hand_out(new jet_database(session, cache, workbook), database);
  });
}

HRESULT jet_engine::CreateDatabase(BSTR name, BSTR, VARIANT, DAODatabase** database) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (database) *database = nullptr;
    tk_log::write(2, L"jet_engine::CreateDatabase(%ls)", jet_from_bstr(name).c_str());
    return jet_fail(*session, jet_error::no_database_driver);
  });
}

void jet_register_dbengine(bool install) { qm_register_class(clsid_dbengine_36, install ? factory : nullptr); }
