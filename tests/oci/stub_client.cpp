// A client library that lacks most functions: the loader must refuse it.
#include "oci/oci_types.h"

extern "C" __attribute__((visibility("default"))) sword OCIEnvNlsCreate() { return OCI_ERROR; }
