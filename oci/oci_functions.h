// The table of client functions the engine calls: one pointer per function,
// bound at run time from whichever client library was found. This table is
// the only way the engine reaches OCI.
#pragma once

#include "oci/oci_prototypes.h"

#define QM_OCI_FUNCTIONS(X)                                                                  \
  X(OCIEnvNlsCreate) X(OCIHandleAlloc) X(OCIHandleFree) X(OCIDescriptorAlloc)                \
  X(OCIDescriptorFree) X(OCIServerAttach) X(OCIServerDetach) X(OCISessionBegin)              \
  X(OCISessionEnd) X(OCIAttrSet) X(OCIAttrGet) X(OCIParamGet) X(OCIStmtPrepare)              \
  X(OCIStmtExecute) X(OCIStmtFetch) X(OCIDefineByPos) X(OCIBindByPos) X(OCIErrorGet)         \
  X(OCILobRead) X(OCILobWrite) X(OCILobCharSetForm) X(OCIDateTimeGetDate)                    \
  X(OCIDateTimeGetTime) X(OCIBreak)

// Names the functions for fault injection and diagnostics.
enum class oci_fn {
#define QM_OCI_ENUM(name) name,
  QM_OCI_FUNCTIONS(QM_OCI_ENUM)
#undef QM_OCI_ENUM
  count
};

struct oci_functions {
#define QM_OCI_MEMBER(name) decltype(&::name) name = nullptr;
  QM_OCI_FUNCTIONS(QM_OCI_MEMBER)
#undef QM_OCI_MEMBER
};

// The symbol name of a function ("OCIStmtExecute").
const char* oci_fn_name(oci_fn fn);
