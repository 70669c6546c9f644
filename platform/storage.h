// Structured storage: compound files (version 3, 512-byte sectors, written;
// version 4 read as well) behind StgOpenStorage / StgCreateDocfile and the
// IStorage and IStream interfaces.
//
// What this layer does:
// - Direct mode only. Stream bytes go to the file as they are written
//   (small writes gathered in a buffer of 64 KB that the next read, Commit
//   or Release empties, so a failure to write them may be answered by that
//   call); the file's tables (allocation table, mini table, directory,
//   header) are written when the root storage is committed, or on its last
//   Release. Release cannot report a failure, so a writer that must know
//   calls Commit first. Overwriting bytes inside a stream's size changes
//   nothing but those bytes.
// - Streams shorter than 4096 bytes live in the mini stream; a stream moves
//   between the two as its size crosses that line.
// - Elements are opened and created STGM_SHARE_EXCLUSIVE, and an element is
//   open at most once. A file opened for writing (or with a share mode that
//   denies others) is locked against any other opening of it.
// - Sub-storages of a file are kept and walked, but not opened or made.
// - A file that is not a compound file gives STG_E_FILEALREADYEXISTS, a
//   broken one STG_E_INVALIDHEADER or STG_E_DOCFILECORRUPT; file-system
//   errors turn into STG_E_* results. After the root storage's last release
//   its streams answer STG_E_REVERTED.
#pragma once

#include "platform/com.h"
#include "platform/oleauto.h"

// Storage modes.
constexpr DWORD STGM_DIRECT = 0x00000000;
constexpr DWORD STGM_TRANSACTED = 0x00010000;
constexpr DWORD STGM_SIMPLE = 0x08000000;
constexpr DWORD STGM_READ = 0x00000000;
constexpr DWORD STGM_WRITE = 0x00000001;
constexpr DWORD STGM_READWRITE = 0x00000002;
constexpr DWORD STGM_SHARE_DENY_NONE = 0x00000040;
constexpr DWORD STGM_SHARE_DENY_READ = 0x00000030;
constexpr DWORD STGM_SHARE_DENY_WRITE = 0x00000020;
constexpr DWORD STGM_SHARE_EXCLUSIVE = 0x00000010;
constexpr DWORD STGM_PRIORITY = 0x00040000;
constexpr DWORD STGM_DELETEONRELEASE = 0x04000000;
constexpr DWORD STGM_NOSCRATCH = 0x00100000;
constexpr DWORD STGM_CREATE = 0x00001000;
constexpr DWORD STGM_CONVERT = 0x00020000;
constexpr DWORD STGM_FAILIFTHERE = 0x00000000;
constexpr DWORD STGM_NOSNAPSHOT = 0x00200000;
constexpr DWORD STGM_DIRECT_SWMR = 0x00400000;

// Storage results.
constexpr HRESULT STG_E_INVALIDFUNCTION = static_cast<HRESULT>(0x80030001u);
constexpr HRESULT STG_E_FILENOTFOUND = static_cast<HRESULT>(0x80030002u);
constexpr HRESULT STG_E_PATHNOTFOUND = static_cast<HRESULT>(0x80030003u);
constexpr HRESULT STG_E_TOOMANYOPENFILES = static_cast<HRESULT>(0x80030004u);
constexpr HRESULT STG_E_ACCESSDENIED = static_cast<HRESULT>(0x80030005u);
constexpr HRESULT STG_E_INVALIDHANDLE = static_cast<HRESULT>(0x80030006u);
constexpr HRESULT STG_E_INSUFFICIENTMEMORY = static_cast<HRESULT>(0x80030008u);
constexpr HRESULT STG_E_INVALIDPOINTER = static_cast<HRESULT>(0x80030009u);
constexpr HRESULT STG_E_NOMOREFILES = static_cast<HRESULT>(0x80030012u);
constexpr HRESULT STG_E_DISKISWRITEPROTECTED = static_cast<HRESULT>(0x80030013u);
constexpr HRESULT STG_E_SEEKERROR = static_cast<HRESULT>(0x80030019u);
constexpr HRESULT STG_E_WRITEFAULT = static_cast<HRESULT>(0x8003001Du);
constexpr HRESULT STG_E_READFAULT = static_cast<HRESULT>(0x8003001Eu);
constexpr HRESULT STG_E_SHAREVIOLATION = static_cast<HRESULT>(0x80030020u);
constexpr HRESULT STG_E_LOCKVIOLATION = static_cast<HRESULT>(0x80030021u);
constexpr HRESULT STG_E_FILEALREADYEXISTS = static_cast<HRESULT>(0x80030050u);
constexpr HRESULT STG_E_INVALIDPARAMETER = static_cast<HRESULT>(0x80030057u);
constexpr HRESULT STG_E_MEDIUMFULL = static_cast<HRESULT>(0x80030070u);
constexpr HRESULT STG_E_ABNORMALAPIEXIT = static_cast<HRESULT>(0x800300FAu);
constexpr HRESULT STG_E_INVALIDHEADER = static_cast<HRESULT>(0x800300FBu);
constexpr HRESULT STG_E_INVALIDNAME = static_cast<HRESULT>(0x800300FCu);
constexpr HRESULT STG_E_UNKNOWN = static_cast<HRESULT>(0x800300FDu);
constexpr HRESULT STG_E_UNIMPLEMENTEDFUNCTION = static_cast<HRESULT>(0x800300FEu);
constexpr HRESULT STG_E_INVALIDFLAG = static_cast<HRESULT>(0x800300FFu);
constexpr HRESULT STG_E_INUSE = static_cast<HRESULT>(0x80030100u);
constexpr HRESULT STG_E_NOTCURRENT = static_cast<HRESULT>(0x80030101u);
constexpr HRESULT STG_E_REVERTED = static_cast<HRESULT>(0x80030102u);
constexpr HRESULT STG_E_CANTSAVE = static_cast<HRESULT>(0x80030103u);
constexpr HRESULT STG_E_OLDFORMAT = static_cast<HRESULT>(0x80030104u);
constexpr HRESULT STG_E_DOCFILECORRUPT = static_cast<HRESULT>(0x80030109u);
constexpr HRESULT STG_E_DOCFILETOOLARGE = static_cast<HRESULT>(0x80030111u);

// Element kinds of STATSTG::type.
constexpr DWORD STGTY_STORAGE = 1;
constexpr DWORD STGTY_STREAM = 2;
constexpr DWORD STGTY_LOCKBYTES = 3;
constexpr DWORD STGTY_PROPERTY = 4;

// Seek origins.
constexpr DWORD STREAM_SEEK_SET = 0;
constexpr DWORD STREAM_SEEK_CUR = 1;
constexpr DWORD STREAM_SEEK_END = 2;

// Stat flags: STATFLAG_NONAME leaves pwcsName null.
constexpr DWORD STATFLAG_DEFAULT = 0;
constexpr DWORD STATFLAG_NONAME = 1;
constexpr DWORD STATFLAG_NOOPEN = 2;

// Commit flags (all commit the same way here).
constexpr DWORD STGC_DEFAULT = 0;
constexpr DWORD STGC_OVERWRITE = 1;
constexpr DWORD STGC_ONLYIFCURRENT = 2;
constexpr DWORD STGC_DANGEROUSLYCOMMITMERELYTODISKCACHE = 4;
constexpr DWORD STGC_CONSOLIDATE = 8;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

// pwcsName is allocated with CoTaskMemAlloc; the caller frees it with
// CoTaskMemFree.
struct STATSTG {
  LPOLESTR pwcsName;
  DWORD type;
  ULARGE_INTEGER cbSize;
  FILETIME mtime;
  FILETIME ctime;
  FILETIME atime;
  DWORD grfMode;
  DWORD grfLocksSupported;
  CLSID clsid;
  DWORD grfStateBits;
  DWORD reserved;
};

using SNB = OLECHAR**;

// {0C733A30-2A1C-11CE-ADE5-00AA0044773D}
inline constexpr IID IID_ISequentialStream = {0x0C733A30, 0x2A1C, 0x11CE,
                                              {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
// {0000000C-0000-0000-C000-000000000046}
inline constexpr IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {0000000B-0000-0000-C000-000000000046}
inline constexpr IID IID_IStorage = {0x0000000B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {0000000D-0000-0000-C000-000000000046}
inline constexpr IID IID_IEnumSTATSTG = {0x0000000D, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

struct ISequentialStream : IUnknown {
  // Reads up to `size` bytes from the seek pointer; S_OK with fewer at the end.
  virtual HRESULT Read(void* data, ULONG size, ULONG* read) = 0;
  // Writes at the seek pointer, growing the stream when needed.
  virtual HRESULT Write(const void* data, ULONG size, ULONG* written) = 0;

 protected:
  ~ISequentialStream() = default;
};

// CopyTo, Revert, LockRegion, UnlockRegion and Clone answer
// STG_E_UNIMPLEMENTEDFUNCTION; Commit has nothing to do in direct mode.
struct IStream : ISequentialStream {
  virtual HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) = 0;
  virtual HRESULT SetSize(ULARGE_INTEGER size) = 0;
  virtual HRESULT CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read, ULARGE_INTEGER* written) = 0;
  virtual HRESULT Commit(DWORD flags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) = 0;
  virtual HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) = 0;
  virtual HRESULT Stat(STATSTG* stat, DWORD flag) = 0;
  virtual HRESULT Clone(IStream** copy) = 0;

 protected:
  ~IStream() = default;
};

struct IEnumSTATSTG : IUnknown {
  virtual HRESULT Next(ULONG count, STATSTG* items, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumSTATSTG** copy) = 0;

 protected:
  ~IEnumSTATSTG() = default;
};

// CreateStorage, OpenStorage, CopyTo, MoveElementTo, RenameElement,
// SetElementTimes and SetStateBits answer STG_E_UNIMPLEMENTEDFUNCTION;
// Revert has nothing to undo in direct mode.
struct IStorage : IUnknown {
  // Modes: STGM_READWRITE | STGM_SHARE_EXCLUSIVE, with STGM_CREATE to replace
  // an element of that name.
  virtual HRESULT CreateStream(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2,
                               IStream** stream) = 0;
  // Modes: STGM_READ or STGM_READWRITE (the latter only in a storage open
  // for writing), always with STGM_SHARE_EXCLUSIVE.
  virtual HRESULT OpenStream(const OLECHAR* name, void* reserved1, DWORD mode, DWORD reserved2,
                             IStream** stream) = 0;
  virtual HRESULT CreateStorage(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2,
                                IStorage** storage) = 0;
  virtual HRESULT OpenStorage(const OLECHAR* name, IStorage* priority, DWORD mode, SNB exclude, DWORD reserved,
                              IStorage** storage) = 0;
  virtual HRESULT CopyTo(DWORD exclude_count, const IID* exclude_iids, SNB exclude, IStorage* target) = 0;
  virtual HRESULT MoveElementTo(const OLECHAR* name, IStorage* target, const OLECHAR* new_name, DWORD flags) = 0;
  // Writes the file's tables and flushes the file.
  virtual HRESULT Commit(DWORD flags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3, IEnumSTATSTG** items) = 0;
  // Removes a stream, or a sub-storage with everything in it.
  virtual HRESULT DestroyElement(const OLECHAR* name) = 0;
  virtual HRESULT RenameElement(const OLECHAR* old_name, const OLECHAR* new_name) = 0;
  virtual HRESULT SetElementTimes(const OLECHAR* name, const FILETIME* ctime, const FILETIME* atime,
                                  const FILETIME* mtime) = 0;
  virtual HRESULT SetClass(REFCLSID clsid) = 0;
  virtual HRESULT SetStateBits(DWORD bits, DWORD mask) = 0;
  virtual HRESULT Stat(STATSTG* stat, DWORD flag) = 0;

 protected:
  ~IStorage() = default;
};

// Opens a compound file. Modes: STGM_READ (with any share mode) or
// STGM_READWRITE | STGM_SHARE_EXCLUSIVE; priority, exclude and reserved
// must be null / 0.
HRESULT StgOpenStorage(const OLECHAR* name, IStorage* priority, DWORD mode, SNB exclude, DWORD reserved,
                       IStorage** storage);
// Creates a compound file (version 3) holding only its root storage.
// Modes: STGM_READWRITE | STGM_SHARE_EXCLUSIVE, with STGM_CREATE to replace
// an existing file (else STG_E_FILEALREADYEXISTS).
HRESULT StgCreateDocfile(const OLECHAR* name, DWORD mode, DWORD reserved, IStorage** storage);
