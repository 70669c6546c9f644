// Whole runs of the wizard, driven through its windows.
#include "wizard_test_support.h"

#include "wizard/quillet_app.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

QPushButton* sheet_button(const char* name) { return find_as<QPushButton>(name); }

QWidget* control(int id) { return find_visible(QString("id_%1").arg(id)); }

template <class T>
T* control_as(int id) {
  return qobject_cast<T*>(control(id));
}

int run_wizard(const std::string& command_line = std::string()) {
  std::string line = command_line;
  return WinMain(nullptr, nullptr, line.data(), 1);
}

}  // namespace

TEST(wizard_run, converts_the_demo_tables_and_a_query_to_xlsx) {
  wizard_sandbox box;
  std::string workbook = box.file("demo.xlsx");
  std::string profile = box.file("saved.qlt");
  ui_script ui;
  ui.step("welcome page", [] { return page_shown(103); },
          [] {
            screenshot(control(1337), "1_welcome");
            click_later(sheet_button("next"));
          })
      .step("connection page", [] { return page_shown(132); },
            [] {
              control_as<QLineEdit>(1003)->setText("");
              control_as<QLineEdit>(1004)->setText("");
              control_as<QLineEdit>(1014)->setText("demo");
              control_as<QLineEdit>(1012)->setText("scott");
              control_as<QLineEdit>(1013)->setText("tiger");
              screenshot(control(1014), "2_connection");
              click_later(sheet_button("next"));
            })
      .step("destination page", [] { return page_shown(105); },
            [workbook] {
              control_as<QLineEdit>(1004)->setText(QString::fromStdString(workbook));
              control_as<QComboBox>(1302)->setCurrentIndex(2);
              screenshot(control(1004), "3_destination");
              click_later(sheet_button("next"));
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
              click_later(sheet_button("next"));
            })
      .step("progress page", [] { return page_shown(106) || page_shown(107); },
            [] { screenshot(sheet_button("next"), "6_progress"); })
      .step("finish page", [] { return page_shown(107); },
            [] {
              screenshot(control(1313), "7_finish");
              // Nothing is opened on this desktop.
              click_later(control_as<QAbstractButton>(1225));
              click_later(control_as<QPushButton>(1116));
            })
      .step("save settings dialog", [] { return find_visible("save_file_dialog") != nullptr; },
            [profile] {
              auto* dialog = find_as<QDialog>("save_file_dialog");
              auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
              name->setText(QString::fromStdString(profile.substr(0, profile.size() - 4)));
              QTimer::singleShot(0, dialog, &QDialog::accept);
            })
      .step("finish", [] { return page_shown(107) && !find_visible("save_file_dialog"); },
            [] { click_later(sheet_button("finish")); });
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
  std::ifstream in(profile);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("select DEPTNO, DNAME from DEPT"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("format version=2"), std::string::npos) << text.str();
}
