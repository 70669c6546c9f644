// The trace log that a settings file names, beside the user's own files:
// the quick launch and Load Settings, driven through the wizard's windows.
#include "wizard_test_support.h"

#include "TK/tk_log.h"
#include "common/quillet_convertor.h"
#include "wizard/quillet_app.h"
#include "wizard/wizard_front_end.h"

#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

QWidget* control(int id) { return find_visible(QString("id_%1").arg(id)); }
QPushButton* sheet_button(const char* name) { return qobject_cast<QPushButton*>(find_any(name)); }

// Finish, with nothing opened on this desktop.
void press_finish() {
  auto* open_on_exit = qobject_cast<QAbstractButton*>(control(1225));
  if (open_on_exit && open_on_exit->isChecked()) click_later(open_on_exit);
  click_later(sheet_button("finish"));
}

int run_wizard(const std::string& command_line = std::string()) {
  std::string line = command_line;
  return WinMain(nullptr, nullptr, line.data(), 1);
}

std::string bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string link_target(const std::string& path) {
  char target[PATH_MAX];
  ssize_t n = readlink(path.c_str(), target, sizeof target);
  return n < 0 ? std::string() : std::string(target, static_cast<std::size_t>(n));
}

// Answers each box that only informs (its button OK) as it comes, as a user
// who reads it, and keeps its text.
class box_reader {
 public:
  box_reader() : timer(new QTimer(&test_app())) {
    QObject::connect(timer, &QTimer::timeout, [this] {
      QMessageBox* box = front_box();
      if (!box || box->property("read").toBool() || !box->button(QMessageBox::Ok)) return;
      box->setProperty("read", true);
      texts.push_back(box->text().toStdString());
      click_later(box->button(QMessageBox::Ok));
    });
    timer->start(20);
  }
  ~box_reader() { delete timer; }
  std::vector<std::string> texts;

 private:
  QTimer* timer;
};

// A folder with an ocilite source `src` (src.db, found through
// OCILITE_PATH), a file of the user's and a link to it.
struct user_files {
  wizard_sandbox box;
  const std::string source = box.file("src.db"), notes = box.file("notes.txt"), link = box.file("link.log"),
                    workbook = box.file("book.xlsx");

  user_files() {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(source.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           "CREATE TABLE \"DEPT\" (\"DEPTNO\" NUMBER(2), \"DNAME\" VARCHAR2(14));"
                           "INSERT INTO \"DEPT\" VALUES (10, 'ACCOUNTING'), (20, 'RESEARCH');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    std::ofstream(notes) << "my notes, kept for years\n";
    EXPECT_EQ(symlink("notes.txt", link.c_str()), 0);
    setenv("OCILITE_PATH", box.path.c_str(), 1);
  }
  ~user_files() { unsetenv("OCILITE_PATH"); }

  // A settings file that converts DEPT of `src` into book.xlsx, its log
  // named `log`.
  std::string settings(const std::string& name, const std::string& log, const std::string& src = "src") const {
    std::string path = box.file(name);
    std::ofstream(path) << "[Generic settings]\ndest=" << workbook << "\nlogfile=" << log << "\nsrc=" << src
                        << "\n\n[MS Excel settings]\nformat version=2\n\n[Oracle settings]\npassword=tiger\n"
                           "user=scott\n\n[Selected Tables]\nDEPT\n";
    return path;
  }
  // The settings file, the source, the user's file and the link, as they are.
  std::vector<std::string> now(const std::string& profile) const {
    return {bytes(profile), bytes(source), bytes(notes), link_target(link)};
  }
};

std::wstring saved_source() {
  wizard_front_end front;
  quillet_convertor saved(front);
  return saved.source_name;
}

// Load Settings of `profile` on the welcome page, Next, and Next on the
// connection page for `source`, up to where that connection has ended.
void load_and_connect(ui_script& ui, const box_reader& boxes, const std::string& profile, const std::string& source) {
  auto boxes_before = std::make_shared<std::size_t>();
  ui.step("welcome page", [] { return page_shown(103) && !front_box(); },
          [] { click_later(qobject_cast<QPushButton*>(control(1115))); })
      .step("load dialog", [] { return find_visible("open_file_dialog") != nullptr; },
            [profile] { accept_file_dialog("open_file_dialog", profile); })
      .step("loaded", [] { return !find_visible("open_file_dialog") && page_shown(103) && !front_box(); },
            [] { click_later(sheet_button("next")); })
      .step("connection page", [] { return page_shown(132) && !front_box(); },
            [&boxes, boxes_before, source] {
              qobject_cast<QLineEdit*>(control(1003))->setText("");
              qobject_cast<QLineEdit*>(control(1004))->setText("");
              qobject_cast<QLineEdit*>(control(1014))->setText(QString::fromStdString(source));
              qobject_cast<QLineEdit*>(control(1012))->setText("scott");
              *boxes_before = boxes.texts.size();
              click_later(sheet_button("next"));
            })
      .step("connection ended",
            [&boxes, boxes_before] {
              return !front_box() && (page_shown(105) || (page_shown(132) && boxes.texts.size() > *boxes_before));
            },
            [] {});
}

}  // namespace

TEST(wizard_log, a_quick_launch_refuses_a_log_named_like_a_file_of_the_user_and_leaves_it) {
  user_files f;
  const std::string profile = f.box.file("run.qlt");
  const struct {
    const char* what;
    std::string log;
    std::string message;
  } cases[] = {
      {"the settings file", profile, "Logfile name specifies a file the run reads: " + profile},
      {"the source", f.source, "Logfile name specifies a file the run reads: " + f.source},
      {"a link", f.link, "Logfile name specifies a symbolic link: " + f.link},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    tk_log log;
    f.settings("run.qlt", c.log);
    const std::vector<std::string> before = f.now(profile);
    box_reader boxes;
    ui_script ui;
    ui.step("finish page", [] { return page_shown(107) && !front_box(); }, press_finish);
    ui.start();
    EXPECT_EQ(run_wizard(profile), -1);
    EXPECT_EQ(boxes.texts, std::vector<std::string>{c.message});
    EXPECT_EQ(f.now(profile), before);
    EXPECT_EQ(bytes(f.workbook), "");
    // A settings file refused is not the next start's.
    EXPECT_EQ(saved_source(), L"");
  }
}

TEST(wizard_log, load_settings_refuses_a_log_named_like_a_file_of_the_user_also_after_an_earlier_connection) {
  user_files f;
  const std::string profile = f.box.file("run.qlt"), first_log = f.box.file("first.log");
  const struct {
    const char* what;
    std::string log;
    std::string message;
    bool connected_before;
  } cases[] = {
      {"the settings file", profile, "Logfile name specifies a file the run reads: " + profile, false},
      {"the source", f.source, "Logfile name specifies a file the run reads: " + f.source, false},
      {"the source, after a connection with another log", f.source,
       "Logfile name specifies a file the run reads: " + f.source, true},
      {"a link", f.link, "Logfile name specifies a symbolic link: " + f.link, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    tk_log log;
    std::remove(first_log.c_str());
    const std::string first = f.settings("first.qlt", first_log, "demo");
    f.settings("run.qlt", c.log);
    const std::vector<std::string> before = f.now(profile);
    box_reader boxes;
    ui_script ui;
    if (c.connected_before) {
      // The demo source, its log written; then back to the welcome page.
      load_and_connect(ui, boxes, first, "demo");
      ui.step("destination page", [] { return page_shown(105); }, [] { click_later(sheet_button("back")); })
          .step("back on the connection page", [] { return page_shown(132); },
                [] { click_later(sheet_button("back")); });
    }
    load_and_connect(ui, boxes, profile, "src");
    ui.step("cancel", [] { return !front_box(); }, [] { click_later(sheet_button("cancel")); })
        .step("cancel question", [] { return front_box() && front_box()->button(QMessageBox::Yes); },
              [] { answer_box(QMessageBox::Yes); });
    ui.start();
    EXPECT_EQ(run_wizard(), 0);
    EXPECT_TRUE(ui.done());
    EXPECT_EQ(boxes.texts, std::vector<std::string>{c.message});
    EXPECT_EQ(f.now(profile), before);
    if (c.connected_before) {
      EXPECT_NE(bytes(first_log).find("Connection has been established"), std::string::npos) << bytes(first_log);
    }
  }
}

TEST(wizard_log, a_log_that_cannot_be_made_is_said_once_and_the_run_goes_on) {
  user_files f;
  tk_log log;
  const std::string too_long = f.box.file(std::string(300, 'x') + ".log");
  const std::string profile = f.settings("run.qlt", too_long);
  box_reader boxes;
  ui_script ui;
  ui.step("finish page", [] { return page_shown(107) && !front_box(); }, press_finish);
  ui.start();
  EXPECT_EQ(run_wizard(profile), 1);
  EXPECT_TRUE(ui.done());
  EXPECT_EQ(boxes.texts, std::vector<std::string>{"Cannot open the log file " + too_long + ": file name too long"});
  EXPECT_EQ(read_workbook(f.workbook), "DEPT 3 2 DEPTNO,DNAME\n");
}
