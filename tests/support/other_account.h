// Another account than the one the tests run as, for the cases of files and
// folders of two users: root sets them up, and a child process of the test
// becomes the other account to act on them.
#pragma once

#include "tests/support/temp_folder.h"

#include <functional>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qm_test {

struct account {
  uid_t user;
  gid_t group;
};

// "nobody", or its usual ids.
inline account other_account() {
  const passwd* entry = getpwnam("nobody");
  return entry ? account{entry->pw_uid, entry->pw_gid} : account{65534, 65534};
}

// What `step` returns, run in a child process that is `who` (root only);
// "(not run)" when the child could not become that account or did not end.
inline std::string as_account(const account& who, const std::function<std::string()>& step) {
  int out[2];
  if (pipe(out) != 0) return "(not run)";
  pid_t child = fork();
  if (child == 0) {
    ::close(out[0]);
    if (setgroups(0, nullptr) != 0 || setresgid(who.group, who.group, who.group) != 0 ||
        setresuid(who.user, who.user, who.user) != 0)
      _exit(1);
    std::string said = step();
    bool written = ::write(out[1], said.data(), said.size()) == static_cast<ssize_t>(said.size());
    _exit(written ? 0 : 1);
  }
  ::close(out[1]);
  std::string said;
  char buffer[512];
  for (ssize_t n; child > 0 && (n = ::read(out[0], buffer, sizeof buffer)) > 0;) said.append(buffer, n);
  ::close(out[0]);
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return "(not run)";
  return said;
}

// A folder of the test's that another account can reach: the folders above
// it that are the test's own get search permission for everyone.
class shared_folder : public temp_folder {
 public:
  shared_folder() : temp_folder("qm_shared_") {
    for (std::string at = path; at.size() > 1; at = at.substr(0, at.rfind('/'))) {
      struct stat st {};
      if (stat(at.c_str(), &st) == 0 && st.st_uid == geteuid()) chmod(at.c_str(), (st.st_mode & 07777) | 0711);
    }
  }
};

}  // namespace qm_test
