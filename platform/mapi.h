// The simple mail interface of a desktop mail client, loaded at run time.
#pragma once

#include "platform/win32.h"

#include <cstdint>

using FLAGS = ULONG;
using ULONG_PTR = std::uintptr_t;
using LHANDLE = ULONG_PTR;

#define MAPI_ORIG 0u
#define MAPI_TO 1u
#define SUCCESS_SUCCESS 0u

struct MapiRecipDesc {
  ULONG ulReserved;
  ULONG ulRecipClass;
  LPSTR lpszName;
  LPSTR lpszAddress;
  ULONG ulEIDSize;
  LPVOID lpEntryID;
};

struct MapiFileDesc {
  ULONG ulReserved;
  ULONG flFlags;
  ULONG nPosition;
  LPSTR lpszPathName;
  LPSTR lpszFileName;
  LPVOID lpFileType;
};

struct MapiMessage {
  ULONG ulReserved;
  LPSTR lpszSubject;
  LPSTR lpszNoteText;
  LPSTR lpszMessageType;
  LPSTR lpszDateReceived;
  LPSTR lpszConversationID;
  FLAGS flFlags;
  MapiRecipDesc* lpOriginator;
  ULONG nRecipCount;
  MapiRecipDesc* lpRecips;
  ULONG nFileCount;
  MapiFileDesc* lpFiles;
};

using LPMAPISENDMAIL = ULONG (*)(LHANDLE session, ULONG_PTR ui_param, MapiMessage* message, FLAGS flags,
                                 ULONG reserved);

// The mail library of this desktop: the file named by QUILLMARK_MAIL_LIBRARY
// when it is set, else "libmapi32.so" on the loader's path. None is
// installed by default.
const char* qm_mail_library_name();
