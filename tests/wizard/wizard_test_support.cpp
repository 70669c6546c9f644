#include "wizard_test_support.h"
#include "tests/support/wait_for.h"

#include "TK/tk_utils.h"
#include "platform/utf8.h"
#include "wizard/quillet_app.h"

#include <QLineEdit>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <array>
#include <fstream>
#include <cstdio>
#include <linux/capability.h>
#include <sys/stat.h>
#include <csignal>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

int run_wizard(const std::string& command_line) {
  std::string line = command_line;
  return WinMain(nullptr, nullptr, line.data(), 1);
}

int run_wizard_in(const std::string& folder) {
  // By its bytes: the folder's name need not be text.
  const std::string started_in = qm_platform::path_to_utf8(tk_get_current_dir_w().c_str());
  if (chdir(folder.c_str()) != 0) {
    ADD_FAILURE() << qm_test::errno_text("cannot enter " + folder);
    return -2;
  }
  int result = run_wizard();
  EXPECT_EQ(chdir(started_in.c_str()), 0);
  return result;
}

void keep_open_on_exit_off() {
  auto* open_on_exit = control_as<QAbstractButton>(1225);
  if (open_on_exit && open_on_exit->isChecked()) click_later(open_on_exit);
}

void press_finish() {
  keep_open_on_exit_off();
  click_later(sheet_button("finish"));
}

void connect_to(const QString& source) {
  control_as<QLineEdit>(1003)->setText("");
  control_as<QLineEdit>(1004)->setText("");
  control_as<QLineEdit>(1014)->setText(source);
  control_as<QLineEdit>(1012)->setText("scott");
  click_later(sheet_button("next"));
}

std::string run_settings::write(const std::string& path) const {
  std::ofstream out(path);
  out << "[Generic settings]\nsrc=" << source << "\ndest=" << destination << "\n";
  if (!log.empty()) out << "logfile=" << log << "\n";
  out << "\n[MS Excel settings]\nformat version=" << format << "\n\n[Oracle settings]\n";
  if (!password.empty()) out << "password=" << password << "\n";
  out << "user=" << user << "\n\n[Selected Tables]\n";
  for (const std::string& table : tables) out << table << "\n";
  return path;
}

bool make_source(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << path << ": " << (db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    return false;
  }
  char* error = nullptr;
  const bool made = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK;
  if (!made) ADD_FAILURE() << path << ": " << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
  return made;
}

void make_run_folders(const std::string& top) {
  for (const char* sub : {"/tmp", "/out", "/config", "/runtime"})
    if (mkdir((top + sub).c_str(), 0700) != 0)
      ADD_FAILURE() << qm_test::errno_text("cannot make " + top + sub);
}

bool meet_file_modes_even_as_root() {
  if (geteuid() != 0) return true;
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  if (syscall(SYS_capget, &header, data) != 0) return false;
  for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
    data[cap / 32].effective &= ~(1u << (cap % 32));
    data[cap / 32].permitted &= ~(1u << (cap % 32));
  }
  return syscall(SYS_capset, &header, data) == 0;
}

pid_t start_quillet(const std::string& profile, std::vector<std::string> environment) {
  std::string program = QM_BINARY_DIR "/bin/quillet", settings = profile;
  environment.push_back("QT_QPA_PLATFORM=offscreen");
  if (const char* path = std::getenv("PATH")) environment.push_back(std::string("PATH=") + path);
  // Made before the fork: the child of a process with threads only calls execve.
  std::vector<char*> argv = {program.data(), settings.data(), nullptr}, envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  return pid;
}

int wait_for_end(pid_t pid, int seconds) {
  int status = 0;
  if (qm_test::wait_for([&] { return waitpid(pid, &status, WNOHANG) == pid; }, std::chrono::seconds(seconds),
                        std::chrono::milliseconds(50)))
    return status;
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

std::string read_workbook(const std::string& path) {
  std::string cmd = "/usr/bin/python3 '" QM_SOURCE_DIR "/tests/wizard/read_workbook.py' '" + path + "' 2>&1";
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    std::array<char, 512> buffer;
    while (std::fgets(buffer.data(), buffer.size(), p)) out += buffer.data();
    pclose(p);
  }
  return out;
}

sqlite_lock_holder::sqlite_lock_holder(const std::string& path) {
  std::string marker = path + ".locked";
  // The holder ends when its input does: at release(), or when this
  // process ends in any way.
  std::string cmd = "/usr/bin/python3 -c '"
                    "import sqlite3, sys\n"
                    "c = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
                    "c.execute(\"BEGIN EXCLUSIVE\")\n"
                    "open(sys.argv[2], \"w\").close()\n"
                    "sys.stdin.read()\n"
                    "' '" + path + "' '" + marker + "'";
  holder = popen(cmd.c_str(), "w");
  struct stat st{};
  for (int i = 0; holder && i < 500 && stat(marker.c_str(), &st) != 0; ++i) usleep(20000);
  if (holder && stat(marker.c_str(), &st) != 0) release();
}

void sqlite_lock_holder::release() {
  if (!holder) return;
  pclose(holder);
  holder = nullptr;
}
