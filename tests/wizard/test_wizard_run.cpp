// Whole runs of the wizard, driven through its windows.
#include "wizard_test_support.h"
#include "tests/support/child_run.h"
#include "tests/support/files.h"

#include "TK/tk_utils.h"
#include "common/quillet_convertor.h"
#include "platform/utf8.h"
#include "wizard/wizard_front_end.h"
#include "tests/support/wide_text.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

}  // namespace

TEST(wizard_run, converts_the_demo_tables_and_a_query_to_xlsx) {
  wizard_sandbox box;
  std::string workbook = box.file("demo.xlsx");
  std::string profile = box.file("saved.qlt");
  ui_script ui;
  ui.step("welcome page", [] { return page_shown(103); },
          [] {
            screenshot(control(1337), "1_welcome");
            click_later(find_as<QPushButton>("next"));
          })
      .step("connection page", [] { return page_shown(132); },
            [] {
              control_as<QLineEdit>(1003)->setText("");
              control_as<QLineEdit>(1004)->setText("");
              control_as<QLineEdit>(1014)->setText("demo");
              control_as<QLineEdit>(1012)->setText("scott");
              control_as<QLineEdit>(1013)->setText("tiger");
              screenshot(control(1014), "2_connection");
              click_later(find_as<QPushButton>("next"));
            })
      .step("destination page", [] { return page_shown(105); },
            [workbook] {
              control_as<QLineEdit>(1004)->setText(QString::fromStdString(workbook));
              control_as<QComboBox>(1302)->setCurrentIndex(2);
              screenshot(control(1004), "3_destination");
              click_later(find_as<QPushButton>("next"));
            })
      .step("table page", [] { return page_shown(127) && control_as<QListWidget>(1317)->count() > 0; },
            [] {
              click_later(control_as<QPushButton>(1102));
              click_later(control_as<QPushButton>(1114));
            })
      .step("query dialog", [] { return find_visible("dialog_128") != nullptr; },
            [] {
              control_as<QLineEdit>(1019)->setText("Q_DEPT");
              control_as<QPlainTextEdit>(1020)->setPlainText("  select DEPTNO, DNAME from DEPT");
              screenshot(control(1019), "5_query_dialog");
              click_later(control_as<QPushButton>(1));
            })
      .step("query listed", [] { return !find_visible("dialog_128") && page_shown(127); },
            [] {
              screenshot(control(1317), "4_tables");
              click_later(find_as<QPushButton>("next"));
            })
      .step("progress page", [] { return page_shown(106) || finish_page_shown(); },
            [] { screenshot(find_as<QPushButton>("next"), "6_progress"); })
      .step("finish page", [] { return finish_page_shown(); },
            [] {
              screenshot(control(1313), "7_finish");
              // Nothing is opened on this desktop.
              click_later(control_as<QAbstractButton>(1225));
              click_later(control_as<QPushButton>(1116));
            })
      .step("save settings dialog", [] { return find_visible("save_file_dialog") != nullptr; },
            [profile] { accept_file_dialog("save_file_dialog", profile.substr(0, profile.size() - 4)); })
      .step("finish", [] { return finish_page_shown() && !find_visible("save_file_dialog"); },
            [] { click_later(find_as<QPushButton>("finish")); });
  ui.start();
  EXPECT_EQ(run_wizard(), 1);
  EXPECT_TRUE(ui.done());
  EXPECT_EQ(read_workbook(workbook),
            "ALL_TYPES 4 28 ID,C_NUMBER,C_NUMBER_P,C_NUMBER_PS,C_FLOAT,C_FLOAT_B,C_INTEGER,C_VARCHAR2,C_NVARCHAR2,"
            "C_VARCHAR,C_CHAR,C_NCHAR,C_DATE,C_TIMESTAMP,C_TIMESTAMP3,C_TSTZ,C_TSLTZ,C_CLOB,C_NCLOB,C_BLOB,C_BFILE,"
            "C_RAW,C_LONG,C_ROWID,C_UROWID,C_BFLOAT,C_BDOUBLE,C_XML\n"
            "DEPT 5 3 DEPTNO,DNAME,LOC\n"
            "EMP 12 8 EMPNO,ENAME,JOB,MGR,HIREDATE,SAL,COMM,DEPTNO\n"
            "Q_DEPT 5 2 DEPTNO,DNAME\n"
            "RAW_DATA 3 2 ID,PAYLOAD\n");
  // The saved settings name the query and the format.
  const std::string saved = qm_test::file_bytes(profile);
  EXPECT_NE(saved.find("select DEPTNO, DNAME from DEPT"), std::string::npos) << saved;
  EXPECT_NE(saved.find("format version=2"), std::string::npos) << saved;
}

namespace {

// A long run in `folder`: its run folders, a source "big" of 300000 records
// and the settings file run.qlt that converts it to out/big.xlsx.
void make_big_run(const std::string& folder) {
  make_run_folders(folder);
  make_source(folder + "/big.db",
              "CREATE TABLE \"BIG\" (\"ID\" NUMBER(10), \"NAME\" VARCHAR2(40), \"NOTE\" VARCHAR2(80));"
              "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300000) INSERT INTO \"BIG\" "
              "SELECT i, 'name ' || i, 'a note that makes the row longer, number ' || (i * 7) FROM n;");
  run_settings(folder + "/out/big.xlsx").from("big").selecting({"BIG"}).as("scott", "tiger").write(folder + "/run.qlt");
}

}  // namespace

TEST(wizard_run, a_table_wider_than_an_xls_sheet_is_cut_and_the_finish_page_says_so) {
  wizard_sandbox box;
  std::string columns, values;
  for (int n = 1; n <= 300; ++n) {
    columns += std::string(n > 1 ? ", " : "") + "\"C" + std::to_string(n) + "\" NUMBER(4)";
    values += std::string(n > 1 ? ", " : "") + std::to_string(n);
  }
  ASSERT_TRUE(make_source(box.file("wide.db"),
                          "CREATE TABLE \"WIDE\" (" + columns + "); INSERT INTO \"WIDE\" VALUES (" + values + ");"));
  run_settings(box.file("wide.xls")).from("wide").in_format(1).selecting({"WIDE"}).as("scott", "tiger").write(
      box.file("run.qlt"));
  scoped_env source("OCILITE_PATH", box.path);
  const QString cut = "WIDE: The table has more columns than an Excel 2000 worksheet holds; only its first 255 "
                      "fields were written.";
  auto shown = [](const QString& text) {
    auto* label = find_visible("dialog_115") ? control_as<QLabel>(1320) : nullptr;
    return label && label->text() == text;
  };
  QString errors;
  ui_script ui;
  ui.step("the question before the cut", [&] { return shown("Table will be truncated up to 256 columns."); },
          [] { click_later(control_as<QPushButton>(2)); })
      .step("the cut, reported", [&] { return shown(cut); }, [] { click_later(control_as<QPushButton>(2)); })
      .step("finish page", [] { return finish_page_shown() && control(1016); },
            [&] {
              errors = control_as<QPlainTextEdit>(1016)->toPlainText();
              click_later(find_as<QPushButton>("finish"));
            });
  ui.start();
  EXPECT_EQ(run_wizard(box.file("run.qlt")), 1);
  EXPECT_TRUE(ui.done());
  EXPECT_EQ(errors.trimmed(), cut);
  std::string header;
  for (int n = 1; n <= 255; ++n) header += (n > 1 ? ",C" : "C") + std::to_string(n);
  EXPECT_EQ(read_workbook(box.file("wide.xls")), "WIDE 2 255 " + header + "\n");
}

// Started in a folder whose name is not UTF-8, the workbook goes there and
// the saved settings name it with the folder's own bytes.
TEST(wizard_run, settings_saved_in_a_folder_whose_name_is_no_text_name_that_folder) {
  wizard_sandbox box;
  const std::string folder = box.file("caf\xe9"), profile = box.file("saved.qlt");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  std::ofstream(profile) << "[Generic settings]\nsrc=OLD\n";
  QString message;
  ui_script ui;
  ui.step("welcome page", [] { return page_shown(103); }, [] { click_later(find_as<QPushButton>("next")); })
      .step("connection page", [] { return page_shown(132); },
            [] { connect_to("demo"); })
      .step("destination page", [] { return page_shown(105); },
            [] {
              control_as<QComboBox>(1302)->setCurrentIndex(2);
              control_as<QLineEdit>(1004)->setText("book");
              click_later(find_as<QPushButton>("next"));
            })
      .step("table page", [] { return page_shown(127) && control_as<QListWidget>(1317)->count() > 0; },
            [] {
              control_as<QListWidget>(1317)->setCurrentRow(0);
              click_later(control_as<QPushButton>(1101));
              click_later(find_as<QPushButton>("next"));
            })
      .step("finish page", [] { return finish_page_shown(); },
            [] {
              keep_open_on_exit_off();
              click_later(control_as<QPushButton>(1116));
            })
      .step("save settings dialog", [] { return find_visible("save_file_dialog") != nullptr; },
            [profile] { accept_file_dialog("save_file_dialog", profile); })
      .step("saved", [] { return !find_visible("save_file_dialog") && (front_box() || finish_page_shown()); },
            [&] {
              if (front_box()) {
                message = front_box()->text();
                answer_box(QMessageBox::Ok);
              }
            })
      .step("finish", [] { return !front_box() && finish_page_shown(); },
            [] { click_later(find_as<QPushButton>("finish")); });
  ui.start();
  EXPECT_EQ(run_wizard_in(folder), 1);
  EXPECT_TRUE(ui.done());
  EXPECT_EQ(message, QString());
  EXPECT_EQ(read_workbook(folder + "/book.xlsx"), "DEPT 5 3 DEPTNO,DNAME,LOC\n");
  const std::string saved = qm_test::file_bytes(profile);
  EXPECT_NE(saved.find("\ndest=" + folder + "/book.xlsx\n"), std::string::npos) << saved;
  wizard_front_end front;
  quillet_convertor loaded(front);
  ASSERT_TRUE(loaded.load_profile(qm_test::wide(profile)));
  EXPECT_EQ(loaded.destination, qm_test::wide((folder + "/book.xlsx")));
}

TEST(wizard_run, cancel_and_yes_stop_a_long_run_and_the_wizard_ends_normally) {
  // The child runs this body again: it finds the parent's folder.
  folder_shared_with_child shared("QM_CANCEL_TEST_FOLDER", "qm_cancel_");
  if (!shared.child()) make_big_run(shared.path);
  const std::string& folder = shared.path;
  run_environment environment(folder, folder);

  qm_test::child_run end = qm_test::run_in_child([&] {
        test_app();
        int cancelled_at = 0;
        std::chrono::steady_clock::time_point answered;
        ui_script ui;
        ui.step("run under way",
                [&] {
                  return page_shown(106) && quillet_convertor::exists() &&
                         quillet_convertor::instance().records_done > 2000 && qm_test::listing(folder + "/tmp") != "";
                },
                [&] {
                  cancelled_at = quillet_convertor::instance().records_done;
                  click_later(find_as<QPushButton>("cancel"));
                })
            .step("cancel question", [] { return front_box() != nullptr; },
                  [&] {
                    std::fprintf(stderr, "question: %s\n", front_box()->text().toUtf8().constData());
                    answered = std::chrono::steady_clock::now();
                    answer_box(QMessageBox::Yes);
                  });
        ui.start(60);
        int code = run_wizard(folder + "/run.qlt");
        auto stopped = std::chrono::steady_clock::now() - answered;
        std::fprintf(stderr, "cancelled at record %d of 300000\n", cancelled_at);
        if (stopped < std::chrono::seconds(3)) std::fprintf(stderr, "stopped in time\n");
        std::exit(ui.done() ? code : 9);
  });
  EXPECT_TRUE(end.exited_with(0)) << end.describe();
  EXPECT_TRUE(end.error_output_matches(
      "question: Are you sure you want to exit the wizard\\?.*cancelled at record [0-9]+ of 300000.*stopped in time"))
      << end.describe();

  EXPECT_EQ(qm_test::listing(folder + "/tmp"), "") << "the temporary tree stays";
  EXPECT_EQ(qm_test::listing(folder + "/out"), "") << "an unfinished workbook stays";
  {
    // The settings of the run are the next start's.
    wizard_front_end front;
    quillet_convertor saved(front);
    EXPECT_EQ(saved.source_name, L"big");
    EXPECT_EQ(saved.format_version, 2);
  }
}

TEST(wizard_run, cancel_breaks_off_a_long_statement) {
  folder_shared_with_child shared("QM_CANCEL_QUERY_FOLDER", "qm_cancel_query_");
  const std::string& folder = shared.path;
  const std::string old = folder + "/out/long.xlsx";
  if (!shared.child()) {
    // A query that counts the threefold cross join of 2,000 rows: minutes.
    make_run_folders(folder);
    make_source(folder + "/long.db",
                "CREATE TABLE \"CUBE\" (\"ID\" NUMBER(6)); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                "FROM n WHERE i < 2000) INSERT INTO \"CUBE\" SELECT i FROM n;");
    run_settings(old)
        .from("long")
        .selecting({"LONG=SELECT COUNT(*) AS \"N\" FROM \"CUBE\" a, \"CUBE\" b, \"CUBE\" c"})
        .as("scott", "tiger")
        .write(folder + "/run.qlt");
    std::ofstream(old) << "an earlier workbook";
  }
  run_environment environment(folder, folder);
  qm_test::child_run end = qm_test::run_in_child([&] {
    test_app();
    std::chrono::steady_clock::time_point answered;
    ui_script ui;
    // Well into the statement: the process has counted for a while.
    ui.step("statement under way",
            [] {
              return page_shown(106) && quillet_convertor::exists() &&
                     quillet_convertor::instance().get_current_table() == L"LONG" &&
                     std::clock() > 2 * CLOCKS_PER_SEC;
            },
            [] { click_later(find_as<QPushButton>("cancel")); })
        .step("cancel question", [] { return front_box() != nullptr; },
              [&] {
                answered = std::chrono::steady_clock::now();
                answer_box(QMessageBox::Yes);
              });
    ui.start(60);
    int code = run_wizard(folder + "/run.qlt");
    if (std::chrono::steady_clock::now() - answered < std::chrono::seconds(3)) std::fprintf(stderr, "stopped in time\n");
    std::exit(ui.done() ? code : 9);
  }, std::chrono::seconds(60));
  EXPECT_TRUE(end.exited_with(0)) << end.describe();
  EXPECT_TRUE(end.error_output_matches("stopped in time")) << end.describe();
  EXPECT_EQ(qm_test::listing(folder + "/tmp"), "") << "the temporary tree stays";
  EXPECT_EQ(qm_test::listing(folder + "/out"), "long.xlsx\n");
  EXPECT_EQ(qm_test::file_bytes(old), "an earlier workbook");
}

// The user opens the Cancel question and the run ends before the answer:
// the question goes, and the finished workbook ends the wizard as Finish.
TEST(wizard_run, a_cancel_question_open_when_the_run_ends_closes) {
  qm_test::temp_folder made("qm_question_");
  const std::string& folder = made.path;
  make_big_run(folder);
  scoped_env source("OCILITE_PATH", folder);
  scoped_env config("XDG_CONFIG_HOME", folder + "/config");
  test_app();
  ui_script ui;
  ui.step("run under way",
          [] { return page_shown(106) && quillet_convertor::instance().records_done > 1000; },
          [] { click_later(find_as<QPushButton>("cancel")); })
      .step("cancel question", [] { return front_box() != nullptr; },
            [] {
              EXPECT_EQ(front_box()->text(), QString("Are you sure you want to exit the wizard?"));
              // Left open: the user looks away.
              EXPECT_FALSE(quillet_convertor::instance().finished) << "the run ended before the question";
            })
      .step("run ended", [] { return bool(quillet_convertor::instance().finished); }, [] {})
      // A question that outlives the run ends the test at the step's deadline;
      // the page is current a moment before its Finish button shows.
      .step("the question gone and the finish page shown",
            [] { return !front_box() && finish_page_shown(); },
            press_finish);
  ui.start(60);
  EXPECT_EQ(run_wizard(folder + "/run.qlt"), 1);
  EXPECT_TRUE(ui.done());
  EXPECT_TRUE(tk_is_file_exist(folder + "/out/big.xlsx", 0));
}

TEST(quillet_program, a_signal_during_a_run_stops_it_and_ends_the_program_by_that_signal) {
  qm_test::temp_folder made("qm_signal_");
  const std::string& folder = made.path;
  make_big_run(folder);
  std::vector<std::string> env = {"OCILITE_PATH=" + folder, "TMPDIR=" + folder + "/tmp",
                                  "XDG_CONFIG_HOME=" + folder + "/config", "XDG_RUNTIME_DIR=" + folder + "/runtime"};
  if (const char* home = std::getenv("HOME")) env.push_back(std::string("HOME=") + home);
  pid_t pid = start_quillet(folder + "/run.qlt", env);
  ASSERT_GE(pid, 0);
  // Some MB of the table are in the temporary tree.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  std::uintmax_t size = 0;
  while (size < 2000000 && std::chrono::steady_clock::now() < deadline) {
    Sleep(50);
    size = 0;
    std::error_code ignored;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder + "/tmp", ignored))
      if (e.is_regular_file(ignored)) size += e.file_size(ignored);
  }
  EXPECT_GE(size, 2000000u);
  kill(pid, SIGTERM);
  int status = wait_for_end(pid, 30);
  EXPECT_NE(status, -1) << "quillet did not end";
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
  EXPECT_EQ(qm_test::listing(folder + "/tmp"), "") << "the temporary tree stays";
  EXPECT_EQ(qm_test::listing(folder + "/out"), "") << "an unfinished workbook stays";
  {
    // The settings of the run are the next start's, as after any other
    // close. The convertor saves them again as it goes: into the run's
    // store, which outlives it.
    scoped_env config("XDG_CONFIG_HOME", folder + "/config");
    wizard_front_end front;
    quillet_convertor saved(front);
    EXPECT_EQ(saved.source_name, L"big");
    EXPECT_EQ(saved.format_version, 2);
    EXPECT_EQ(tk_to_utf8(saved.destination), folder + "/out/big.xlsx");
  }
}
