// Fault injection for tests: makes the Nth call of one client function fail
// as the client would, without touching the client itself.
#pragma once

#include "oci/oci_functions.h"

#include <functional>
#include <string>

struct oci_fault {
  oci_fn function = oci_fn::OCIStmtExecute;
  unsigned nth = 1;  // counted from the moment the fault is armed
  sword status = OCI_ERROR;
  // What the next OCIErrorGet reports after the fault fired (once).
  sb4 error_code = 0;
  std::string message;  // UTF-8
  bool utf16 = true;    // the text is written as UTF-16 (character set 1000)
  // When set, the client's own call is made first and this gets its
  // status, may change what the call gave back (a client that tells
  // something its own way) and returns the status the caller sees; the
  // error above is reported with an OCI_ERROR or OCI_SUCCESS_WITH_INFO.
  std::function<sword(sword)> then;
};

// While an injector lives, every entry of the process-wide table passes
// through a counting trampoline. Create it before the calls under test and
// while no other thread calls OCI; only one may exist at a time.
class oci_fault_injector {
 public:
  oci_fault_injector();  // loads the process-wide library; throws when missing
  ~oci_fault_injector();
  oci_fault_injector(const oci_fault_injector&) = delete;
  oci_fault_injector& operator=(const oci_fault_injector&) = delete;

  // Arms one fault; each fires once.
  void fail(const oci_fault& fault);
  // Calls of a function seen since the injector was created.
  unsigned calls(oci_fn fn) const;
  bool fired(oci_fn fn) const;
};
