// The pages' own rules, met as a user meets them.
#include "wizard_test_support.h"
#include "tests/support/child_run.h"
#include "tests/support/files.h"
#include "tests/support/wait_for.h"

#include "TK/tk_utils.h"
#include "oci/oci_library.h"
#include "platform/utf8.h"
#include "common/quillet_convertor.h"
#include "wizard/wizard_front_end.h"
#include "tests/support/wide_text.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <fstream>
#include <filesystem>
#include <map>
#include <set>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

QStringList items(int id) {
  QStringList out;
  auto* list = control_as<QListWidget>(id);
  for (int i = 0; list && i < list->count(); ++i) out << list->item(i)->text();
  return out;
}
QString box_text() { return front_box() ? front_box()->text() : QString(); }
bool box_says(const char* text) { return front_box() && front_box()->text() == QString(text); }

// Types into the query dialog and presses a button of it.
void fill_query(const char* name, const char* text, int button) {
  control_as<QLineEdit>(1019)->setText(name);
  control_as<QPlainTextEdit>(1020)->setPlainText(text);
  click_later(control_as<QPushButton>(button));
}

}  // namespace

TEST(wizard_pages, connection_destination_and_table_rules) {
  wizard_sandbox box;
  std::string existing = box.file("kept.xlsx");
  std::ofstream(existing) << "not a workbook";
  ui_script ui;
  ui.step("welcome", [] { return page_shown(103); }, [] { click_later(sheet_button("next")); })
      .step("connection page", [] { return page_shown(132); },
            [] {
              EXPECT_EQ(control_as<QLineEdit>(1004)->text(), QString("1521"));
              control_as<QLineEdit>(1014)->setText("");
              click_later(sheet_button("next"));
            })
      .step("no service name", [] { return box_says("You should enter Oracle database name"); },
            [] {
              EXPECT_EQ(front_box()->windowTitle(), QString("Quillmark 4.1 Message"));
              answer_box(QMessageBox::Ok);
            })
      .step("unknown service", [] { return !front_box() && page_shown(132); },
            [] {
              control_as<QLineEdit>(1014)->setText("nosuch_database");
              click_later(sheet_button("next"));
            })
      .step("connect failure", [] { return front_box() && front_box()->windowTitle() == "Quillmark 4.1 Error"; },
            [] {
              EXPECT_EQ(box_text(), QString("Oracle data source does not exist. Check to verify the correct name was given."));
              screenshot(find_visible("dialog_101"), "2b_connecting");
              answer_box(QMessageBox::Ok);
            })
      .step("stays on the connection page", [] { return !front_box() && !find_visible("dialog_101") && page_shown(132); },
            [] {
              control_as<QLineEdit>(1014)->setText("demo");
              control_as<QLineEdit>(1012)->setText("scott");
              click_later(sheet_button("next"));
            })
      .step("destination page", [] { return page_shown(105); },
            [&] {
              // No destination yet: the current folder, the service and the format's extension.
              std::wstring expected = tk_get_current_dir_w() + L"/demo.xls";
              EXPECT_EQ(control_as<QLineEdit>(1004)->text().toStdWString(), expected);
              EXPECT_EQ(control_as<QComboBox>(1302)->currentText(), QString("Excel 2000"));
              EXPECT_TRUE(control_as<QLabel>(1320)->text().startsWith(
                  "Destination spreadsheet will be saved in MS Excel 2000 format."));
              control_as<QComboBox>(1302)->setCurrentIndex(2);
              EXPECT_TRUE(control_as<QLabel>(1320)->text().contains("2010"));
              control_as<QLineEdit>(1004)->setText(QString::fromStdString(existing));
              click_later(sheet_button("next"));
            })
      .step("overwrite question", [] { return box_says("Destination file already exists. Overwrite?"); },
            [] {
              EXPECT_EQ(front_box()->defaultButton(), front_box()->button(QMessageBox::No));
              answer_box(QMessageBox::No);
            })
      .step("kept", [] { return !front_box() && page_shown(105); },
            [&] {
              EXPECT_TRUE(tk_is_file_exist(existing, 0));
              click_later(sheet_button("next"));
            })
      .step("overwrite again", [] { return box_says("Destination file already exists. Overwrite?"); },
            [] { answer_box(QMessageBox::Yes); })
      .step("table page", [] { return page_shown(127); },
            [&] {
              // The run replaces it, once it has something to write.
              EXPECT_TRUE(tk_is_file_exist(existing, 0));
              // In the source's order.
              EXPECT_EQ(items(1317), (QStringList{"DEPT", "EMP", "ALL_TYPES", "RAW_DATA"}));
              control_as<QListWidget>(1317)->setCurrentRow(0);
              click_later(control_as<QPushButton>(1101));
              click_later(control_as<QPushButton>(1114));
            })
      .step("query dialog", [] { return find_visible("dialog_128") != nullptr; },
            [] {
              // The size it is made with, centred.
              EXPECT_EQ(find_visible("dialog_128")->size(), QSize(480, 320));
              EXPECT_EQ(items(1318), QStringList{"DEPT"});
              EXPECT_EQ(items(1317), (QStringList{"EMP", "ALL_TYPES", "RAW_DATA"}));
              fill_query("recent", "WITH x AS (SELECT 1 FROM DUAL) SELECT * FROM x", 1);
            })
      .step("WITH refused", [] { return box_says("The query must start with SELECT."); },
            [] { answer_box(QMessageBox::Ok); })
      .step("a name of blanks", [] { return !front_box() && find_visible("dialog_128"); },
            [] { fill_query(" \t ", "select DNAME from DEPT", 1); })
      .step("blank refused", [] { return box_says("Table name is empty!"); }, [] { answer_box(QMessageBox::Ok); })
      .step("test a bad query", [] { return !front_box() && find_visible("dialog_128"); },
            [] { fill_query("recent", "select nothing from NOSUCH", 129); })
      .step("syntax error", [] { return front_box() && box_text().startsWith("You have an error in your query syntax."); },
            [] {
              EXPECT_TRUE(box_text().contains("Contact support@brightfold.example if the error persists."));
              answer_box(QMessageBox::Ok);
            })
      .step("a query named like a selected table", [] { return !front_box() && find_visible("dialog_128"); },
            [] { fill_query("dept", "\n  select DNAME from DEPT", 1); })
      .step("duplicate", [] { return box_says("Duplicate table name. Try again."); },
            [] { answer_box(QMessageBox::Ok); })
      .step("dialog again, filled", [] { return !front_box() && find_visible("dialog_128"); },
            [] {
              EXPECT_EQ(control_as<QLineEdit>(1019)->text(), QString("dept"));
              // A query may take the name of a table that is not chosen.
              fill_query("EMP", "\n  select DNAME from DEPT", 1);
            })
      .step("in the table's place", [] { return box_says("The query \"EMP\" takes the place of the table of that name."); },
            [] { answer_box(QMessageBox::Ok); })
      .step("query chosen", [] { return !front_box() && !find_visible("dialog_128") && items(1318).size() == 2; },
            [] {
              EXPECT_EQ(items(1318), (QStringList{"DEPT", "EMP"}));
              click_later(control_as<QPushButton>(1110));
            })
      .step("all removed", [] { return items(1318).isEmpty(); },
            [] {
              EXPECT_EQ(items(1317), (QStringList{"ALL_TYPES", "RAW_DATA", "DEPT", "EMP"}));
              click_later(sheet_button("next"));
            })
      .step("nothing chosen", [] { return box_says("There are no tables selected. Continue anyway?"); },
            [] { answer_box(QMessageBox::No); })
      .step("stays", [] { return !front_box() && page_shown(127); },
            [] { click_later(sheet_button("back")); })
      .step("back on the destination page", [] { return page_shown(105); },
            [] { click_later(sheet_button("cancel")); })
      .step("cancel question", [] { return box_says("Are you sure you want to exit the wizard?"); },
            [] { answer_box(QMessageBox::Yes); });
  ui.start();
  EXPECT_EQ(run_wizard(), 0);
  EXPECT_TRUE(ui.done());

  // What the pages held is the next start's settings.
  wizard_front_end front;
  quillet_convertor saved(front);
  EXPECT_EQ(saved.source_name, L"demo");
  EXPECT_EQ(saved.user, L"scott");
  EXPECT_EQ(saved.format_version, 2);
  EXPECT_EQ(saved.destination, qm_test::wide(existing));
  // Cancelled before any run: the old file was not the wizard's to delete.
  EXPECT_TRUE(tk_is_file_exist(existing, 0));
}

TEST(wizard_pages, escape_on_the_connecting_dialog_waits_for_the_slow_connect) {
  wizard_sandbox box;
  // A source that another program holds locked: the connect waits for the
  // lock, then fails.
  std::string source = box.file("locked.db");
  std::ifstream demo(QM_BINARY_DIR "/share/ocilite/demo.db", std::ios::binary);
  std::ofstream(source, std::ios::binary) << demo.rdbuf();
  sqlite_lock_holder lock(source);
  ASSERT_TRUE(lock.held());
  bool closed_before_the_connect_ended = false;
  ui_script ui;
  ui.step("welcome", [] { return page_shown(103); }, [] { click_later(sheet_button("next")); })
      .step("connection page", [] { return page_shown(132); },
            [&] { connect_to(QString::fromStdString(source)); })
      .step("connecting dialog", [] { return find_visible("dialog_101") != nullptr; },
            [&] {
              QWidget* dialog = find_visible("dialog_101");
              EXPECT_EQ(dialog->windowTitle(), QString("Quillmark 4.1"));
              screenshot(dialog, "2c_connecting_dialog");
              QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
              QApplication::sendEvent(dialog, &escape);
              // As the window's close button does.
              dialog->close();
            })
      // The dialog stays until the connect ends, however long that takes.
      .step("connect failure",
            [&] {
              if (!front_box() && !find_visible("dialog_101")) closed_before_the_connect_ended = true;
              return front_box() && front_box()->windowTitle() == "Quillmark 4.1 Error";
            },
            [&] {
              EXPECT_FALSE(closed_before_the_connect_ended) << "the dialog did not wait for the connect";
              EXPECT_TRUE(box_text().startsWith("ORA-01034")) << box_text().toStdString();
              EXPECT_TRUE(box_text().contains("locked")) << box_text().toStdString();
              answer_box(QMessageBox::Ok);
            })
      .step("the page is usable", [] { return !front_box() && !find_visible("dialog_101") && page_shown(132); },
            [&] {
              lock.release();
              control_as<QLineEdit>(1014)->setText(QString::fromStdString(source));
              click_later(sheet_button("next"));
            })
      .step("connected", [] { return page_shown(105); }, [] { click_later(sheet_button("cancel")); })
      .step("cancel question", [] { return box_says("Are you sure you want to exit the wizard?"); },
            [] { answer_box(QMessageBox::Yes); });
  ui.start(30);
  EXPECT_EQ(run_wizard(), 0);
  EXPECT_TRUE(ui.done());
}

TEST(wizard_quick_launch, a_settings_file_runs_at_once_and_lists_the_errors) {
  wizard_sandbox box;
  std::string workbook = box.file("book.xlsx");
  std::string profile = box.file("run.qlt");
  std::string opened = box.file("opened.txt");
  // The desktop's opener of this test records what it is asked to open.
  std::string bin = box.file("bin");
  mkdir(bin.c_str(), 0755);
  std::ofstream(bin + "/xdg-open") << "#!/bin/sh\necho \"$1\" > '" << opened << "'\n";
  chmod((bin + "/xdg-open").c_str(), 0755);
  scoped_env opener("PATH", bin + ":" + (getenv("PATH") ? getenv("PATH") : ""));
  {
    wizard_front_end front;
    quillet_convertor c(front);
    c.source_name = L"demo";
    c.user = L"scott";
    c.format_version = 2;
    c.destination = qm_test::wide(workbook);
    c.selected_tables = {L"DEPT"};
    c.selected[L"DEPT"] = L"";
    for (int i = 1; i <= 21; ++i) c.selected[L"BAD" + std::to_wstring(100 + i)] = L"select * from NOSUCH";
    ASSERT_TRUE(c.store_profile(qm_test::wide(profile)));
    c.destination.clear();
  }
  std::ofstream(workbook) << "an old file the run replaces";
  ui_script ui;
  ui.step("first failure", [] { return find_visible("dialog_115") != nullptr; },
          [] {
            EXPECT_TRUE(control_as<QLabel>(1320)->text().startsWith("BAD101: ORA-00942"));
            screenshot(control(1320), "8_continue_dialog");
            click_later(control_as<QAbstractButton>(1222));
            click_later(control_as<QPushButton>(2));
          })
      .step("finish page", [] { return finish_page_shown(); },
            [] {
              auto* pane = control_as<QPlainTextEdit>(1016);
              ASSERT_NE(pane, nullptr);
              EXPECT_TRUE(pane->isReadOnly());
              EXPECT_EQ(control_as<QLabel>(1314)->text(),
                        QString("There were some errors while converting databases.\nClick 'Finish' to exit the wizard."));
              QStringList entries = pane->toPlainText().split("\n\n", Qt::SkipEmptyParts);
              EXPECT_EQ(entries.size(), 20);
              EXPECT_TRUE(entries.front().startsWith("BAD101: ORA-00942"));
              EXPECT_TRUE(entries.back().startsWith("BAD120: "));
              EXPECT_FALSE(sheet_button("cancel")->isEnabled());
              EXPECT_FALSE(sheet_button("help")->isEnabled());
              screenshot(pane, "9_finish_errors");
              click_later(sheet_button("finish"));
            });
  ui.start();
  EXPECT_EQ(run_wizard(profile), 1);
  EXPECT_TRUE(ui.done());
  EXPECT_EQ(read_workbook(workbook), "DEPT 5 3 DEPTNO,DNAME,LOC\n");
  // The opener runs on its own.
  qm_test::wait_for([&] { return tk_is_file_exist(opened, 0); }, std::chrono::seconds(20), std::chrono::milliseconds(20));
  std::ifstream in(opened);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, workbook);
}

TEST(wizard_quick_launch, without_a_connection_ends_with_minus_one_and_no_sheet) {
  wizard_sandbox box;
  std::string profile = box.file("bad.qlt");
  {
    wizard_front_end front;
    quillet_convertor c(front);
    c.source_name = L"nosuch_database";
    c.destination = qm_test::wide(box.file("out.xls"));
    ASSERT_TRUE(c.store_profile(qm_test::wide(profile)));
  }
  bool sheet_seen = false;
  ui_script ui;
  ui.step("connect failure", [&] {
            sheet_seen = sheet_seen || find_visible("wizard_sheet");
            return front_box() != nullptr;
          },
          [] {
            EXPECT_EQ(box_text(), QString("Oracle data source does not exist. Check to verify the correct name was given."));
            answer_box(QMessageBox::Ok);
          });
  ui.start();
  EXPECT_EQ(run_wizard(profile), -1);
  EXPECT_TRUE(ui.done());
  EXPECT_FALSE(sheet_seen);
}

namespace {

// Runs a quick launch that cannot start its run, answering its one error
// box; what the wizard returns.
int quick_launch_refused(const std::string& profile, const std::string& message) {
  ui_script ui;
  ui.step("error box", [] { return front_box() != nullptr; },
          [message] {
            // The handler shows a message on one line.
            EXPECT_EQ(box_text(), QString::fromStdString(message).replace('\n', ' '));
            answer_box(QMessageBox::Ok);
          });
  ui.start(30);
  int result = run_wizard(profile);
  EXPECT_TRUE(ui.done());
  return result;
}

}  // namespace

TEST(wizard_quick_launch, a_destination_folder_that_is_missing_ends_with_minus_one) {
  wizard_sandbox box;
  std::string profile = box.file("run.qlt");
  run_settings(box.file("no_folder/book.xlsx")).write(profile);
  EXPECT_EQ(quick_launch_refused(profile, "Destination path does not exist.\nPlease verify the correct path was given."),
            -1);
}

TEST(wizard_quick_launch, without_a_client_library_ends_with_minus_one) {
  // The library is bound once a process: in a process of its own, before
  // anything binds it.
  qm_test::child_run end = qm_test::run_in_child([] {
        int result;
        {
          wizard_sandbox box;
          std::string profile = box.file("run.qlt");
          run_settings(box.file("book.xlsx")).write(profile);
          setenv("QUILLMARK_OCI_LIBRARY", box.file("no_such_client.so").c_str(), 1);
          result = quick_launch_refused(profile, oci_missing_client_message);
        }
        std::fprintf(stderr, "result=%d\n", result);
        std::_Exit(result & 0xFF);
  });
  EXPECT_TRUE(end.exited_with(255)) << end.describe();
  EXPECT_TRUE(end.error_output_matches("result=-1")) << end.describe();
}

TEST(wizard_quick_launch, a_settings_file_that_does_not_exist_or_load_ends_with_minus_one_and_changes_nothing) {
  wizard_sandbox box;
  std::string workbook = box.file("saved.xlsx");
  auto saved_settings = [&] {
    wizard_front_end front;
    quillet_convertor c(front);
    return std::vector<std::wstring>{c.source_name, c.user, c.destination, std::to_wstring(c.format_version)};
  };
  {
    wizard_front_end front;
    quillet_convertor c(front);
    c.source_name = L"demo";
    c.user = L"scott";
    c.format_version = 2;
    c.destination = qm_test::wide(workbook);
    c.save_settings();
  }
  const std::vector<std::wstring> before = saved_settings();
  // A name that is no UTF-8 is still the file's name; the message shows the byte as U+FFFD.
  std::string notes = box.file("notes\xe9.qlt");
  std::ofstream(notes) << "my notes for the weekly run\n[Generic settings]\nsrc=other\n";
  std::string notes_shown = box.file("notes\xef\xbf\xbd.qlt");
  std::string no_format = box.file("no_format.qlt");
  std::ofstream(no_format) << "[Generic settings]\nsrc=demo\ndest=" << box.file("other.xls")
                           << "\n\n[Oracle settings]\nuser=scott\n\n[Selected Tables]\nDEPT\n\n";
  const struct {
    std::string line;
    std::string message;
  } cases[] = {
      // Quotes on the command line belong to the name, which does not exist.
      {"\"" + box.file("weekly.qlt") + "\"", "Profile does not exist. Please verify the correct path/name was given."},
      {notes, "Cannot load the settings file \"" + notes_shown + "\": it has a line before its first section header."},
      {no_format, "Profile names no MS Excel format version.\nPlease verify the correct path/name was given."},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.line);
    std::ofstream(workbook) << "an old file";
    EXPECT_EQ(quick_launch_refused(k.line, k.message), -1);
    // Nothing was connected, converted or deleted, and the saved settings
    // are the ones the next start shows.
    EXPECT_EQ(qm_test::file_bytes(workbook), "an old file");
    EXPECT_FALSE(tk_is_file_exist(box.file("other.xls"), 0));
    EXPECT_EQ(saved_settings(), before);
  }
}

namespace {

// The abstract socket X clients on Linux try first for display ":N"; it
// needs no folder.
sockaddr_un abstract_display_address(int number, socklen_t& size) {
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::string name = "/tmp/.X11-unix/X" + std::to_string(number);
  name.copy(a.sun_path + 1, name.size());
  size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  return a;
}

// Whether anything answers a connection to display ":N" on this machine.
bool display_number_taken(int number) {
  if (tk_is_file_exist("/tmp/.X11-unix/X" + std::to_string(number), 0)) return true;
  socklen_t size = 0;
  sockaddr_un local = abstract_display_address(number, size);
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  bool taken = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&local), size) == 0;
  if (fd >= 0) close(fd);
  sockaddr_in tcp{};
  tcp.sin_family = AF_INET;
  tcp.sin_port = htons(static_cast<std::uint16_t>(6000 + number));
  tcp.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  taken = taken || (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&tcp), sizeof tcp) == 0);
  if (fd >= 0) close(fd);
  return taken;
}

enum class display_socket { abstract, tcp };

// A window system server that takes connections and never answers them:
// on the abstract socket of a display number from `first` on, or on a
// loopback TCP port the system picks. Neither needs a shared folder.
// `error` says why it could not be made.
struct silent_display {
  int fd = -1;
  std::string name;  // the DISPLAY that reaches it
  std::string error;
  silent_display(display_socket kind, int first) {
    if (kind == display_socket::tcp) {
      fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      socklen_t size = sizeof a;
      if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), size) != 0 ||
          getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0 || listen(fd, 8) != 0) {
        error = qm_test::errno_text("a loopback TCP socket");
        return;
      }
      int port = ntohs(a.sin_port);
      if (port <= 6000) {
        error = "the system gave port " + std::to_string(port) + ", below the display ports";
        return;
      }
      name = "127.0.0.1:" + std::to_string(port - 6000);
      return;
    }
    // A number in use by another process goes to the next, a few times.
    for (int number = first; number < first + 64; ++number) {
      fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (fd < 0) {
        error = qm_test::errno_text("a Unix socket");
        return;
      }
      socklen_t size = 0;
      sockaddr_un a = abstract_display_address(number, size);
      if (bind(fd, reinterpret_cast<sockaddr*>(&a), size) == 0) {
        if (listen(fd, 8) != 0) {
          error = qm_test::errno_text("listening on the abstract socket of display :" + std::to_string(number));
          return;
        }
        name = ":" + std::to_string(number);
        return;
      }
      int failure = errno;
      close(fd);
      fd = -1;
      if (failure != EADDRINUSE) {
        errno = failure;
        error = qm_test::errno_text("the abstract socket of display :" + std::to_string(number));
        return;
      }
    }
    error = "displays :" + std::to_string(first) + " to :" + std::to_string(first + 63) + " are all in use";
  }
  ~silent_display() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

TEST(quillet_program, without_a_window_system_it_can_reach_says_so_and_ends_with_minus_one) {
  // A display number nothing answers.
  int display = 99;
  while (display < 400 && display_number_taken(display)) ++display;
  ASSERT_LT(display, 400) << "displays :99 to :399 all answer";
  // Away from the numbers a search like the one above lands on.
  silent_display on_abstract(display_socket::abstract, 400 + static_cast<int>(getpid() % 500));
  ASSERT_EQ(on_abstract.error, "");
  silent_display on_tcp(display_socket::tcp, 0);
  ASSERT_EQ(on_tcp.error, "");
  const struct {
    std::string env;
    bool only_line;
  } cases[] = {
      {"-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM", true},
      // A stale display, the X11 platform without one, a platform that is not there.
      {"-u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:" + std::to_string(display), false},
      {"-u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb", false},
      {"-u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=no_such_platform", false},
      // Displays that take the connection and never answer it.
      {"-u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=" + on_abstract.name, false},
      {"-u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb DISPLAY=" + on_abstract.name + ".0", false},
      {"-u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=" + on_tcp.name + ".0", false},
  };
  wizard_sandbox box;
  for (const auto& k : cases) {
    SCOPED_TRACE(k.env);
    std::string cmd = "env " + k.env + " XDG_RUNTIME_DIR='" + box.path + "' timeout 30 '" QM_BINARY_DIR
                      "/bin/quillet' 2>&1";
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
    int status = pclose(p);
    // The shell reports a program ended by a signal as 128 and its number.
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 255) << "status " << status << ": " << out;
    const std::string line = "Failed to initialize GUI library\n";
    if (k.only_line)
      EXPECT_EQ(out, line);
    else
      EXPECT_TRUE(out.size() >= line.size() && out.compare(out.size() - line.size(), line.size(), line) == 0) << out;
  }
}

TEST(wizard_pages, the_destination_follows_the_format_and_the_table_page_keeps_the_choice) {
  wizard_sandbox box;
  std::string typed = box.file("book");
  std::string workbook = box.file("book.xlsx");
  ui_script ui;
  ui.step("welcome", [] { return page_shown(103); }, [] { click_later(sheet_button("next")); })
      .step("connection page", [] { return page_shown(132); }, [] { connect_to("demo"); })
      .step("destination page", [] { return page_shown(105); },
            [&] {
              auto* path = control_as<QLineEdit>(1004);
              std::wstring folder = tk_get_current_dir_w() + L"/";
              EXPECT_EQ(path->text().toStdWString(), folder + L"demo.xls");
              control_as<QComboBox>(1302)->setCurrentIndex(2);
              EXPECT_EQ(path->text().toStdWString(), folder + L"demo.xlsx");
              control_as<QComboBox>(1302)->setCurrentIndex(0);
              EXPECT_EQ(path->text().toStdWString(), folder + L"demo.xls");
              control_as<QComboBox>(1302)->setCurrentIndex(2);
              path->setText(QString::fromStdString(typed));
              click_later(sheet_button("next"));
            })
      .step("table page", [] { return page_shown(127); },
            [] {
              control_as<QListWidget>(1317)->setCurrentRow(0);
              click_later(control_as<QPushButton>(1101));
              click_later(control_as<QPushButton>(1114));
            })
      .step("query dialog", [] { return find_visible("dialog_128") != nullptr; },
            // Its last line is a comment.
            [] { fill_query("Q", "select DNAME from DEPT\n-- every department", 1); })
      .step("chosen", [] { return !find_visible("dialog_128") && items(1318).size() == 2; },
            [] { click_later(sheet_button("back")); })
      .step("back on the destination page", [] { return page_shown(105); },
            [&] {
              // The name that will be written.
              EXPECT_EQ(control_as<QLineEdit>(1004)->text().toStdString(), workbook);
              click_later(sheet_button("next"));
            })
      .step("the table page again", [] { return page_shown(127); },
            [] {
              EXPECT_EQ(items(1318), (QStringList{"DEPT", "Q"}));
              EXPECT_EQ(items(1317), (QStringList{"EMP", "ALL_TYPES", "RAW_DATA"}));
              click_later(sheet_button("next"));
            })
      .step("finish page", [] { return finish_page_shown(); },
            [] {
              EXPECT_TRUE(control_as<QLabel>(1314)->text().startsWith("Wizard has converted"));
              click_later(control_as<QAbstractButton>(1225));
              click_later(sheet_button("finish"));
            });
  ui.start();
  EXPECT_EQ(run_wizard(), 1);
  EXPECT_TRUE(ui.done());
  EXPECT_EQ(read_workbook(workbook), "DEPT 5 3 DEPTNO,DNAME,LOC\nQ 5 1 DNAME\n");
  EXPECT_FALSE(tk_is_file_exist(typed, 0));
}

namespace {

// Shrinks the sheet as far as it goes: every text of the page must still
// show whole.
void expect_texts_whole_at_the_smallest_size(const char* where) {
  SCOPED_TRACE(where);
  QWidget* sheet = find_visible("wizard_sheet");
  ASSERT_NE(sheet, nullptr);
  sheet->resize(1, 1);
  for (int i = 0; i < 20; ++i) {
    QApplication::processEvents();
    Sleep(5);
  }
  screenshot(sheet, std::string("smallest_") + where);
  int checked = 0;
  for (QLabel* label : sheet->findChildren<QLabel*>()) {
    if (!label->isVisible() || label->text().isEmpty()) continue;
    ++checked;
    std::string text = label->text().toStdString();
    QRect area(label->mapTo(sheet, QPoint(0, 0)), label->size());
    EXPECT_TRUE(sheet->rect().contains(area)) << text;
    if (label->wordWrap())
      EXPECT_GE(label->height(), label->heightForWidth(label->width())) << text;
    else
      EXPECT_GE(label->width(), label->sizeHint().width()) << text;
  }
  EXPECT_GT(checked, 0);
}

}  // namespace

// Mistakes that the user mends on the pages are not errors of the run: a
// settings file that does not load, a missing folder, a folder for the
// file. The default destination and a typed relative name are in the
// current folder, and the next start gets the full path.
TEST(wizard_pages, mended_mistakes_then_a_clean_run_list_no_errors) {
  wizard_sandbox box;
  std::string notes = box.file("notes.qlt");
  std::ofstream(notes) << "my notes for the weekly run\n";
  ui_script ui;
  ui.step("welcome", [] { return page_shown(103); },
          [] {
            expect_texts_whole_at_the_smallest_size("welcome");
            click_later(control_as<QPushButton>(1115));
          })
      .step("open dialog", [] { return find_visible("open_file_dialog") != nullptr; },
            [notes] { accept_file_dialog("open_file_dialog", notes); })
      .step("not a settings file", [] { return front_box() != nullptr; },
            [notes] {
              EXPECT_EQ(front_box()->windowTitle(), QString("Quillmark 4.1 Error"));
              EXPECT_EQ(box_text(), QString::fromStdString("Cannot load the settings file \"" + notes +
                                                           "\": it has a line before its first section header."));
              answer_box(QMessageBox::Ok);
            })
      .step("still welcome", [] { return !front_box() && page_shown(103); },
            [] { click_later(sheet_button("next")); })
      .step("connection page", [] { return page_shown(132); },
            [] {
              expect_texts_whole_at_the_smallest_size("connection");
              connect_to("demo");
            })
      .step("destination page", [] { return page_shown(105); },
            [&] {
              expect_texts_whole_at_the_smallest_size("destination");
              EXPECT_EQ(control_as<QLineEdit>(1004)->text().toStdString(), box.file("demo.xls"));
              control_as<QComboBox>(1302)->setCurrentIndex(2);
              control_as<QLineEdit>(1004)->setText(QString::fromStdString(box.file("no_folder/book.xlsx")));
              click_later(sheet_button("next"));
            })
      .step("missing folder", [] { return front_box() != nullptr; },
            [] {
              EXPECT_EQ(box_text(), QString("Destination path does not exist. Please verify the correct path was given."));
              answer_box(QMessageBox::Ok);
            })
      .step("a folder for the file", [] { return !front_box() && page_shown(105); },
            [&] {
              control_as<QLineEdit>(1004)->setText(QString::fromStdString(box.path + "/"));
              click_later(sheet_button("next"));
            })
      .step("folder refused", [] { return front_box() != nullptr; },
            [] {
              EXPECT_EQ(box_text(), QString("Destination name should specify a file, not folder."));
              answer_box(QMessageBox::Ok);
            })
      .step("mended", [] { return !front_box() && page_shown(105); },
            [] {
              control_as<QLineEdit>(1004)->setText("book");
              click_later(sheet_button("next"));
            })
      .step("table page", [] { return page_shown(127) && !items(1317).isEmpty(); },
            [] {
              expect_texts_whole_at_the_smallest_size("tables");
              control_as<QListWidget>(1317)->setCurrentRow(0);
              click_later(control_as<QPushButton>(1101));
              click_later(sheet_button("next"));
            })
      .step("finish page", [] { return finish_page_shown(); },
            [] {
              expect_texts_whole_at_the_smallest_size("finish");
              EXPECT_TRUE(control_as<QLabel>(1314)->text().startsWith("Wizard has converted"))
                  << control_as<QLabel>(1314)->text().toStdString();
              EXPECT_EQ(control(1016), nullptr) << "the error list is shown";
              press_finish();
            });
  ui.start();
  EXPECT_EQ(run_wizard_in(box.path), 1);
  EXPECT_TRUE(ui.done());
  EXPECT_EQ(read_workbook(box.file("book.xlsx")), "DEPT 5 3 DEPTNO,DNAME,LOC\n");
  wizard_front_end front;
  quillet_convertor saved(front);
  EXPECT_EQ(tk_to_utf8(saved.destination), box.file("book.xlsx"));
}

TEST(wizard_quick_launch, a_settings_file_that_selects_nothing_keeps_the_old_workbook) {
  wizard_sandbox box;
  std::string workbook = box.file("book.xlsx");
  std::string profile = box.file("run.qlt");
  std::ofstream(profile) << "[Generic settings]\nsrc=demo\ndest=" << workbook
                         << "\n\n[MS Excel settings]\nformat version=2\n\n[Oracle settings]\nuser=scott\n\n";
  std::ofstream(workbook) << "an old file";
  ui_script ui;
  ui.step("finish page", [] { return finish_page_shown(); },
          press_finish);
  ui.start();
  EXPECT_EQ(run_wizard(profile), 1);
  EXPECT_TRUE(ui.done());
  EXPECT_EQ(qm_test::file_bytes(workbook), "an old file");
}

TEST(wizard_quick_launch, the_destination_gets_the_extension_of_the_format) {
  wizard_sandbox box;
  std::string named = box.file("report.xls");
  std::string profile = box.file("run.qlt");
  run_settings(named).write(profile);
  ui_script ui;
  ui.step("finish page", [] { return finish_page_shown(); },
          [] {
            click_later(control_as<QAbstractButton>(1225));
            click_later(sheet_button("finish"));
          });
  ui.start();
  EXPECT_EQ(run_wizard(profile), 1);
  EXPECT_TRUE(ui.done());
  EXPECT_EQ(read_workbook(box.file("report.xlsx")), "DEPT 5 3 DEPTNO,DNAME,LOC\n");
  EXPECT_FALSE(tk_is_file_exist(named, 0));
}

namespace {

// Every file below the folder, by its path below it, with its bytes.
std::map<std::string, std::string> files_below(const std::string& folder) {
  std::map<std::string, std::string> out;
  if (!std::filesystem::is_directory(folder)) return out;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    std::string below = entry.path().string().substr(folder.size());
    if (!entry.is_regular_file()) {
      out[below + "/"];
      continue;
    }
    out[below] = qm_test::file_bytes(entry.path().string());
  }
  return out;
}

// The names below the folder of workbooks and settings files.
std::set<std::string> written_files(const std::string& folder) {
  std::set<std::string> out;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::string ext = entry.path().extension().string();
    if (ext == ".qlt" || ext == ".xls" || ext == ".xlsx") out.insert(entry.path().filename().string());
  }
  return out;
}

// Double-clicks the item of the selected list, which edits a query.
void edit_selected(int row) {
  auto* list = control_as<QListWidget>(1318);
  list->setCurrentRow(row);
  QTimer::singleShot(0, list, [list] { emit list->itemDoubleClicked(list->currentItem()); });
}

void expect_lists(const QStringList& available, const QStringList& chosen) {
  EXPECT_EQ(items(1317), available);
  EXPECT_EQ(items(1318), chosen);
}

// Ends the script on the finish page, opening nothing, and runs the wizard
// through it.
void run_to_finish(ui_script& ui, const std::string& command_line = std::string()) {
  ui.step("finish page", [] { return finish_page_shown(); }, press_finish);
  ui.start();
  EXPECT_EQ(run_wizard(command_line), 1);
  EXPECT_TRUE(ui.done());
}

}  // namespace

// Load Settings lists a settings file whose name, and its folder's, are
// not UTF-8, and loads that file by its bytes.
TEST(wizard_pages, load_settings_lists_and_loads_a_file_whose_name_is_no_text) {
  wizard_sandbox box;
  const std::string folder = box.file("caf\xe9");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  run_settings(box.file("first.xlsx")).write(folder + "/s\xe9.qlt");
  const std::wstring first = qm_test::wide(box.file("first.xlsx"));
  auto shows = [](const std::string& path) {
    auto* dialog = find_visible("open_file_dialog");
    auto* edit = dialog ? dialog->findChild<QLineEdit*>("lookInEdit") : nullptr;
    return edit && edit->text() == QString::fromStdWString(qm_platform::path_as_text(qm_test::wide(path)));
  };
  // The entry the list shows as `text`, chosen as a user does.
  auto choose = [](const char* text, bool open) {
    auto* list = find_visible("open_file_dialog")->findChild<QListWidget*>("listView");
    auto found = list->findItems(QString::fromUtf8(text), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << text;
    list->setCurrentItem(found.front());
    if (open) QTimer::singleShot(0, list, [list, item = found.front()] { emit list->itemActivated(item); });
  };
  ui_script ui;
  ui.step("welcome", [] { return page_shown(103); }, [] { click_later(control_as<QPushButton>(1115)); })
      .step("load dialog", [] { return find_visible("open_file_dialog") != nullptr; },
            [&] { EXPECT_TRUE(press_file_dialog_ok("open_file_dialog", QString::fromStdString(box.path))); })
      .step("the sandbox", [&] { return shows(box.path + "/"); }, [&] { choose("caf\xef\xbf\xbd", true); })
      .step("the folder", [&] { return shows(folder + "/"); }, [&] { choose("s\xef\xbf\xbd.qlt", true); })
      .step("loaded", [&] { return !find_visible("open_file_dialog") && !front_box() &&
                                   quillet_convertor::instance().destination == first; },
            [] { click_later(sheet_button("cancel")); })
      .step("cancel question", [] { return front_box() != nullptr; }, [] { answer_box(QMessageBox::Yes); });
  ui.start();
  EXPECT_EQ(run_wizard(), 0);
  EXPECT_TRUE(ui.done());
}

// Load Settings, Browse and Save Settings take a typed name with double
// quotes whole; nothing is written anywhere else.
TEST(wizard_pages, typed_file_names_with_quotes_are_the_names_used) {
  wizard_sandbox box;
  const std::string loaded = box.file("my \"weekly\".qlt"), here = box.file("here");
  const std::wstring first = qm_test::wide(box.file("first.xlsx"));
  run_settings(box.file("first.xlsx")).write(loaded);
  ASSERT_EQ(mkdir(here.c_str(), 0700), 0);
  const auto box_before = files_below(box.path);
  const std::string program_folder = tk_get_module_dir();
  const std::set<std::string> program_files = written_files(program_folder);
  ui_script ui;
  ui.step("welcome", [] { return page_shown(103); }, [] { click_later(control_as<QPushButton>(1115)); })
      .step("load dialog", [] { return find_visible("open_file_dialog") != nullptr; },
            [&] { EXPECT_TRUE(press_file_dialog_ok("open_file_dialog", QString::fromStdString(loaded))); })
      // A settings file that does not load would leave a box in front.
      .step("loaded", [&] { return !front_box() && quillet_convertor::instance().destination == first; },
            [] { click_later(sheet_button("next")); })
      .step("connection page", [] { return page_shown(132); },
            [] {
              EXPECT_EQ(control_as<QLineEdit>(1014)->text(), QString("demo"));
              click_later(sheet_button("next"));
            })
      .step("destination page", [] { return page_shown(105); },
            [&] {
              EXPECT_EQ(control_as<QLineEdit>(1004)->text().toStdString(), box.file("first.xlsx"));
              click_later(control_as<QPushButton>(1103));
            })
      .step("browse dialog", [] { return find_visible("save_file_dialog") != nullptr; },
            [] { EXPECT_TRUE(press_file_dialog_ok("save_file_dialog", "br \"z\" y.xlsx")); })
      .step("chosen", [&] { return control_as<QLineEdit>(1004)->text().toStdWString() != first; },
            [&] {
              EXPECT_EQ(control_as<QLineEdit>(1004)->text().toStdString(), box.file("br \"z\" y.xlsx"));
              click_later(sheet_button("next"));
            })
      .step("table page", [] { return page_shown(127) && !items(1318).isEmpty(); },
            [] {
              EXPECT_EQ(items(1318), QStringList{"DEPT"});
              click_later(sheet_button("next"));
            })
      .step("finish page", [] { return finish_page_shown(); },
            [] {
              keep_open_on_exit_off();
              click_later(control_as<QPushButton>(1116));
            })
      .step("save dialog", [] { return find_visible("save_file_dialog") != nullptr; },
            [&] { EXPECT_TRUE(press_file_dialog_ok("save_file_dialog", QString::fromStdString(box.file("saved \"copy\"")))); })
      // A failed save would leave a box in front.
      .step("saved", [&] { return !front_box() && tk_is_file_exist(box.file("saved \"copy\".qlt"), 0); },
            [] { click_later(sheet_button("finish")); });
  ui.start();
  EXPECT_EQ(run_wizard_in(here), 1);
  EXPECT_TRUE(ui.done());
  EXPECT_EQ(read_workbook(box.file("br \"z\" y.xlsx")), "DEPT 5 3 DEPTNO,DNAME,LOC\n");
  auto box_after = files_below(box.path);
  const std::string saved = qm_test::file_bytes(box.file("saved \"copy\".qlt"));
  EXPECT_NE(saved.find("\ndest=" + box.file("br \"z\" y.xlsx") + "\n"), std::string::npos) << saved;
  // The settings file read is as it was; beside it only the two files named,
  // the settings store and Qt's own dialog settings.
  EXPECT_EQ(box_after["/my \"weekly\".qlt"], box_before.at("/my \"weekly\".qlt"));
  std::set<std::string> names;
  for (const auto& [name, bytes] : box_after)
    if (name.rfind("/quillmark-registry", 0) != 0 && name != "/QtProject.conf") names.insert(name);
  EXPECT_EQ(names, (std::set<std::string>{"/br \"z\" y.xlsx", "/here/", "/my \"weekly\".qlt", "/saved \"copy\".qlt"}));
  EXPECT_EQ(written_files(program_folder), program_files);
}

// A destination whose name is not UTF-8 keeps its bytes on the page while
// the user leaves the text as it is, and through Browse: Next finds its
// folder, and passing the page leaves the saved settings byte for byte as
// they were.
TEST(wizard_pages, a_destination_whose_name_is_no_text_keeps_its_bytes) {
  wizard_sandbox box;
  const std::string folder = box.file("caf\xe9"), workbook = folder + "/b\xf6\xf6k.xlsx";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  const std::string profile = box.file("run.qlt");
  run_settings(workbook).write(profile);
  ui_script quick;
  run_to_finish(quick, profile);
  ASSERT_EQ(read_workbook(workbook), "DEPT 5 3 DEPTNO,DNAME,LOC\n");
  const auto store = files_below(box.file("quillmark-registry")), workbook_bytes = files_below(folder);
  ASSERT_NE(store.size(), 0u);
  const QString shown = QString::fromStdWString(qm_platform::path_as_text(qm_test::wide(workbook)));
  QString asked;
  ui_script ui;
  ui.step("welcome", [] { return page_shown(103); }, [] { click_later(sheet_button("next")); })
      .step("connection page", [] { return page_shown(132); }, [] { click_later(sheet_button("next")); })
      .step("destination page", [] { return page_shown(105); },
            [&] {
              EXPECT_EQ(control_as<QLineEdit>(1004)->text(), shown);
              // The extension follows the format and keeps the rest.
              control_as<QComboBox>(1302)->setCurrentIndex(1);
              control_as<QComboBox>(1302)->setCurrentIndex(2);
              EXPECT_EQ(control_as<QLineEdit>(1004)->text(), shown);
              click_later(control_as<QPushButton>(1103));
            })
      // Browse opens, and cancelled changes nothing.
      .step("browse", [] { return find_visible("save_file_dialog") != nullptr; },
            [] { QTimer::singleShot(0, find_as<QDialog>("save_file_dialog"), &QDialog::reject); })
      .step("browsed", [] { return !find_visible("save_file_dialog") && page_shown(105); },
            [&] {
              EXPECT_EQ(control_as<QLineEdit>(1004)->text(), shown);
              click_later(control_as<QPushButton>(1103));
            })
      // Browse shows the destination's folder; its name saved as proposed
      // keeps its bytes.
      .step("browse again", [] { return find_visible("save_file_dialog") != nullptr; },
            [&] {
              auto* dialog = find_as<QDialog>("save_file_dialog");
              auto* folder_shown = dialog->findChild<QLineEdit*>("lookInEdit");
              EXPECT_EQ(folder_shown ? folder_shown->text() : QString(),
                        QString::fromStdWString(qm_platform::path_as_text(qm_test::wide(folder + "/"))));
              EXPECT_TRUE(press_file_dialog_ok("save_file_dialog", dialog->findChild<QLineEdit*>("fileNameEdit")->text()));
            })
      .step("saved", [] { return !find_visible("save_file_dialog") && page_shown(105); },
            [&] {
              EXPECT_EQ(control_as<QLineEdit>(1004)->text(), shown);
              click_later(sheet_button("next"));
            })
      .step("asked", [] { return front_box() != nullptr; },
            [&] {
              asked = box_text();
              answer_box(QMessageBox::Yes);
            })
      .step("table page", [] { return !front_box() && page_shown(127); }, [] { click_later(sheet_button("back")); })
      .step("destination again", [] { return page_shown(105); },
            [&] {
              EXPECT_EQ(control_as<QLineEdit>(1004)->text(), shown);
              click_later(sheet_button("back"));
            })
      .step("connection again", [] { return page_shown(132); }, [] { click_later(sheet_button("cancel")); })
      .step("cancel question", [] { return front_box() != nullptr; }, [] { answer_box(QMessageBox::Yes); });
  ui.start();
  EXPECT_EQ(run_wizard(), 0);
  EXPECT_TRUE(ui.done());
  EXPECT_EQ(asked, QString("Destination file already exists. Overwrite?"));
  EXPECT_EQ(files_below(box.file("quillmark-registry")), store);
  EXPECT_EQ(files_below(folder), workbook_bytes);
}

// A query named like a table takes the table's place, says so, and stays
// that query over Back and Next and in the run; a name that differs from a
// table's only in case is a name of its own.
TEST(wizard_pages, a_query_named_like_a_table_stays_that_query) {
  wizard_sandbox box;
  const std::string workbook = box.file("q.xlsx");
  ui_script ui;
  ui.step("welcome", [] { return page_shown(103); }, [] { click_later(sheet_button("next")); })
      .step("connection page", [] { return page_shown(132); }, [] { connect_to("demo"); })
      .step("destination page", [] { return page_shown(105); },
            [&] {
              control_as<QComboBox>(1302)->setCurrentIndex(2);
              control_as<QLineEdit>(1004)->setText(QString::fromStdString(workbook));
              click_later(sheet_button("next"));
            })
      .step("table page", [] { return page_shown(127) && !items(1317).isEmpty(); },
            [] { click_later(control_as<QPushButton>(1114)); })
      .step("query dialog", [] { return find_visible("dialog_128") != nullptr; },
            [] { fill_query("EMP", "select dname from dept", 1); })
      .step("told", [] { return box_says("The query \"EMP\" takes the place of the table of that name."); },
            [] { answer_box(QMessageBox::Ok); })
      .step("listed", [] { return !front_box() && items(1318).size() == 1; },
            [] {
              expect_lists({"DEPT", "ALL_TYPES", "RAW_DATA"}, {"EMP"});
              click_later(control_as<QPushButton>(1114));
            })
      .step("second query", [] { return find_visible("dialog_128") != nullptr; },
            [] { fill_query("dept", "select loc from dept", 1); })
      .step("both listed", [] { return !find_visible("dialog_128") && items(1318).size() == 2; },
            [] {
              EXPECT_EQ(front_box(), nullptr);
              EXPECT_EQ(items(1317), (QStringList{"DEPT", "ALL_TYPES", "RAW_DATA"}));
              edit_selected(0);
            })
      // Renamed, the query gives the table back and takes another's place.
      .step("edit dialog", [] { return find_visible("dialog_128") != nullptr; },
            [] { fill_query("DEPT", "select dname from dept", 1); })
      .step("taken", [] { return box_says("Duplicate table name. Try again."); }, [] { answer_box(QMessageBox::Ok); })
      .step("edit again", [] { return !front_box() && find_visible("dialog_128"); },
            [] { fill_query("RAW_DATA", "select dname from dept", 1); })
      .step("renamed", [] { return box_says("The query \"RAW_DATA\" takes the place of the table of that name."); },
            [] { answer_box(QMessageBox::Ok); })
      .step("renamed listed", [] { return !front_box() && items(1318).contains("RAW_DATA"); },
            [] {
              expect_lists({"DEPT", "ALL_TYPES", "EMP"}, {"dept", "RAW_DATA"});
              edit_selected(1);
            })
      .step("rename back", [] { return find_visible("dialog_128") != nullptr; },
            [] { fill_query("EMP", "select dname from dept", 1); })
      .step("named back", [] { return box_says("The query \"EMP\" takes the place of the table of that name."); },
            [] { answer_box(QMessageBox::Ok); })
      .step("named back listed", [] { return !front_box() && items(1318).contains("EMP"); },
            [] {
              expect_lists({"DEPT", "ALL_TYPES", "RAW_DATA"}, {"dept", "EMP"});
              click_later(sheet_button("back"));
            })
      .step("destination again", [] { return page_shown(105); }, [] { click_later(sheet_button("next")); })
      .step("table page again", [] { return page_shown(127); },
            [] {
              expect_lists({"DEPT", "ALL_TYPES", "RAW_DATA"}, {"EMP", "dept"});
              screenshot(control(1317), "query_named_like_a_table");
              click_later(sheet_button("next"));
            });
  run_to_finish(ui);
  EXPECT_EQ(read_workbook(workbook), "EMP 5 1 DNAME\ndept 5 1 LOC\n");
}

// Load Settings of a file whose selection holds a query named like a table
// selects the query, also when a file loaded before chose the table.
TEST(wizard_pages, load_settings_of_a_query_named_like_a_table_selects_the_query) {
  wizard_sandbox box;
  const std::string workbook = box.file("loaded.xlsx"), tables = box.file("tables.qlt"), profile = box.file("emp.qlt");
  std::ofstream(tables) << "[Selected Tables]\nDEPT\nEMP\n";
  run_settings(workbook).selecting({"EMP=select dname from dept"}).write(profile);
  const auto before = files_below(box.path);
  ui_script ui;
  // Each load shows in the settings, or leaves a box in front.
  ui.step("welcome", [] { return page_shown(103); }, [] { click_later(control_as<QPushButton>(1115)); })
      .step("load the tables", [] { return find_visible("open_file_dialog") != nullptr; },
            [&] { EXPECT_TRUE(press_file_dialog_ok("open_file_dialog", QString::fromStdString(tables))); })
      .step("tables loaded", [&] { return !front_box() && quillet_convertor::instance().selected_tables.size() == 2; },
            [] { click_later(control_as<QPushButton>(1115)); })
      .step("load the query", [] { return find_visible("open_file_dialog") != nullptr; },
            [&] { EXPECT_TRUE(press_file_dialog_ok("open_file_dialog", QString::fromStdString(profile))); })
      .step("query loaded", [&] { return !front_box() && quillet_convertor::instance().destination == qm_test::wide(workbook); },
            [] { click_later(sheet_button("next")); })
      .step("connection", [] { return page_shown(132); }, [] { click_later(sheet_button("next")); })
      .step("destination", [] { return page_shown(105); }, [] { click_later(sheet_button("next")); })
      .step("tables", [] { return page_shown(127) && !items(1317).isEmpty(); },
            [] {
              expect_lists({"ALL_TYPES", "RAW_DATA"}, {"DEPT", "EMP"});
              click_later(sheet_button("next"));
            });
  run_to_finish(ui);
  EXPECT_EQ(read_workbook(workbook), "DEPT 5 3 DEPTNO,DNAME,LOC\nEMP 5 1 DNAME\n");
  auto after = files_below(box.path);
  for (const char* name : {"/tables.qlt", "/emp.qlt"}) EXPECT_EQ(after[name], before.at(name)) << name;
}
