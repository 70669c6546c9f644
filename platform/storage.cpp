#include "platform/storage.h"

#include "platform/com_runtime.h"
#include "platform/compound_file.h"
#include "platform/utf8.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <unistd.h>
#include <vector>

using qm_platform::compound_file;

namespace {

constexpr DWORD access_mask = 0x3;
constexpr DWORD share_mask = 0x70;

// Methods answer a failure, never an exception.
template <class F>
HRESULT guarded(F body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return STG_E_INSUFFICIENTMEMORY;
  }
}

HRESULT element_name(const OLECHAR* name, std::u16string& out) {
  if (!name) return STG_E_INVALIDPOINTER;
  out.clear();
  for (const OLECHAR* p = name; *p; ++p) {
    auto c = static_cast<std::uint32_t>(*p);
    if (c == '/' || c == '\\' || c == ':' || c == '!' || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
      return STG_E_INVALIDNAME;
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    if (out.size() > qm_platform::cf_max_name) return STG_E_INVALIDNAME;
  }
  return out.empty() ? STG_E_INVALIDNAME : S_OK;
}

std::wstring wide_name(const std::u16string& name) {
  std::wstring out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char32_t c = name[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF)
      c = 0x10000 + ((c - 0xD800) << 10) + (name[++i] - 0xDC00);
    out.push_back(static_cast<wchar_t>(c));
  }
  return out;
}

LPOLESTR task_copy(const std::wstring& text) {
  auto* p = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
  if (p) std::wmemcpy(p, text.c_str(), text.size() + 1);
  return p;
}

FILETIME time_at(const std::uint8_t* p) {
  FILETIME t;
  t.dwLowDateTime = std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
  t.dwHighDateTime = std::uint32_t{p[4]} | (std::uint32_t{p[5]} << 8) | (std::uint32_t{p[6]} << 16) | (std::uint32_t{p[7]} << 24);
  return t;
}

// What Stat tells of an element, apart from its name and mode.
void describe(const qm_platform::cf_entry& e, STATSTG& s) {
  std::memset(&s, 0, sizeof s);
  s.type = e.type == qm_platform::cf_type_stream ? STGTY_STREAM : STGTY_STORAGE;
  if (e.type == qm_platform::cf_type_stream) s.cbSize.QuadPart = e.size;
  s.ctime = time_at(e.raw + 0x64);
  s.mtime = time_at(e.raw + 0x6C);
  s.clsid.Data1 = time_at(e.raw + 0x50).dwLowDateTime;
  s.clsid.Data2 = static_cast<WORD>(e.raw[0x54] | (e.raw[0x55] << 8));
  s.clsid.Data3 = static_cast<WORD>(e.raw[0x56] | (e.raw[0x57] << 8));
  std::memcpy(s.clsid.Data4, e.raw + 0x58, 8);
  s.grfStateBits = time_at(e.raw + 0x60).dwLowDateTime;
}

template <class Interface>
class com_object : public Interface {
 public:
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~com_object() = default;
  HRESULT answer(REFIID iid, void** object, std::initializer_list<const IID*> iids) {
    if (!object) return E_POINTER;
    *object = nullptr;
    for (const IID* known : iids)
      if (IsEqualGUID(iid, *known)) {
        *object = this;
        AddRef();
        return S_OK;
      }
    return E_NOINTERFACE;
  }

 private:
  std::atomic<ULONG> refs_{1};
};

class stream_object final : public com_object<IStream> {
 public:
  stream_object(std::shared_ptr<compound_file> file, std::uint32_t id, DWORD mode)
      : file_(std::move(file)), id_(id), mode_(mode) {
    file_->set_open(id_, true);
  }

  HRESULT QueryInterface(REFIID iid, void** object) override {
    return answer(iid, object, {&IID_IUnknown, &IID_ISequentialStream, &IID_IStream});
  }

  HRESULT Read(void* data, ULONG size, ULONG* read) override {
    if (read) *read = 0;
    if (!data && size) return STG_E_INVALIDPOINTER;
    return guarded([&] {
      std::size_t got = 0;
      HRESULT hr = file_->read(id_, position_, data, size, got);
      position_ += got;
      if (read) *read = static_cast<ULONG>(got);
      return hr;
    });
  }

  HRESULT Write(const void* data, ULONG size, ULONG* written) override {
    if (written) *written = 0;
    if (!data && size) return STG_E_INVALIDPOINTER;
    if (file_->closed()) return STG_E_REVERTED;
    if ((mode_ & access_mask) == STGM_READ) return STG_E_ACCESSDENIED;
    return guarded([&] {
      HRESULT hr = file_->write(id_, position_, data, size);
      if (FAILED(hr)) return hr;
      position_ += size;
      if (written) *written = size;
      return S_OK;
    });
  }

  HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
    if (file_->closed()) return STG_E_REVERTED;
    std::int64_t base;
    switch (origin) {
      case STREAM_SEEK_SET: base = 0; break;
      case STREAM_SEEK_CUR: base = static_cast<std::int64_t>(position_); break;
      case STREAM_SEEK_END: base = static_cast<std::int64_t>(file_->entry(id_).size); break;
      default: return STG_E_INVALIDFUNCTION;
    }
    std::int64_t to = base + move.QuadPart;
    if ((move.QuadPart > 0 && to < base) || to < 0) return STG_E_INVALIDFUNCTION;
    position_ = static_cast<std::uint64_t>(to);
    if (position) position->QuadPart = position_;
    return S_OK;
  }

  HRESULT SetSize(ULARGE_INTEGER size) override {
    if (file_->closed()) return STG_E_REVERTED;
    if ((mode_ & access_mask) == STGM_READ) return STG_E_ACCESSDENIED;
    return guarded([&] { return file_->set_size(id_, size.QuadPart); });
  }

  HRESULT CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return STG_E_UNIMPLEMENTEDFUNCTION;
  }
  HRESULT Commit(DWORD) override { return file_->closed() ? STG_E_REVERTED : S_OK; }
  HRESULT Revert() override { return S_OK; }
  HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_UNIMPLEMENTEDFUNCTION; }
  HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_UNIMPLEMENTEDFUNCTION; }
  HRESULT Clone(IStream** copy) override {
    if (copy) *copy = nullptr;
    return STG_E_UNIMPLEMENTEDFUNCTION;
  }

  HRESULT Stat(STATSTG* stat, DWORD flag) override {
    if (!stat) return STG_E_INVALIDPOINTER;
    if (file_->closed()) return STG_E_REVERTED;
    const qm_platform::cf_entry& e = file_->entry(id_);
    describe(e, *stat);
    stat->grfMode = mode_;
    if (!(flag & STATFLAG_NONAME) && !(stat->pwcsName = task_copy(wide_name(e.name))))
      return STG_E_INSUFFICIENTMEMORY;
    return S_OK;
  }

 private:
  ~stream_object() override { file_->set_open(id_, false); }

  std::shared_ptr<compound_file> file_;
  std::uint32_t id_;
  DWORD mode_;
  std::uint64_t position_ = 0;
};

class enum_object final : public com_object<IEnumSTATSTG> {
 public:
  struct item {
    STATSTG stat;
    std::wstring name;
  };
  explicit enum_object(std::shared_ptr<std::vector<item>> items, std::size_t at = 0)
      : items_(std::move(items)), at_(at) {}

  HRESULT QueryInterface(REFIID iid, void** object) override {
    return answer(iid, object, {&IID_IUnknown, &IID_IEnumSTATSTG});
  }
  HRESULT Next(ULONG count, STATSTG* out, ULONG* fetched) override {
    if (fetched) *fetched = 0;
    if (!out) return STG_E_INVALIDPOINTER;
    if (count > 1 && !fetched) return STG_E_INVALIDPARAMETER;
    ULONG n = 0;
    for (; n < count && at_ < items_->size(); ++n, ++at_) {
      out[n] = (*items_)[at_].stat;
      if (!(out[n].pwcsName = task_copy((*items_)[at_].name))) {
        while (n > 0) CoTaskMemFree(out[--n].pwcsName);
        return STG_E_INSUFFICIENTMEMORY;
      }
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    std::size_t left = items_->size() - at_;
    at_ += std::min<std::size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    at_ = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumSTATSTG** copy) override {
    if (!copy) return STG_E_INVALIDPOINTER;
    return guarded([&] {
      *copy = new enum_object(items_, at_);
      return S_OK;
    });
  }

 private:
  std::shared_ptr<std::vector<item>> items_;
  std::size_t at_;
};

class storage_object final : public com_object<IStorage> {
 public:
  storage_object(std::shared_ptr<compound_file> file, DWORD mode, std::wstring path)
      : file_(std::move(file)), mode_(mode), path_(std::move(path)) {}

  HRESULT QueryInterface(REFIID iid, void** object) override {
    return answer(iid, object, {&IID_IUnknown, &IID_IStorage});
  }

  HRESULT CreateStream(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2, IStream** stream) override {
    if (!stream) return STG_E_INVALIDPOINTER;
    *stream = nullptr;
    if (reserved1 || reserved2) return STG_E_INVALIDPARAMETER;
    if ((mode & ~(access_mask | share_mask | STGM_CREATE)) || (mode & share_mask) != STGM_SHARE_EXCLUSIVE ||
        ((mode & access_mask) != STGM_WRITE && (mode & access_mask) != STGM_READWRITE))
      return STG_E_INVALIDFLAG;
    if (file_->closed()) return STG_E_REVERTED;
    if (!file_->writable()) return STG_E_ACCESSDENIED;
    return guarded([&] {
      std::u16string n;
      if (HRESULT hr = element_name(name, n); FAILED(hr)) return hr;
      std::uint32_t id = file_->find(0, n);
      if (id != qm_platform::cf_no_entry) {
        if (!(mode & STGM_CREATE)) return STG_E_FILEALREADYEXISTS;
        if (HRESULT hr = file_->remove(id); FAILED(hr)) return hr;
      }
      if (HRESULT hr = file_->add_stream(0, n, id); FAILED(hr)) return hr;
      *stream = new stream_object(file_, id, mode & (access_mask | share_mask));
      return S_OK;
    });
  }

  HRESULT OpenStream(const OLECHAR* name, void* reserved1, DWORD mode, DWORD reserved2, IStream** stream) override {
    if (!stream) return STG_E_INVALIDPOINTER;
    *stream = nullptr;
    if (reserved1 || reserved2) return STG_E_INVALIDPARAMETER;
    if ((mode & ~(access_mask | share_mask)) || (mode & share_mask) != STGM_SHARE_EXCLUSIVE ||
        (mode & access_mask) == access_mask)
      return STG_E_INVALIDFLAG;
    if (file_->closed()) return STG_E_REVERTED;
    if ((mode & access_mask) != STGM_READ && !file_->writable()) return STG_E_ACCESSDENIED;
    return guarded([&] {
      std::u16string n;
      if (HRESULT hr = element_name(name, n); FAILED(hr)) return hr;
      std::uint32_t id = file_->find(0, n);
      if (id == qm_platform::cf_no_entry || file_->entry(id).type != qm_platform::cf_type_stream)
        return STG_E_FILENOTFOUND;
      if (file_->entry(id).open) return STG_E_ACCESSDENIED;
      *stream = new stream_object(file_, id, mode);
      return S_OK;
    });
  }

  HRESULT CreateStorage(const OLECHAR*, DWORD, DWORD, DWORD, IStorage** storage) override {
    if (storage) *storage = nullptr;
    return STG_E_UNIMPLEMENTEDFUNCTION;
  }
  HRESULT OpenStorage(const OLECHAR*, IStorage*, DWORD, SNB, DWORD, IStorage** storage) override {
    if (storage) *storage = nullptr;
    return STG_E_UNIMPLEMENTEDFUNCTION;
  }
  HRESULT CopyTo(DWORD, const IID*, SNB, IStorage*) override { return STG_E_UNIMPLEMENTEDFUNCTION; }
  HRESULT MoveElementTo(const OLECHAR*, IStorage*, const OLECHAR*, DWORD) override {
    return STG_E_UNIMPLEMENTEDFUNCTION;
  }

  HRESULT Commit(DWORD) override {
    if (file_->closed()) return STG_E_REVERTED;
    return guarded([&] { return file_->commit(); });
  }
  HRESULT Revert() override { return file_->closed() ? STG_E_REVERTED : S_OK; }

  HRESULT EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3, IEnumSTATSTG** items) override {
    if (!items) return STG_E_INVALIDPOINTER;
    *items = nullptr;
    if (reserved1 || reserved2 || reserved3) return STG_E_INVALIDPARAMETER;
    if (file_->closed()) return STG_E_REVERTED;
    return guarded([&] {
      auto list = std::make_shared<std::vector<enum_object::item>>();
      std::vector<std::uint32_t> ids = file_->entry(0).children;
      std::sort(ids.begin(), ids.end(), [this](std::uint32_t a, std::uint32_t b) {
        return qm_platform::cf_compare_names(file_->entry(a).name, file_->entry(b).name) < 0;
      });
      for (std::uint32_t id : ids) {
        enum_object::item it;
        describe(file_->entry(id), it.stat);
        it.name = wide_name(file_->entry(id).name);
        list->push_back(std::move(it));
      }
      *items = new enum_object(std::move(list));
      return S_OK;
    });
  }

  HRESULT DestroyElement(const OLECHAR* name) override {
    if (file_->closed()) return STG_E_REVERTED;
    if (!file_->writable()) return STG_E_ACCESSDENIED;
    return guarded([&] {
      std::u16string n;
      if (HRESULT hr = element_name(name, n); FAILED(hr)) return hr;
      std::uint32_t id = file_->find(0, n);
      if (id == qm_platform::cf_no_entry) return STG_E_FILENOTFOUND;
      return file_->remove(id);
    });
  }

  HRESULT RenameElement(const OLECHAR*, const OLECHAR*) override { return STG_E_UNIMPLEMENTEDFUNCTION; }
  HRESULT SetElementTimes(const OLECHAR*, const FILETIME*, const FILETIME*, const FILETIME*) override {
    return STG_E_UNIMPLEMENTEDFUNCTION;
  }
  HRESULT SetClass(REFCLSID clsid) override {
    if (file_->closed()) return STG_E_REVERTED;
    if (!file_->writable()) return STG_E_ACCESSDENIED;
    file_->set_class(0, clsid);
    return S_OK;
  }
  HRESULT SetStateBits(DWORD, DWORD) override { return STG_E_UNIMPLEMENTEDFUNCTION; }

  HRESULT Stat(STATSTG* stat, DWORD flag) override {
    if (!stat) return STG_E_INVALIDPOINTER;
    if (file_->closed()) return STG_E_REVERTED;
    describe(file_->entry(0), *stat);
    stat->grfMode = mode_;
    if (!(flag & STATFLAG_NONAME) && !(stat->pwcsName = task_copy(path_))) return STG_E_INSUFFICIENTMEMORY;
    return S_OK;
  }

 private:
  // Release cannot report a failed commit; callers that must know commit first.
  ~storage_object() override {
    try {
      file_->close();
    } catch (const std::bad_alloc&) {
    }
  }

  std::shared_ptr<compound_file> file_;
  DWORD mode_;
  std::wstring path_;
};

}  // namespace

HRESULT StgOpenStorage(const OLECHAR* name, IStorage* priority, DWORD mode, SNB exclude, DWORD reserved,
                       IStorage** storage) {
  if (!storage) return STG_E_INVALIDPOINTER;
  *storage = nullptr;
  if (!name) return STG_E_INVALIDNAME;
  if (priority || exclude || reserved) return STG_E_INVALIDPARAMETER;
  DWORD access = mode & access_mask, share = mode & share_mask;
  if ((mode & ~(access_mask | share_mask)) || access == access_mask || share > STGM_SHARE_DENY_NONE)
    return STG_E_INVALIDFLAG;
  bool writable = access != STGM_READ;
  // Direct writing shares the file with nobody.
  if (writable && share != STGM_SHARE_EXCLUSIVE) return STG_E_INVALIDFLAG;
  bool exclusive = writable || share == STGM_SHARE_EXCLUSIVE || share == STGM_SHARE_DENY_READ;
  return guarded([&] {
    int error = 0;
    auto file = qm_platform::current_storage_files().open(
        name, writable ? qm_platform::storage_open::read_write : qm_platform::storage_open::read, exclusive, error);
    if (!file) return qm_platform::cf_result_of_errno(error, false);
    std::shared_ptr<compound_file> cf;
    if (HRESULT hr = compound_file::open(std::move(file), writable, cf); FAILED(hr)) return hr;
    *storage = new storage_object(std::move(cf), mode, name);
    return S_OK;
  });
}

HRESULT StgCreateDocfile(const OLECHAR* name, DWORD mode, DWORD reserved, IStorage** storage) {
  if (!storage) return STG_E_INVALIDPOINTER;
  *storage = nullptr;
  // No temporary files: a document is always named.
  if (!name) return STG_E_INVALIDNAME;
  if (reserved) return STG_E_INVALIDPARAMETER;
  DWORD access = mode & access_mask;
  if ((mode & ~(access_mask | share_mask | STGM_CREATE)) || (mode & share_mask) != STGM_SHARE_EXCLUSIVE ||
      (access != STGM_WRITE && access != STGM_READWRITE))
    return STG_E_INVALIDFLAG;
  return guarded([&] {
    int error = 0;
    auto how = (mode & STGM_CREATE) ? qm_platform::storage_open::create_always : qm_platform::storage_open::create_new;
    auto file = qm_platform::current_storage_files().open(name, how, true, error);
    // A file to be made is missing only when its folder is.
    if (!file) return error == ENOENT ? STG_E_PATHNOTFOUND : qm_platform::cf_result_of_errno(error, true);
    // A new file that could not be made a compound file (a full disk) goes
    // again, also when the making throws.
    struct made_here {
      std::string path;
      ~made_here() {
        if (!path.empty()) ::unlink(path.c_str());
      }
    } made{how == qm_platform::storage_open::create_new ? qm_platform::path_to_utf8(name) : std::string()};
    std::shared_ptr<compound_file> cf;
    if (HRESULT hr = compound_file::create(std::move(file), cf); FAILED(hr)) return hr;
    made.path.clear();
    *storage = new storage_object(std::move(cf), mode, name);
    return S_OK;
  });
}
