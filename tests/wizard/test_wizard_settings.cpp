// The settings the wizard keeps for its next start, and the settings files
// it saves: what the user is told when they cannot be kept.
#include "wizard_test_support.h"
#include "tests/support/child_run.h"
#include "tests/support/files.h"
#include "tests/support/wait_for.h"

#include "TK/tk_utils.h"
#include "common/quillet_convertor.h"
#include "wizard/wizard_front_end.h"

#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

namespace {

const QString exit_question = "Are you sure you want to exit the wizard?";

// What a session before this one left in the store.
void store_old_settings() {
  wizard_front_end front;
  quillet_convertor c(front);
  c.source_name = L"oldsrc";
  c.user = L"olduser";
  c.password = L"oldpassword";
}

// The box at the start when `started` is given (its text goes there), the
// user the connection page shows, and Cancel there.
ui_script& cancel_on_the_connection_page(ui_script& ui, QString* started, QString& user) {
  if (started)
    ui.step("the box at the start", [] { return front_box() != nullptr; },
            [started] {
              *started = front_box()->text();
              answer_box(QMessageBox::Ok);
            });
  return ui.step("welcome page", [] { return page_shown(103) && !front_box(); },
                 [] { click_later(find_as<QPushButton>("next")); })
      .step("connection page", [] { return page_shown(132); },
            [&user] {
              user = find_as<QLineEdit>("id_1012")->text();
              click_later(find_as<QPushButton>("cancel"));
            })
      .step("exit question", [] { return front_box() && front_box()->text() == exit_question; },
            [] { answer_box(QMessageBox::Yes); });
}

// The child that runs the cases reports nothing of its own expectations:
// each mismatch is told on stderr, and the process ends with their count.
int mismatches = 0;
void expect_same(const std::string& what, const std::string& got, const std::string& wanted) {
  if (got == wanted) return;
  ++mismatches;
  std::fprintf(stderr, "%s\n  got:    %s\n  wanted: %s\n", what.c_str(), got.c_str(), wanted.c_str());
}

// The cases of the test below, in a process of their own.
int unkept_settings_cases(const std::string& folder) {
  if (!meet_file_modes_even_as_root()) return 3;
  test_app();
  const std::string other_user = " the folder belongs to another user.";
  const std::string others_write = " the folder can be written by other users.";
  const struct {
    const char* what;
    // Given the case's folder and its store (the XDG folder's), makes
    // what the wizard finds.
    std::function<void(const std::string&, const std::string&)> make;
    // The store is found through HOME (the case's folder's "home"), not
    // XDG_CONFIG_HOME.
    bool through_home;
    bool old_settings_read;
    // The folder or file named, below the case's folder, and the reason.
    std::string named, reason;
  } cases[] = {
      {"the key's folder is read-only",
       [](const std::string&, const std::string& store) {
         store_old_settings();
         chmod((store + "/HKEY_CURRENT_USER/Software/Brightfold").c_str(), 0500);
       },
       false, true, "/config/quillmark-registry/HKEY_CURRENT_USER/Software/Brightfold/Quillmark.reg",
       " Permission denied."},
      {"a file where the store's folder should be",
       [](const std::string& at, const std::string& store) {
         mkdir((at + "/config").c_str(), 0700);
         std::ofstream(store) << "not a folder\n";
       },
       false, false, "/config/quillmark-registry", " Not a directory."},
      {"HOME is read-only",
       [](const std::string& at, const std::string&) { mkdir((at + "/home").c_str(), 0500); },
       true, false, "/home/.config", " Permission denied."},
      {"others can write the store's folder",
       [](const std::string&, const std::string& store) {
         store_old_settings();
         chmod(store.c_str(), 0757);
       },
       false, false, "/config/quillmark-registry", others_write},
      {"anyone can write the store's folder",
       [](const std::string&, const std::string& store) {
         store_old_settings();
         chmod(store.c_str(), 0777);
       },
       false, false, "/config/quillmark-registry", others_write},
      {"the store's folder is another user's",
       [](const std::string& at, const std::string& store) {
         store_old_settings();
         // Root makes one; anyone else finds one: "/" stands for it.
         if (geteuid() == 0) {
           expect_same("chown", std::to_string(chown(store.c_str(), 65534, 65534)), "0");
           chmod(store.c_str(), 0755);
         } else {
           std::filesystem::rename(store, at + "/kept");
           std::filesystem::create_directory_symlink("/", store);
         }
       },
       false, false, "/config/quillmark-registry", other_user},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string at = folder + "/" + std::to_string(++n);
    mkdir(at.c_str(), 0700);
    const std::string config_folder = at + "/config", home_folder = at + "/home";
    scoped_env config("XDG_CONFIG_HOME", c.through_home ? nullptr : config_folder.c_str());
    scoped_env home("HOME", c.through_home ? home_folder.c_str() : std::getenv("HOME"));
    c.make(at, at + "/config/quillmark-registry");
    const std::string before = qm_test::file_tree(at);
    QString started, user, said;
    ui_script ui;
    // Settings that cannot be read are said at the start as well.
    cancel_on_the_connection_page(ui, c.old_settings_read ? nullptr : &started, user)
        .step("the settings' box", [] { return front_box() && front_box()->text() != exit_question; },
              [&] {
                said = front_box()->text();
                answer_box(QMessageBox::Ok);
              });
    ui.start(30);
    const std::string what = c.what;
    expect_same(what + ": result", std::to_string(run_wizard()), "0");
    expect_same(what + ": user shown", user.toStdString(), c.old_settings_read ? "olduser" : "");
    expect_same(what + ": box at the start", started.toStdString(),
                c.old_settings_read ? "" : "The saved settings cannot be read from \"" + at + c.named + "\":" + c.reason);
    expect_same(what + ": box", said.toStdString(), "Cannot save the settings in \"" + at + c.named + "\":" + c.reason);
    expect_same(what + ": store", qm_test::file_tree(at), before);
  }
  return mismatches;
}

int unwritable_file_cases(const std::string& folder) {
  if (!meet_file_modes_even_as_root()) return 3;
  test_app();
  scoped_env config("XDG_CONFIG_HOME", folder + "/config");
  const std::string profile = folder + "/run.qlt";
  run_settings(folder + "/book.xlsx").write(profile);
  const std::string read_only = folder + "/read_only";
  mkdir(read_only.c_str(), 0700);
  std::ofstream(read_only + "/saved.qlt") << "the settings of last week\n";
  chmod(read_only.c_str(), 0500);
  const struct {
    std::string file, reason;
  } cases[] = {
      {read_only + "/saved.qlt", "Permission denied"},
      {folder + "/no_folder/saved.qlt", "No such file or directory"},
  };
  for (const auto& c : cases) {
    const std::string before = qm_test::file_tree(folder + "/read_only");
    QString said;
    ui_script ui;
    ui.step("finish page", [] { return finish_page_shown(); },
            [] {
              keep_open_on_exit_off();
              click_later(find_as<QPushButton>("id_1116"));
            })
        .step("save settings dialog", [] { return find_visible("save_file_dialog") != nullptr; },
              [&] { accept_file_dialog("save_file_dialog", c.file); })
        .step("the box", [] { return !find_visible("save_file_dialog") && front_box(); },
              [&] {
                said = front_box()->text();
                answer_box(QMessageBox::Ok);
              })
        .step("finish", [] { return !front_box() && finish_page_shown(); },
              [] { click_later(find_as<QPushButton>("finish")); });
    ui.start(20);
    expect_same(c.file + ": result", std::to_string(run_wizard(profile)), "1");
    expect_same(c.file + ": box", said.toStdString(), "Cannot save the settings file \"" + c.file + "\": " + c.reason + ".");
    expect_same(c.file + ": folder", qm_test::file_tree(read_only), before);
    expect_same(c.file + ": no folder made", std::to_string(tk_is_path_exist(folder + "/no_folder")), "0");
  }
  return mismatches;
}

// Read-only folders stop root only when it does without its file
// privileges: the cases run, in a folder of their own, in a process that
// does without them. That process runs the test's body again and finds
// the folder the test made.
void run_cases_as_owner(int (*cases)(const std::string& folder)) {
  folder_shared_with_child folder("QM_SETTINGS_TEST_FOLDER", "qm_settings_");
  qm_test::child_run end = qm_test::run_in_child([&] { std::_Exit(cases(folder.path)); });
  EXPECT_TRUE(end.exited_with(0)) << end.describe();
}

}  // namespace

TEST(wizard_settings, settings_that_cannot_be_kept_are_said_at_the_start_and_the_close_and_the_store_stays_as_it_was) {
  run_cases_as_owner(unkept_settings_cases);
}

// A store file its owner made read-only is read, and replaced as the
// wizard closes: the wizard says so as it starts.
TEST(wizard_settings, a_read_only_settings_file_is_said_at_the_start) {
  test_app();
  qm_test::temp_folder folder("qm_read_only_store_");
  scoped_env config("XDG_CONFIG_HOME", folder.path);
  store_old_settings();
  const std::string file = folder.path + "/quillmark-registry/HKEY_CURRENT_USER/Software/Brightfold/Quillmark.reg";
  ASSERT_EQ(chmod(file.c_str(), 0400), 0) << qm_test::errno_text(file);
  QString started, user;
  ui_script ui;
  cancel_on_the_connection_page(ui, &started, user);
  ui.start(30);
  EXPECT_EQ(run_wizard(), 0);
  EXPECT_TRUE(ui.done());
  EXPECT_EQ(started.toStdString(), "The saved settings file \"" + file +
                                       "\" is read-only: the wizard replaces it with the settings of this session "
                                       "when it closes.");
  EXPECT_EQ(user.toStdString(), "olduser");
  // Written anew, as the box said.
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(wizard_settings, save_settings_to_a_file_that_cannot_be_written_says_so_and_keeps_the_old_file) {
  run_cases_as_owner(unwritable_file_cases);
}

// Eight quick launches, each with its own user, password and destination,
// are ended at the same moment; the next start finds the settings of one.
TEST(quillet_program, eight_wizards_ended_at_once_leave_the_settings_of_one_of_them) {
  qm_test::temp_folder made("qm_sessions_");
  const std::string folder = made.path;
  for (const char* sub : {"/config", "/runtime", "/tmp", "/home", "/out"})
    ASSERT_EQ(mkdir((folder + sub).c_str(), 0700), 0) << qm_test::errno_text(folder + sub);
  const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + folder + "/config",
                                        "XDG_RUNTIME_DIR=" + folder + "/runtime", "TMPDIR=" + folder + "/tmp",
                                        "HOME=" + folder + "/home"};
  auto workbook = [&](int k) { return folder + "/out/book" + std::to_string(k) + ".xlsx"; };
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::vector<pid_t> wizards;
    for (int k = 0; k < 8; ++k) {
      std::remove(workbook(k).c_str());
      std::string profile = folder + "/run" + std::to_string(k) + ".qlt";
      const std::string n = std::to_string(k);
      run_settings(workbook(k)).as("user" + n, "pass" + n).write(profile);
      pid_t pid = start_quillet(profile, env);
      ASSERT_GE(pid, 0);
      wizards.push_back(pid);
    }
    // Each has converted: its settings are those of its run.
    auto all_written = [&] {
      for (int k = 0; k < 8; ++k)
        if (!tk_is_file_exist(workbook(k), 0)) return false;
      return true;
    };
    EXPECT_TRUE(qm_test::wait_for(all_written, std::chrono::seconds(120), std::chrono::milliseconds(20)));
    for (pid_t pid : wizards) kill(pid, SIGTERM);
    for (pid_t pid : wizards) {
      int status = wait_for_end(pid, 60);
      EXPECT_NE(status, -1) << "a wizard did not end";
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
    }
    scoped_env config("XDG_CONFIG_HOME", folder + "/config");
    wizard_front_end front;
    quillet_convertor saved(front);
    saved.leave_saved_settings();
    std::string user = tk_to_utf8(saved.user);
    if (user.size() != 5 || user.compare(0, 4, "user") != 0) {
      ADD_FAILURE() << "stored user: " << user;
      continue;
    }
    std::string k = user.substr(4);
    EXPECT_EQ(tk_to_utf8(saved.password), "pass" + k);
    EXPECT_EQ(tk_to_utf8(saved.destination), workbook(std::stoi(k)));
  }
}
