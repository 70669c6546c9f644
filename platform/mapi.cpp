#include "platform/mapi.h"

#include <cstdlib>

const char* qm_mail_library_name() {
  const char* name = std::getenv("QUILLMARK_MAIL_LIBRARY");
  return name && *name ? name : "libmapi32.so";
}
