#include "platform/private_file.h"

#include "platform/private_folder.h"
#include "platform/system_error.h"
#include "platform/utf8.h"
#include "platform/write_all.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace qm_platform {

std::wstring replace_failure::text() const { return reason.empty() ? system_error_wide_text(error) : reason; }

replace_failure replace_private_file(const std::string& path, const std::string& text) {
  std::string target;
  if (link_refusal refusal = replacement_target(path, target); refusal != link_refusal::none)
    return {0, link_refusal_text(refusal)};
  private_folder own(path_from_utf8(target.c_str()));
  if (own.path().empty()) return {own.error(), {}};
  std::wstring written = own.path() + L"/settings";
  int fd = ::open(path_to_utf8(written.c_str()).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return {errno, {}};
  int error = write_all(fd, text.data(), text.size());
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0) error = put_in_place(written, path_from_utf8(target.c_str()), replaced_access::owner_only);
  return {error, {}};
}

}  // namespace qm_platform
