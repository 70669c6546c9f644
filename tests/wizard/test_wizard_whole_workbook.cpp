// The wizard replaces the destination only with the whole workbook of a
// run that reached its end: Cancel and Abort leave the old one byte for
// byte, and a run beside it on the same destination never mixes with it.
#include "wizard_test_support.h"
#include "tests/support/child_run.h"
#include "tests/support/files.h"

#include "common/quillet_convertor.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

const std::string old_bytes = "\xd0\xcf\x11\xe0 yesterday's workbook";

std::string rows_sql(const std::string& table, int rows, int base) {
  return "CREATE TABLE \"" + table + "\" (\"ID\" NUMBER(10), \"NOTE\" VARCHAR2(60));"
         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(rows) +
         ") INSERT INTO \"" + table + "\" SELECT " + std::to_string(base) + " + i, 'a note ' || i FROM n;";
}

// A folder of its own for the test, with the run's folders, the settings
// store and the sources in it.
struct run_folder : qm_test::temp_folder {
  explicit run_folder(const char* prefix) : temp_folder(prefix) { make_run_folders(path); }
  run_environment environment{path, path};
};

}  // namespace

// Cancel, and Yes, once the first table is written and the second under way.
TEST(wizard_whole_workbook, cancel_after_the_first_table_leaves_the_old_workbook_byte_for_byte) {
  folder_shared_with_child folder("QM_WHOLE_CANCEL_FOLDER", "qm_whole_cancel_");
  if (!folder.child()) make_source(folder.file("two.db"), rows_sql("A_FIRST", 10, 0) + rows_sql("B_LONG", 300000, 0));
  for (int format : {1, 2}) {
    SCOPED_TRACE(format);
    std::string sub = folder.file("format" + std::to_string(format));
    std::string workbook = sub + "/out/book" + (format == 2 ? ".xlsx" : ".xls");
    if (!folder.child()) {
      ASSERT_EQ(mkdir(sub.c_str(), 0700), 0) << qm_test::errno_text(sub);
      make_run_folders(sub);
      std::ofstream(workbook, std::ios::binary) << old_bytes;
      run_settings(workbook).from("two").in_format(format).selecting({"A_FIRST", "B_LONG"}).write(sub + "/run.qlt");
    }
    run_environment environment(sub, folder.path);
    qm_test::child_run end = qm_test::run_in_child([&] {
      test_app();
      ui_script ui;
      ui.step("second table under way",
              [] {
                return page_shown(106) && quillet_convertor::exists() &&
                       quillet_convertor::instance().tables_done == 1 &&
                       quillet_convertor::instance().records_done > 2000;
              },
              [] { click_later(find_as<QPushButton>("cancel")); })
          .step("cancel question", [] { return front_box() != nullptr; }, [] { answer_box(QMessageBox::Yes); });
      ui.start(60);
      int code = run_wizard(sub + "/run.qlt");
      std::exit(ui.done() ? code : 9);
    });
    EXPECT_TRUE(end.exited_with(0)) << end.describe();
    EXPECT_TRUE(qm_test::file_bytes(workbook) == old_bytes) << "the old workbook changed";
    EXPECT_EQ(qm_test::listing(sub + "/out"), workbook.substr(workbook.rfind('/') + 1) + "\n");
    EXPECT_EQ(qm_test::listing(sub + "/tmp"), "") << "the temporary tree stays";
  }
}

// Abort in the Continue/Abort dialog, after a table was written: the old
// workbook stays and the finish page says so.
TEST(wizard_whole_workbook, abort_leaves_the_old_workbook_and_the_finish_page_says_so) {
  run_folder folder("qm_whole_abort_");
  make_source(folder.path + "/bad.db", rows_sql("A_GOOD", 3, 0) +
                                           "CREATE TABLE \"B_BAD\" (\"N\" NUMBER(10));"
                                           "INSERT INTO \"B_BAD\" VALUES ('not a number');");
  std::string workbook = folder.path + "/out/book.xls";
  std::ofstream(workbook, std::ios::binary) << old_bytes;
  run_settings(workbook).from("bad").in_format(1).selecting({"A_GOOD", "B_BAD"}).write(folder.path + "/run.qlt");
  QString errors, result;
  ui_script ui;
  ui.step("the failure", [] { return find_visible("dialog_115") != nullptr; },
          [] {
            QWidget* dialog = find_visible("dialog_115");
            EXPECT_TRUE(dialog->findChild<QLabel*>("id_1320")->text().startsWith("B_BAD: ORA-01722"));
            click_later(dialog->findChild<QPushButton*>("id_1"));
          })
      // The page is current a moment before its Finish button shows.
      .step("finish page", [] { return finish_page_shown() && control_as<QPlainTextEdit>(1016); },
            [&] {
              errors = control_as<QPlainTextEdit>(1016)->toPlainText();
              result = control_as<QLabel>(1314)->text();
              press_finish();
            });
  ui.start(60);
  EXPECT_EQ(run_wizard(folder.path + "/run.qlt"), 1);
  EXPECT_TRUE(ui.done());
  EXPECT_EQ(result, QString("There were some errors while converting databases.\nClick 'Finish' to exit the wizard."));
  QStringList entries = errors.split("\n\n", Qt::SkipEmptyParts);
  ASSERT_EQ(entries.size(), 2) << errors.toStdString();
  EXPECT_TRUE(entries[0].startsWith("B_BAD: ORA-01722"));
  EXPECT_EQ(entries[1].trimmed(), QString("The conversion was aborted. The existing workbook was left as it was."));
  EXPECT_TRUE(qm_test::file_bytes(workbook) == old_bytes) << "the old workbook changed";
  EXPECT_EQ(qm_test::listing(folder.path + "/out"), "book.xls\n");
}

// QUILLCMD converts one of the same tables into the destination of a
// running wizard, again and again: each run writes its own whole workbook,
// the one that stays is one of them whole, and every run says it succeeded.
TEST(wizard_whole_workbook, runs_beside_the_wizard_on_its_destination_never_mix_with_it) {
  run_folder folder("qm_whole_beside_");
  constexpr int tables = 120, rows = 1000;
  std::string sql;
  std::vector<std::string> names;
  for (int t = 0; t < tables; ++t) {
    char name[8];
    std::snprintf(name, sizeof name, "T%03d", t);
    names.push_back(name);
    sql += rows_sql(name, rows, t * 10000);
  }
  make_source(folder.path + "/many.db", sql);
  std::string workbook = folder.path + "/out/book.xls";
  std::ofstream(workbook, std::ios::binary) << old_bytes;
  run_settings(workbook).from("many").in_format(1).selecting(names).write(folder.path + "/run.qlt");
  std::ofstream(folder.path + "/one.txt") << names[0] << "\n";
  // Ten runs one after the other; the first that fails ends them.
  std::string script = std::string("for i in 1 2 3 4 5 6 7 8 9 10; do '") + QM_BINARY_DIR "/bin/QUILLCMD' --src=many "
                       "--user=scott --xls_ver=1 --dest='" + workbook + "' --tab_file='" + folder.path +
                       "/one.txt' >/dev/null || exit 1; done";
  pid_t other = -1;
  int other_status = -1;
  QString result, errors;
  ui_script ui;
  ui.step("wizard under way",
          [] { return page_shown(106) && quillet_convertor::exists() && quillet_convertor::instance().tables_done >= 3; },
          [&] {
            other = fork();
            if (other == 0) {
              execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
              _exit(127);
            }
          })
      .step("the other runs ended", [&] { return other > 0 && waitpid(other, &other_status, WNOHANG) == other; },
            [] {})
      .step("finish page", [] { return finish_page_shown(); },
            [&] {
              result = control_as<QLabel>(1314)->text();
              if (auto* pane = control_as<QPlainTextEdit>(1016)) errors = pane->toPlainText();
              press_finish();
            });
  ui.start(120);
  EXPECT_EQ(run_wizard(folder.path + "/run.qlt"), 1);
  EXPECT_TRUE(ui.done());
  EXPECT_TRUE(WIFEXITED(other_status) && WEXITSTATUS(other_status) == 0) << "status " << other_status;
  EXPECT_EQ(result, QString("Wizard has converted your Oracle database into\nMS Excel spreadsheet successfully.\n\n"
                            "Click 'Finish' to exit the wizard."))
      << errors.toStdString();
  // Which run renamed last is not known here: a flag sampled after the
  // other runs ended may find the wizard finished since. What stays is the
  // wizard's whole workbook or that of a QUILLCMD run, never a mix.
  auto sheet = [&](int t) { return names[t] + " " + std::to_string(rows + 1) + " 2 ID,NOTE\n"; };
  std::string wizard;
  for (int t = 0; t < tables; ++t) wizard += sheet(t);
  const std::string other_run = sheet(0);
  const std::string stayed = read_workbook(workbook);
  EXPECT_TRUE(stayed == wizard || stayed == other_run) << stayed;
  EXPECT_EQ(qm_test::listing(folder.path + "/out"), "book.xls\n");
}
