// The wizard's error display and the progress page's reading of the run.
#include "wizard_test_support.h"
#include "tests/support/child_run.h"

#include "GUI2/wizard_shell.h"
#include "common/error_handler.h"
#include "common/quillet_convertor.h"
#include "platform/clipboard.h"
#include "wizard/finish_page.h"
#include "wizard/progress_page.h"
#include "wizard/wizard_front_end.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct handler_fixture : ::testing::Test {
  handler_fixture() : handler(dao_error_count, dao_error_table) {
    test_app();
    handler.load_err_map(oracle_error_count, oracle_error_table);
    handler.load_err_map(date_range_error_count, date_range_error_table);
  }
  // Runs handle; true when it ended the run.
  bool ends_run(const tk_exception& e, bool top_level) {
    try {
      handler.handle(e, top_level);
      return false;
    } catch (const tk_final_exception&) {
      return true;
    }
  }
  error_handler handler;
};

tk_exception coded(const char* text, int code, int level) {
  tk_exception e(std::string(text), level);
  e.code = code;
  return e;
}

}  // namespace

TEST(progress, percent_of_the_counters) {
  const struct {
    std::uint32_t tables_total, tables_done, records_total, records_done, percent;
  } cases[] = {
      {0, 0, 0, 0, 0}, {0, 5, 10, 5, 0}, {3, 1, 200, 50, 41}, {3, 1, 0, 0, 33}, {4, 4, 0, 0, 100}, {1, 0, 3, 2, 66},
      // A table read past its count (rows added since) keeps to its share.
      {3, 1, 200, 400, 66},
  };
  for (const auto& c : cases)
    EXPECT_EQ(progress_page::percent(c.tables_total, c.tables_done, c.records_total, c.records_done), c.percent)
        << c.tables_total << " " << c.tables_done << " " << c.records_total << " " << c.records_done;
  const std::pair<std::uint32_t, int> phase[] = {{0, 0}, {5, 29}, {30, 79}, {100, 93}, {100000, 99}};
  for (const auto& [tick, position] : phase) EXPECT_EQ(progress_page::final_phase_position(tick), position) << tick;
}

namespace {
// The progress page without its run, so that the test sets the counters.
class idle_progress_page : public progress_page {
 public:
  bool page_init() override {
    wizard_shell::instance().set_wizard_buttons(0);
    return true;
  }
};
}  // namespace

TEST(progress, the_page_shows_the_counters_and_moves_on_when_the_run_has_finished) {
  wizard_sandbox box;
  wizard_front_end front;
  quillet_convertor c(front);
  wizard_shell shell(c.get_title(), 501, 311, 312);
  idle_progress_page progress;
  finish_page finish(L"qlt");
  shell.add_page(&progress);
  shell.add_page(&finish);
  ui_script ui;
  ui.step("progress page", [] { return page_shown(106); },
          [&] {
            EXPECT_FALSE(find_as<QPushButton>("next")->isEnabled());
            EXPECT_FALSE(find_as<QPushButton>("back")->isEnabled());
            EXPECT_TRUE(find_as<QPushButton>("cancel")->isEnabled());
            c.tables_total = 3;
            c.tables_done = 1;
            c.records_total = 200;
            c.records_done = 50;
            c.set_current_table(L"EMP");
            shell.start_timer(20);
          })
      .step("a tick", [] { return control_as<QProgressBar>(1321)->value() == 41; },
            [&] {
              EXPECT_EQ(control_as<QLabel>(1323)->text(), QString("Processing table 'EMP'"));
              screenshot(control(1321), "6_progress");
              c.tables_done = 3;
              c.records_total = 0;
              c.records_done = 0;
            })
      .step("format phase", [] { return control_as<QLabel>(1323)->text() == "Applying format settings"; },
            [&] { c.finished = true; })
      // The sheet's buttons change through a posted message, after the page.
      .step("finish page", [] { return finish_page_shown(); },
            [&] {
              EXPECT_FALSE(shell.timer_running());
              EXPECT_EQ(control_as<QLabel>(1314)->text().left(26), QString("Wizard has converted your "));
              EXPECT_FALSE(control(1016));
              click_later(control_as<QAbstractButton>(1225));
              click_later(find_as<QPushButton>("finish"));
            });
  ui.start(20);
  EXPECT_EQ(shell.run_modal(nullptr), 1);
  EXPECT_TRUE(ui.done());
  EXPECT_FALSE(c.open_on_exit);
}

TEST_F(handler_fixture, first_level_errors_show_a_box_and_end_a_run) {
  for (bool top_level : {true, false}) {
    QString text;
    ui_script ui;
    ui.step("error box", [] { return front_box() != nullptr; },
            [&] {
              text = front_box()->text();
              answer_box(QMessageBox::Ok);
            });
    ui.start(20);
    EXPECT_EQ(ends_run(coded("ORA-01017: invalid username/password", 0x1003F9, 1), top_level), !top_level);
    EXPECT_EQ(text, QString("Invalid user name or password."));
  }
}

TEST_F(handler_fixture, the_continue_dialog_goes_on_aborts_or_stays_quiet) {
  QString shown;
  std::vector<std::unique_ptr<ui_script>> scripts;
  auto answer = [&](int button, bool tick) {
    scripts.push_back(std::make_unique<ui_script>());
    ui_script* s = scripts.back().get();
    s->step("continue dialog", [] { return find_visible("dialog_115") != nullptr; },
            [&shown, button, tick] {
              shown = control_as<QLabel>(1320)->text();
              if (tick) click_later(control_as<QAbstractButton>(1222));
              click_later(control_as<QPushButton>(button));
            });
    s->start(20);
    return s;
  };
  // Abort at top level has no run to end; inside a run it ends it and the
  // check box is not kept.
  answer(1, false);
  handler.set_prefix(L"EMP", 4);
  EXPECT_FALSE(ends_run(coded("[DAO] 3349", 0x10D15, 0), true));
  EXPECT_EQ(shown.toStdString(),
            "EMP, record #4: Date fields of the source database do not fall in the range accepted by MS Excel. "
            "Restart the program with \"Convert dates into strings\" checkbox selected. ");
  answer(1, true);
  handler.set_prefix(L"DEPT");
  EXPECT_TRUE(ends_run(coded("no such column", 0, 0), false));
  EXPECT_EQ(shown, QString("DEPT: no such column"));
  EXPECT_FALSE(handler.quiet);
  // Continue with the box ticked: later errors are only logged.
  answer(2, true);
  EXPECT_FALSE(ends_run(coded("first", 0, 0), false));
  EXPECT_TRUE(handler.quiet);
  EXPECT_FALSE(ends_run(coded("second", 0, 0), false));
  EXPECT_TRUE(ends_run(coded("run ends without a box", 0, 1), false));
  EXPECT_FALSE(front_box());
}

TEST(internal_error, shows_the_dialog_copies_its_text_and_ends_the_program) {
  qm_test::child_run end = qm_test::run_in_child([] {
        test_app();
        qm_set_clipboard_hook([](const std::wstring& text) {
          std::fprintf(stderr, "clipboard=%ls\n", text.c_str());
          return true;
        });
        error_handler handler(dao_error_count, dao_error_table);
        ui_script ui;
        ui.step("internal error dialog", [] { return find_visible("dialog_114") != nullptr; },
                [] {
                  std::fprintf(stderr, "caption=%s\n", control(1320)->window()->windowTitle().toUtf8().constData());
                  screenshot(control(1320), "10_internal_error");
                  click_later(control_as<QPushButton>(1108));
                });
        ui.start(20);
        handler.handle(tk_mail_assertion("qlt_conv", 72), false);
        std::fprintf(stderr, "handle returned\n");
  });
  EXPECT_TRUE(end.exited_with(255)) << end.describe();
  EXPECT_TRUE(end.error_output_matches("caption=Error\nclipboard=Internal error")) << end.describe();
}
