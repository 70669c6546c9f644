#include "platform/file_replacement.h"
#include "platform/private_folder.h"
#include "platform/utf8.h"
#include "tests/support/files.h"
#include "tests/support/other_account.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wide_text.h"

#include <cerrno>
#include <array>
#include <cstdint>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <signal.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

using qm_test::wide;

// What a replacement must keep or change of a file.
struct file_state {
  std::string bytes;
  uid_t owner = 0;
  gid_t group = 0;
  mode_t mode = 0;
  bool operator==(const file_state&) const = default;
};

file_state state_of(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return {qm_test::file_bytes(path), st.st_uid, st.st_gid, st.st_mode & 07777};
}

std::ostream& operator<<(std::ostream& out, const file_state& s) {
  return out << '"' << s.bytes << "\" " << s.owner << ':' << s.group << " 0" << std::oct << s.mode << std::dec;
}

void write_file(const std::string& path, const std::string& text, mode_t mode) {
  std::ofstream(path, std::ios::binary) << text;
  ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

std::string attribute(const std::string& path, const char* name) {
  std::vector<char> value(4096);
  ssize_t n = lgetxattr(path.c_str(), name, value.data(), value.size());
  return n < 0 ? std::string("(none)") : std::string(value.data(), static_cast<std::size_t>(n));
}

// An access ACL in its stored form: version 2, then tag, permission, id.
std::string acl(std::initializer_list<std::array<std::uint32_t, 3>> entries) {
  std::string out("\x02\0\0\0", 4);
  auto put = [&out](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  for (const auto& [tag, perm, id] : entries) {
    put(tag, 2);
    put(perm, 2);
    put(id, 4);
  }
  return out;
}
constexpr std::uint32_t user_obj = 1, named_user = 2, group_obj = 4, mask = 0x10, other = 0x20, no_id = 0xFFFFFFFF;
// The owning group reads; the mask lets the named user nobody write too.
std::string group_reads_nobody_writes() {
  return acl({{user_obj, 6, no_id}, {named_user, 6, 65534}, {group_obj, 4, no_id}, {mask, 6, no_id}, {other, 0, no_id}});
}

// The new file, written in a folder of our own beside `old`, put in its place.
int replace(const std::string& old, const std::string& text,
            qm_platform::replaced_access access = qm_platform::replaced_access::as_old) {
  qm_platform::private_folder own(wide(old));
  if (own.path().empty()) return own.error();
  std::string made = qm_platform::path_to_utf8(own.path().c_str()) + "/new";
  std::ofstream(made, std::ios::binary) << text;
  return qm_platform::put_in_place(wide(made), wide(old), access);
}

using qm_test::account;
using qm_test::as_account;
using qm_test::other_account;
using qm_test::shared_folder;

// Everything the old file gave, its ACL and attributes too: the owning
// group keeps its own entry (r--), not the mask that lets a named user write.
TEST(FileReplacement, TheNewFileTakesWhatTheOldOneHad) {
  qm_test::temp_folder folder("qm_replace_");
  const std::string old = folder.file("report.xls"), other_name = folder.file("other name");
  write_file(old, "yesterday", 0640);
  ASSERT_EQ(link(old.c_str(), other_name.c_str()), 0);
  const std::string rights = group_reads_nobody_writes();
  const bool with_acl = lsetxattr(old.c_str(), "system.posix_acl_access", rights.data(), rights.size(), 0) == 0;
  const bool with_attribute = lsetxattr(old.c_str(), "user.origin", "kept", 4, 0) == 0;
  file_state before = state_of(old);

  ASSERT_EQ(replace(old, "today"), 0);
  file_state after = state_of(old);
  before.bytes = "today";
  EXPECT_EQ(after, before);
  if (with_acl) {
    EXPECT_EQ(attribute(old, "system.posix_acl_access"), rights);
  }
  if (with_attribute) {
    EXPECT_EQ(attribute(old, "user.origin"), "kept");
  }
  // A new file: another name of the old one keeps the old bytes.
  EXPECT_EQ(qm_test::file_bytes(other_name), "yesterday");
  EXPECT_EQ(qm_test::listing(folder.path), "other name\nreport.xls\n");
  if (!with_acl || !with_attribute) GTEST_SKIP() << "the file system takes no ACL or user attribute";
}

// Where the ACL cannot be copied, the owning group keeps what its own entry
// gave it: the mask, which let a named user write, is not its due.
TEST(FileReplacement, AnAclThatCannotBeCopiedLeavesTheGroupItsOwnBits) {
  qm_test::temp_folder folder("qm_replace_");
  const std::string old = folder.file("report.xls");
  write_file(old, "yesterday", 0640);
  const std::string rights = group_reads_nobody_writes();
  if (lsetxattr(old.c_str(), "system.posix_acl_access", rights.data(), rights.size(), 0) != 0)
    GTEST_SKIP() << "the file system takes no ACL";
  ASSERT_EQ(state_of(old).mode, 0660u);
  struct no_attributes : qm_platform::replace_steps {
    qm_platform::replace_steps* before = qm_platform::set_replace_steps(this);
    ~no_attributes() override { qm_platform::set_replace_steps(before); }
    int set_attribute(int, const std::string&, const void*, std::size_t) override { return ENOTSUP; }
  } steps;
  ASSERT_EQ(replace(old, "today"), 0);
  EXPECT_EQ(state_of(old).mode, 0640u);
  EXPECT_EQ(attribute(old, "system.posix_acl_access"), "(none)");
}

// A file that holds a password is its owner's alone, whatever the old one allowed.
TEST(FileReplacement, AnOwnerOnlyFileTakesNoAclAndNoGroupBits) {
  qm_test::temp_folder folder("qm_replace_");
  const std::string old = folder.file("run.qlt");
  write_file(old, "old", 0664);
  const std::string rights = group_reads_nobody_writes();
  lsetxattr(old.c_str(), "system.posix_acl_access", rights.data(), rights.size(), 0);
  ASSERT_EQ(replace(old, "new", qm_platform::replaced_access::owner_only), 0);
  EXPECT_EQ(state_of(old).mode, 0600u);
  EXPECT_EQ(attribute(old, "system.posix_acl_access"), "(none)");
}

// Root keeps another account's file that account's; an account that cannot
// keep the old group takes the group's bits away rather than handing them
// to its own group.
TEST(FileReplacement, TheOwnerAndGroupStayWhereTheSystemAllows) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another account";
  const account other = other_account();
  shared_folder folder;
  const std::string theirs = folder.file("theirs.xls");
  write_file(theirs, "their own", 0600);
  ASSERT_EQ(chown(theirs.c_str(), other.user, other.group), 0);
  file_state before = state_of(theirs);
  ASSERT_EQ(replace(theirs, "new bytes"), 0);
  before.bytes = "new bytes";
  EXPECT_EQ(state_of(theirs), before);
  // Its owner can read it still.
  EXPECT_EQ(as_account(other, [&] { return std::to_string(access(theirs.c_str(), R_OK)); }), "0");

  // The other account replaces root's file in a folder of its own.
  const std::string place = folder.file("place");
  ASSERT_EQ(mkdir(place.c_str(), 0755), 0);
  ASSERT_EQ(chown(place.c_str(), other.user, other.group), 0);
  const std::string roots = place + "/roots.xls";
  write_file(roots, "root's", 0664);
  EXPECT_EQ(as_account(other, [&] { return std::to_string(replace(roots, "replaced")); }), "0");
  EXPECT_EQ(state_of(roots), (file_state{"replaced", other.user, other.group, 0604}));
}

// Only a link that nobody else could have made is followed; the link stays
// and the file it leads to is replaced.
TEST(FileReplacement, ALinkIsFollowedOnlyWhenNobodyElseCouldHaveMadeIt) {
  using qm_platform::link_refusal;
  qm_test::temp_folder folder("qm_links_");
  const std::string report = folder.file("report.xls");
  write_file(report, "shared report", 0644);
  const struct {
    const char* name;
    const char* leads_to;
    link_refusal refusal;
  } cases[] = {
      {"direct", "report.xls", link_refusal::none},
      {"chain", "direct", link_refusal::none},
      {"absolute", nullptr, link_refusal::none},
      {"dangling", "no such file", link_refusal::dangling},
      {"loop", "loop", link_refusal::loop},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = folder.file(c.name);
    ASSERT_EQ(symlink(c.leads_to ? c.leads_to : report.c_str(), name.c_str()), 0);
    std::string target;
    EXPECT_EQ(qm_platform::replacement_target(name, target), c.refusal);
    if (c.refusal != link_refusal::none) continue;
    ASSERT_EQ(replace(target, std::string("through ") + c.name), 0);
    EXPECT_EQ(qm_test::file_bytes(report), std::string("through ") + c.name);
    struct stat st {};
    ASSERT_EQ(lstat(name.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
  }
  std::string target;
  EXPECT_EQ(qm_platform::replacement_target(folder.file("new.xls"), target), link_refusal::none);
  EXPECT_EQ(target, folder.file("new.xls"));

  if (geteuid() != 0) return;
  // Another account's link in root's folder could send root anywhere; in
  // that account's own folder it could only be that account's choice.
  const account other = other_account();
  const std::string theirs = folder.file("theirs");
  ASSERT_EQ(mkdir(theirs.c_str(), 0755), 0);
  for (const std::string& link : {folder.file("planted"), theirs + "/their link"}) {
    ASSERT_EQ(symlink(report.c_str(), link.c_str()), 0);
    ASSERT_EQ(lchown(link.c_str(), other.user, other.group), 0);
  }
  EXPECT_EQ(qm_platform::replacement_target(folder.file("planted"), target), link_refusal::foreign);
  ASSERT_EQ(chown(theirs.c_str(), other.user, other.group), 0);
  EXPECT_EQ(qm_platform::replacement_target(theirs + "/their link", target), link_refusal::none);
  EXPECT_EQ(target, report);
}

// The steps of the system, failing at the chosen call.
class failing_steps : public qm_platform::replace_steps {
 public:
  int fail_sync_at = 0, fail_rename_at = 0, fail_remove_at = 0;
  int syncs = 0, renames = 0, removes = 0;
  failing_steps() : before(qm_platform::set_replace_steps(this)) {}
  ~failing_steps() override { qm_platform::set_replace_steps(before); }
  int sync(int fd) override { return ++syncs == fail_sync_at ? EIO : replace_steps::sync(fd); }
  int rename(const std::string& from, const std::string& to) override {
    return ++renames == fail_rename_at ? EXDEV : replace_steps::rename(from, to);
  }
  int remove_folder(const std::string& path) override {
    return ++removes == fail_remove_at ? EBUSY : replace_steps::remove_folder(path);
  }

 private:
  qm_platform::replace_steps* before;
};

TEST(FileReplacement, AFailingSyncOrRenameLeavesTheOldFileAsItWas) {
  qm_test::temp_folder folder("qm_replace_");
  const std::string old = folder.file("book.xls");
  write_file(old, "the old workbook", 0640);
  const file_state before = state_of(old);
  for (bool sync_fails : {true, false}) {
    SCOPED_TRACE(sync_fails ? "sync" : "rename");
    failing_steps steps;
    (sync_fails ? steps.fail_sync_at : steps.fail_rename_at) = 1;
    EXPECT_EQ(replace(old, "the new one"), sync_fails ? EIO : EXDEV);
    EXPECT_EQ(state_of(old), before);
    EXPECT_EQ(qm_test::listing(folder.path), "book.xls\n");
  }
  failing_steps steps;
  {
    qm_platform::private_folder own(wide(old));
    steps.fail_remove_at = 1;
    EXPECT_EQ(own.remove(), EBUSY);
  }
}

bool is_dead_name(const std::string& name) { return qm_platform::is_private_folder_name(name); }

// Folders of runs that are gone go; a live run's, one the program would not
// have made so, and anything that is not such a folder stay as they are.
TEST(PrivateFolder, ANewOneRemovesOnlyTheFoldersOfRunsThatAreGone) {
  qm_test::temp_folder folder("qm_private_"), elsewhere("qm_elsewhere_");
  const std::string beside = folder.file("book.xls");
  auto made = [&](const std::string& name, mode_t mode) {
    std::string path = folder.file(name);
    EXPECT_EQ(mkdir(path.c_str(), 0700), 0);
    std::ofstream(path + "/book.xls") << "a whole workbook";
    EXPECT_EQ(mkdir((path + "/inner").c_str(), 0700), 0);
    std::ofstream(path + "/inner/part") << "a part";
    chmod((path + "/inner").c_str(), 0500);
    chmod(path.c_str(), mode);
    return path;
  };
  made(".quillmark-dead01", 0700);
  made(".quillmark-opened", 0755);
  made(".quillmark-short", 0700);
  const std::string live = made(".quillmark-live01", 0700);
  std::ofstream(folder.file(".quillmark-afile1")) << "a file";
  std::ofstream(elsewhere.file("keep")) << "elsewhere";
  ASSERT_EQ(symlink(elsewhere.path.c_str(), folder.file(".quillmark-linked").c_str()), 0);
  // A run that is alive in another process, and one that was killed.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  auto marked_by_child = [&](const std::string& path) {
    pid_t child = fork();
    if (child == 0) {
      qm_platform::folder_mark mark;
      char byte = mark.take(path) == 0 ? 1 : 0;
      if (write(ready[1], &byte, 1) != 1) _exit(1);
      pause();
      _exit(0);
    }
    char byte = 0;
    EXPECT_EQ(read(ready[0], &byte, 1), 1);
    EXPECT_EQ(byte, 1);
    return child;
  };
  pid_t alive = marked_by_child(live);
  pid_t killed = marked_by_child(made(".quillmark-killed", 0700));
  kill(killed, SIGKILL);
  waitpid(killed, nullptr, 0);
  std::string before = qm_test::file_tree(live) + qm_test::file_tree(elsewhere.path);
  {
    qm_platform::private_folder own(wide(beside));
    ASSERT_FALSE(own.path().empty());
    std::string mine = qm_platform::path_to_utf8(own.path().c_str());
    mine = mine.substr(mine.rfind('/') + 1);
    std::set<std::string> names = {".quillmark-afile1", ".quillmark-linked", ".quillmark-live01",
                                   ".quillmark-opened", ".quillmark-short", mine};
    std::string expected;
    for (const std::string& name : names) expected += name + "\n";
    EXPECT_EQ(qm_test::listing(folder.path), expected);
    // Nor does a second one take the first one's, alive in this process.
    qm_platform::private_folder second(wide(beside));
    EXPECT_NE(qm_test::listing(folder.path).find(mine), std::string::npos);
  }
  EXPECT_EQ(qm_test::file_tree(live) + qm_test::file_tree(elsewhere.path), before);
  kill(alive, SIGKILL);
  waitpid(alive, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
  qm_platform::remove_dead_folders(folder.path, is_dead_name);
  EXPECT_EQ(qm_test::listing(folder.path), ".quillmark-afile1\n.quillmark-linked\n.quillmark-opened\n.quillmark-short\n");
  chmod(folder.file(".quillmark-opened/inner").c_str(), 0700);
  chmod(folder.file(".quillmark-short/inner").c_str(), 0700);

  if (geteuid() != 0) return;
  // Another account's, as that account's program made it.
  const account other = other_account();
  const std::string theirs = made(".quillmark-theirs", 0700);
  ASSERT_EQ(chown(theirs.c_str(), other.user, other.group), 0);
  qm_platform::remove_dead_folders(folder.path, is_dead_name);
  EXPECT_EQ(access(theirs.c_str(), F_OK), 0);
  chmod((theirs + "/inner").c_str(), 0700);
}

}  // namespace
