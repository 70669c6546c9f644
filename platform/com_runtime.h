// The COM run time: per-thread initialisation and object creation by class
// id. Classes are registered in the process by the layers that provide them;
// creating an unregistered class fails as on a machine without it.
#pragma once

#include "platform/com.h"

constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);

#define CLSCTX_INPROC_SERVER 0x1u
#define CLSCTX_INPROC_HANDLER 0x2u
#define CLSCTX_LOCAL_SERVER 0x4u
#define CLSCTX_REMOTE_SERVER 0x10u
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

// S_OK the first time on a thread, S_FALSE when already initialised.
HRESULT CoInitialize(LPVOID reserved);
void CoUninitialize();
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object);

// Makes one object of a registered class and answers `iid` for it.
using qm_class_factory = HRESULT (*)(REFIID iid, void** object);
// Registers (or, with a null factory, removes) the class for this process.
void qm_register_class(REFCLSID clsid, qm_class_factory factory);

// The task allocator: memory that one side allocates and the other frees,
// such as the names in STATSTG.
LPVOID CoTaskMemAlloc(std::size_t size);
void CoTaskMemFree(LPVOID memory);
