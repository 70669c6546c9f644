#include "jet/jet_file.h"

#include "TK/tk_log.h"
#include "jet/jet_com.h"
#include "platform/private_folder.h"
#include "platform/storage.h"
#include "platform/system_error.h"
#include "platform/utf8.h"

#include <cstdio>
#include <map>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::mutex shown_lock;
std::map<std::wstring, std::wstring>& shown_names() {
  static std::map<std::wstring, std::wstring> names;
  return names;
}

std::wstring reason(HRESULT hr) {
  switch (hr) {
    case STG_E_FILENOTFOUND:
    case STG_E_PATHNOTFOUND:
      return L"the file does not exist";
    case STG_E_ACCESSDENIED:
      return L"permission denied";
    case STG_E_SHAREVIOLATION:
    case STG_E_LOCKVIOLATION:
      return L"the file is in use";
    case STG_E_MEDIUMFULL:
      return L"the disk is full";
    case STG_E_WRITEFAULT:
      return L"the file could not be written";
    case STG_E_READFAULT:
      return L"the file could not be read";
    case E_OUTOFMEMORY:
      return L"out of memory";
    case STG_E_DOCFILETOOLARGE:
      return L"the workbook is larger than a file of its format holds";
    default: {
      wchar_t text[48];
      std::swprintf(text, 48, L"storage error %08X", static_cast<unsigned>(hr));
      return text;
    }
  }
}

HRESULT not_a_workbook(jet_session& session, const std::wstring& path, const std::wstring& why) {
  return jet_fail_text(session, jet_error::not_a_workbook,
                       L"'" + jet_shown_name(path) + L"' is not a workbook of the expected format: " + why + L".");
}

HRESULT cannot(jet_session& session, LONG error, const wchar_t* what, const std::wstring& path,
               const std::wstring& why) {
  return jet_fail_text(session, error, std::wstring(what) + L" the file '" + jet_shown_name(path) + L"': " + why + L".");
}

}  // namespace

void jet_show_file_as(const std::wstring& path, const std::wstring& shown) {
  std::lock_guard<std::mutex> guard(shown_lock);
  if (shown.empty())
    shown_names().erase(path);
  else
    shown_names()[path] = shown;
}

std::wstring jet_shown_name(const std::wstring& path) {
  std::lock_guard<std::mutex> guard(shown_lock);
  auto it = shown_names().find(path);
  return it == shown_names().end() ? path : it->second;
}

std::wstring jet_storage_reason(HRESULT hr) { return reason(hr); }

std::wstring jet_stream_name(biff_version v) { return v == biff_version::biff5 ? L"Book" : L"Workbook"; }

HRESULT jet_read_file(jet_session& session, const std::wstring& path, biff_version v,
                      std::vector<std::uint8_t>& stream) {
  tk_log::write(1, L"jet_read_file(%ls)", path.c_str());
  jet_held<IStorage> storage;
  HRESULT hr = StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &storage.p);
  if (hr == STG_E_FILEALREADYEXISTS || hr == STG_E_INVALIDHEADER || hr == STG_E_DOCFILECORRUPT)
    return not_a_workbook(session, path, L"it is not a compound file");
  if (FAILED(hr))
    return cannot(session, jet_error::cannot_open, L"Cannot open", path, reason(hr));
  jet_held<IStream> data;
  // A workbook of the other version is refused by the reader, which names it.
  const wchar_t* names[] = {L"Workbook", L"Book"};
  if (v == biff_version::biff5) std::swap(names[0], names[1]);
  for (const wchar_t* name : names)
    if (SUCCEEDED(storage.p->OpenStream(name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &data.p))) break;
  if (!data.p) return not_a_workbook(session, path, L"it holds no workbook stream");
  STATSTG stat{};
  hr = data.p->Stat(&stat, STATFLAG_NONAME);
  if (SUCCEEDED(hr) && stat.cbSize.QuadPart > 0x7FFFFFFFu) hr = STG_E_DOCFILETOOLARGE;
  if (SUCCEEDED(hr)) {
    stream.resize(static_cast<std::size_t>(stat.cbSize.QuadPart));
    ULONG read = 0;
    hr = data.p->Read(stream.data(), static_cast<ULONG>(stream.size()), &read);
    if (SUCCEEDED(hr) && read != stream.size()) hr = STG_E_READFAULT;
  }
  if (FAILED(hr))
    return cannot(session, jet_error::cannot_open, L"Cannot read", path, reason(hr));
  return S_OK;
}

jet_file_stamp jet_stamp_of(const std::wstring& path) {
  jet_file_stamp stamp;
  struct stat st {};
  if (stat(qm_platform::path_to_utf8(path.c_str()).c_str(), &st) != 0) return stamp;
  stamp.exists = true;
  stamp.device = st.st_dev;
  stamp.inode = st.st_ino;
  stamp.size = static_cast<std::uint64_t>(st.st_size);
  stamp.modified_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  stamp.changed_ns = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  return stamp;
}

HRESULT jet_write_file(jet_session& session, const std::wstring& path, biff_version v,
                       const jet_stream_source& stream) {
  tk_log::write(1, L"jet_write_file(%ls)", path.c_str());
  // The new file is made whole in a folder of our own beside the old one,
  // under a short name whatever the length of the destination's.
  qm_platform::private_folder own(path);
  if (own.path().empty()) {
    return cannot(session, jet_error::write_failed, L"Cannot write", path,
                  qm_platform::system_error_wide_text(own.error()));
  }
  const std::wstring written = own.path() + L"/workbook";
  HRESULT hr;
  {
    jet_held<IStorage> storage;
    hr = StgCreateDocfile(written.c_str(), STGM_FAILIFTHERE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &storage.p);
    jet_held<IStream> data;
    if (SUCCEEDED(hr))
      hr = storage.p->CreateStream(jet_stream_name(v).c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                   0, 0, &data.p);
    if (SUCCEEDED(hr)) {
      // Small pieces are gathered: a stream that starts small would begin in
      // the file's mini stream and leave it behind when it grows.
      constexpr std::size_t gathered = 65536;
      std::vector<std::uint8_t> pending;
      auto write = [&](const std::uint8_t* piece, std::size_t size) {
        ULONG written = 0;
        hr = data.p->Write(piece, static_cast<ULONG>(size), &written);
        if (SUCCEEDED(hr) && written != size) hr = STG_E_WRITEFAULT;
        return SUCCEEDED(hr);
      };
      try {
        bool done = stream([&](const std::uint8_t* piece, std::size_t size) {
          if (pending.size() + size < gathered) {
            pending.insert(pending.end(), piece, piece + size);
            return true;
          }
          if (!pending.empty()) {
            std::size_t fill = gathered - pending.size();
            pending.insert(pending.end(), piece, piece + fill);
            piece += fill;
            size -= fill;
            if (!write(pending.data(), pending.size())) return false;
            pending.clear();
          }
          return size == 0 || write(piece, size);
        });
        if (done && !pending.empty()) write(pending.data(), pending.size());
      } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
      } catch (const std::length_error&) {
        hr = STG_E_DOCFILETOOLARGE;
      } catch (const std::exception&) {
        hr = E_UNEXPECTED;
      }
    }
    if (data.p) {
      data.p->Release();
      data.p = nullptr;
    }
    if (SUCCEEDED(hr)) hr = storage.p->Commit(STGC_DEFAULT);
  }
  if (FAILED(hr))
    return cannot(session, jet_error::write_failed, L"Cannot write", path, reason(hr));
  if (int rc = qm_platform::put_in_place(written, path))
    return cannot(session, jet_error::write_failed, L"Cannot write", path, qm_platform::system_error_wide_text(rc));
  return S_OK;
}
