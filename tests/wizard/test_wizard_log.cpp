// The trace log that a settings file names, beside the user's own files:
// the quick launch and Load Settings, driven through the wizard's windows.
#include "wizard_test_support.h"
#include "tests/support/files.h"

#include "TK/tk_log.h"
#include "common/quillet_convertor.h"
#include "wizard/wizard_front_end.h"

#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

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
// OCILITE_PATH), a file of the user's, a link to it, and the place of the
// settings file run.qlt.
struct user_files {
  wizard_sandbox box;
  const std::string source = box.file("src.db"), notes = box.file("notes.txt"), link = box.file("link.log"),
                    profile = box.file("run.qlt"), workbook = box.file("book.xlsx");
  scoped_env sources{"OCILITE_PATH", box.path};

  user_files() {
    make_source(source,
                "CREATE TABLE \"DEPT\" (\"DEPTNO\" NUMBER(2), \"DNAME\" VARCHAR2(14));"
                "INSERT INTO \"DEPT\" VALUES (10, 'ACCOUNTING'), (20, 'RESEARCH');");
    std::ofstream(notes) << "my notes, kept for years\n";
    EXPECT_EQ(symlink("notes.txt", link.c_str()), 0);
  }

  // A settings file that converts DEPT of `src` into book.xlsx, its log
  // named `log`.
  std::string settings(const std::string& path, const std::string& log, const std::string& src = "src") const {
    return run_settings(workbook).from(src).as("scott", "tiger").logging_to(log).write(path);
  }
  // The settings file, the source, the user's file and the link, as they are.
  std::map<std::string, std::string> now() const {
    return {{"the settings file", qm_test::file_bytes(profile)},
            {"the source", qm_test::file_bytes(source)},
            {"the user's file", qm_test::file_bytes(notes)},
            {"the link", link_target(link)}};
  }
  // What differs from `before`, by name.
  std::vector<std::string> changed(const std::map<std::string, std::string>& before) const {
    std::vector<std::string> names;
    for (const auto& [name, content] : now())
      if (before.at(name) != content) names.push_back(name);
    return names;
  }
};

// The log names the settings file, the source or the link; the refusal
// that says so.
struct log_case {
  const char* what;
  const std::string user_files::*log;
  const char* refusal;
};
const log_case log_cases[] = {
    {"the settings file", &user_files::profile, "Logfile name specifies a file the run reads: "},
    {"the source", &user_files::source, "Logfile name specifies a file the run reads: "},
    {"a link", &user_files::link, "Logfile name specifies a symbolic link: "},
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
              *boxes_before = boxes.texts.size();
              connect_to(QString::fromStdString(source));
            })
      .step("connection ended",
            [&boxes, boxes_before] {
              return !front_box() && (page_shown(105) || (page_shown(132) && boxes.texts.size() > *boxes_before));
            },
            [] {});
}

}  // namespace

TEST(wizard_log, a_quick_launch_refuses_a_log_named_like_a_file_of_the_user_and_leaves_it) {
  for (const log_case& c : log_cases) {
    SCOPED_TRACE(c.what);
    user_files f;
    tk_log log;
    f.settings(f.profile, f.*c.log);
    const auto before = f.now();
    box_reader boxes;
    ui_script ui;
    ui.step("finish page", [] { return finish_page_shown() && !front_box(); }, press_finish);
    ui.start();
    EXPECT_EQ(run_wizard(f.profile), -1);
    EXPECT_EQ(boxes.texts, std::vector<std::string>{c.refusal + f.*c.log});
    EXPECT_EQ(f.changed(before), std::vector<std::string>{});
    EXPECT_NE(access(f.workbook.c_str(), F_OK), 0) << "a workbook was written";
    // A settings file refused is not the next start's.
    EXPECT_EQ(saved_source(), L"");
  }
}

// Also when an earlier connection has started the log under another name:
// the new name is checked against the source the next connection opens.
TEST(wizard_log, load_settings_refuses_a_log_named_like_a_file_of_the_user_also_after_an_earlier_connection) {
  for (const log_case& c : log_cases) {
    for (bool connected_before : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (connected_before ? ", after a connection with another log" : ""));
      user_files f;
      tk_log log;
      const std::string first_log = f.box.file("first.log");
      const std::string first = f.settings(f.box.file("first.qlt"), first_log, "demo");
      f.settings(f.profile, f.*c.log);
      const auto before = f.now();
      box_reader boxes;
      ui_script ui;
      if (connected_before) {
        // The demo source, its log written; then back to the welcome page.
        load_and_connect(ui, boxes, first, "demo");
        ui.step("destination page", [] { return page_shown(105); }, [] { click_later(sheet_button("back")); })
            .step("back on the connection page", [] { return page_shown(132); },
                  [] { click_later(sheet_button("back")); });
      }
      load_and_connect(ui, boxes, f.profile, "src");
      ui.step("cancel", [] { return !front_box(); }, [] { click_later(sheet_button("cancel")); })
          .step("cancel question", [] { return front_box() && front_box()->button(QMessageBox::Yes); },
                [] { answer_box(QMessageBox::Yes); });
      ui.start();
      EXPECT_EQ(run_wizard(), 0);
      EXPECT_TRUE(ui.done());
      EXPECT_EQ(boxes.texts, std::vector<std::string>{c.refusal + f.*c.log});
      EXPECT_EQ(f.changed(before), std::vector<std::string>{});
      if (connected_before) {
        EXPECT_NE(qm_test::file_bytes(first_log).find("Connection has been established"), std::string::npos);
      }
    }
  }
}

TEST(wizard_log, a_log_that_cannot_be_made_is_said_once_and_the_run_goes_on) {
  user_files f;
  tk_log log;
  const std::string too_long = f.box.file(std::string(300, 'x') + ".log");
  const std::string profile = f.settings(f.profile, too_long);
  box_reader boxes;
  ui_script ui;
  ui.step("finish page", [] { return finish_page_shown() && !front_box(); }, press_finish);
  ui.start();
  EXPECT_EQ(run_wizard(profile), 1);
  EXPECT_TRUE(ui.done());
  EXPECT_EQ(boxes.texts, std::vector<std::string>{"Cannot open the log file " + too_long + ": file name too long"});
  EXPECT_EQ(read_workbook(f.workbook), "DEPT 3 2 DEPTNO,DNAME\n");
}

// The file a connection would open is known before it is tried: a log
// that names it is refused then, whether the source could be opened or not,
// and the quick launch writes nothing to the log.
TEST(wizard_log, a_quick_launch_whose_connection_fails_leaves_a_source_named_by_the_log_as_it_was) {
  for (const char* source : {"locked", "no database"}) {
    SCOPED_TRACE(source);
    user_files f;
    tk_log log;
    if (std::string(source) == "no database") std::ofstream(f.source) << "my notes, kept as a database would be\n";
    f.settings(f.profile, f.source);
    const auto before = f.now();
    std::unique_ptr<sqlite_lock_holder> lock;
    if (std::string(source) == "locked") {
      lock = std::make_unique<sqlite_lock_holder>(f.source);
      ASSERT_TRUE(lock->held());
    }
    box_reader boxes;
    EXPECT_EQ(run_wizard(f.profile), -1);
    lock.reset();
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "Logfile name specifies a file the run reads: " + f.source);
    EXPECT_EQ(f.changed(before), std::vector<std::string>{});
  }
}

// Save Settings replaces the file it names: the log, writing on under its
// name, would then add its later lines to the settings. (The dialog keeps
// a name with the settings extension as it is.)
TEST(wizard_log, save_settings_refuses_the_file_the_log_writes_to) {
  user_files f;
  tk_log log;
  const std::string run_log = f.box.file("trace.qlt"), linked = f.box.file("linked");
  ASSERT_EQ(symlink(f.box.path.c_str(), linked.c_str()), 0);
  const std::string profile = f.settings(f.profile, run_log);
  const struct {
    std::string file;
    bool refused;
  } saves[] = {
      {run_log, true},
      {linked + "/trace.qlt", true},  // its folder reached through a link
      {f.box.file("saved.qlt"), false},
  };
  box_reader boxes;
  ui_script ui;
  for (const auto& save : saves) {
    ui.step("finish page", [] { return page_shown(107) && !front_box(); },
            [] { click_later(qobject_cast<QPushButton*>(control(1116))); })
        .step("save dialog", [] { return find_visible("save_file_dialog") != nullptr; },
              [file = save.file] { accept_file_dialog("save_file_dialog", file); })
        .step("saved", [] { return !find_visible("save_file_dialog") && !front_box(); }, [] {});
  }
  ui.step("finish", [] { return page_shown(107) && !front_box(); }, press_finish);
  ui.start();
  EXPECT_EQ(run_wizard(profile), 1);
  EXPECT_TRUE(ui.done());
  std::vector<std::string> said;
  for (const auto& save : saves)
    if (save.refused) said.push_back("Cannot save the settings file \"" + save.file + "\": it is the log file.");
  EXPECT_EQ(boxes.texts, said);
  const std::string logged = qm_test::file_bytes(run_log);
  EXPECT_EQ(logged.find("[Generic settings]"), std::string::npos) << "settings were written into the log";
  EXPECT_NE(logged.find("finish_page::on_finish"), std::string::npos) << "the log's later lines are missing";
  const std::string saved = qm_test::file_bytes(f.box.file("saved.qlt"));
  EXPECT_NE(saved.find("[Generic settings]\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\nlogfile=" + run_log + "\n"), std::string::npos) << saved;
}
