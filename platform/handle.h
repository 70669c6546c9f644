// Kernel objects behind HANDLE: each kind derives from qm_handle.
#pragma once
#include "platform/win32.h"

struct qm_handle {
  virtual ~qm_handle() = default;
  // WaitForSingleObject on this object; WAIT_OBJECT_0 when signalled.
  virtual DWORD wait(DWORD milliseconds) = 0;
};
