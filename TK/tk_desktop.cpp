#include "TK/tk_desktop.h"

#include "TK/tk_file_name.h"
#include "TK/tk_log.h"
#include "platform/clipboard.h"
#include "platform/mapi.h"
#include "platform/module.h"

#include <cstdio>
#include <cstring>

void tk_copy_to_clipboard2(const std::wstring& text) {
  tk_log::write(2, L"tk_copy_to_clipboard2(%ls)", text.c_str());
  // The clipboard's Unicode text is UTF-16.
  std::u16string units;
  for (wchar_t c : text) {
    char32_t code = static_cast<char32_t>(c);
    if (code >= 0x10000) {
      code -= 0x10000;
      units.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(code));
    }
  }
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, (units.size() + 1) * 2);
  if (!memory) {
    tk_log::write(2, "GlobalAlloc failed");
    return;
  }
  void* bytes = GlobalLock(memory);
  std::memcpy(bytes, units.c_str(), (units.size() + 1) * 2);
  GlobalUnlock(memory);
  if (!OpenClipboard(nullptr)) {
    tk_log::write(2, "GetLastError() returns %08X", GetLastError());
    GlobalFree(memory);
    return;
  }
  tk_log::write(2, "OpenClipboard succeeded");
  EmptyClipboard();
  if (!SetClipboardData(CF_UNICODETEXT, reinterpret_cast<HANDLE>(memory))) GlobalFree(memory);
  CloseClipboard();
}

void tk_send_bug(const std::string& subject, const std::string& body) {
  tk_log::write(2, "tk_send_bug(%s|%s)", subject.c_str(), body.c_str());
  std::string name = TK_SUPPORT_CONTACT;
  std::string address;
  MapiRecipDesc recipient{};
  recipient.ulRecipClass = MAPI_TO;
  recipient.lpszName = name.data();
  recipient.lpszAddress = address.data();

  std::string full_subject = "Bug report on " + subject;
  std::string note = body;
  char date[64] = "";
  SYSTEMTIME now{};
  GetLocalTime(&now);
  std::snprintf(date, sizeof date, "%d/%d/%d %d:%d", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute);

  MapiMessage message{};
  message.lpszSubject = full_subject.data();
  message.lpszNoteText = note.data();
  message.lpszDateReceived = date;
  message.nRecipCount = 1;
  message.lpRecips = &recipient;

  // A mail client that changes the current folder cannot leave it changed.
  tk_temp_chdir keep(".");
  HMODULE library = LoadLibraryA(qm_mail_library_name());
  if (!library) {
    tk_log::write(2, "Failed to locate MAPI32.DLL");
    return;
  }
  auto send = reinterpret_cast<LPMAPISENDMAIL>(GetProcAddress(library, "MAPISendMail"));
  tk_log::write(2, "lpfnMAPISendMail=%08lX", static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(send)));
  if (send) {
    ULONG result = send(0, 0, &message, 0, 0);
    tk_log::write(2, "lpfnMAPISendMail returns %d", static_cast<int>(result));
  }
  FreeLibrary(library);
}

std::uint32_t get_dll_version(const wchar_t* file_name) {
  HMODULE library = LoadLibraryW(file_name);
  if (!library) {
    tk_log::write(1, "get_dll_version failed to load DLL");
    return 0;
  }
  auto proc = reinterpret_cast<DLLGETVERSIONPROC>(GetProcAddress(library, "DllGetVersion"));
  if (!proc) {
    tk_log::write(1, "get_dll_version failed to obtain DllGetVersion");
    FreeLibrary(library);
    return 0;
  }
  DLLVERSIONINFO info{};
  info.cbSize = sizeof info;
  std::uint32_t version = 0;
  if (proc(&info) >= 0) version = (info.dwMajorVersion << 16) | (info.dwMinorVersion & 0xFFFF);
  FreeLibrary(library);
  return version;
}
