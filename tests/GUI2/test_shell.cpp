// The sheet and the page template, driven through the sheet's buttons.
#include "ui_driver.h"

#include "GUI2/file_dialog.h"
#include "GUI2/wizard_page.h"
#include "GUI2/wizard_shell.h"
#include "TK/tk_exception.h"
#include "TK/tk_utils.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wide_text.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QTimer>

#include <fstream>
#include <functional>
#include <memory>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

template <int IDD, unsigned BUTTONS>
class probe_page : public wizard_page<IDD, BUTTONS, PSP_HASHELP> {
 public:
  bool page_init() override {
    ++inits;
    return init_result;
  }
  int on_next() override { return next_result; }
  void on_timer_message(unsigned id) override {
    ++ticks;
    last_timer = id;
  }
  bool init_result = true;
  int next_result = 0;
  int inits = 0;
  int ticks = 0;
  unsigned last_timer = 0;

 protected:
  void create_controls() override { this->add_control(1016, new QPlainTextEdit(this)); }
};

std::string assertion_text(const char* source, int line) { return tk_mail_assertion(source, line).what(); }

}  // namespace

TEST(wizard_sheet, follows_the_pages_answers_to_next_and_cancel) {
  test_app();
  wizard_shell shell(L"Probe", 501, 311, 312);
  probe_page<201, PSWIZB_NEXT> first;
  probe_page<202, PSWIZB_BACK | PSWIZB_NEXT> refusing;
  probe_page<203, PSWIZB_BACK | PSWIZB_FINISH> last;
  refusing.init_result = false;
  shell.add_page(&first);
  shell.add_page(&refusing);
  shell.add_page(&last);
  ui_script ui;
  ui.step("first page", [] { return page_shown(201); }, [] { click_later(sheet_button("next")); })
      .step("the refusing page was asked", [&] { return refusing.inits == 1; },
            [&] {
              // Its refusal keeps the sheet where it was.
              EXPECT_TRUE(page_shown(201));
              EXPECT_FALSE(sheet_button("back")->isEnabled());
              first.next_result = 203;
              click_later(sheet_button("next"));
            })
      .step("the page named by on_next", [] { return page_shown(203); },
            [&] {
              EXPECT_EQ(refusing.inits, 1);
              last.next_result = -1;
              click_later(sheet_button("cancel"));
            })
      .step("cancel question", [] { return front_box() != nullptr; },
            [] {
              EXPECT_EQ(front_box()->text(), QString("Are you sure you want to exit the wizard?"));
              EXPECT_EQ(front_box()->windowTitle(), QString("Probe Question"));
              EXPECT_EQ(front_box()->defaultButton(), front_box()->button(QMessageBox::No));
              answer_box(QMessageBox::No);
            })
      .step("still open", [] { return !front_box() && page_shown(203); },
            [] {
              EXPECT_TRUE(sheet_button("finish")->isVisible());
              EXPECT_FALSE(sheet_button("next")->isVisible());
              click_later(sheet_button("cancel"));
            })
      .step("cancel again", [] { return front_box() != nullptr; }, [] { answer_box(QMessageBox::Yes); });
  ui.start(20);
  EXPECT_EQ(shell.run_modal(nullptr), 0);
  EXPECT_TRUE(ui.done());
}

TEST(wizard_sheet, timer_log_and_boxes) {
  test_app();
  // Before the shell: no owner, the short caption.
  std::string caption;
  ui_script before;
  before.step("plain error box", [] { return front_box() != nullptr; },
              [&] {
                caption = front_box()->windowTitle().toStdString();
                answer_box(QMessageBox::Ok);
              });
  before.start(20);
  wizard_shell::error(std::wstring(L"Failed to initialize GUI library"));
  EXPECT_EQ(caption, "Error");

  wizard_shell shell(L"Probe", 501, 311, 312);
  probe_page<201, PSWIZB_NEXT | PSWIZB_FINISH> page;
  shell.add_page(&page);
  // Nothing is shown yet: the log goes nowhere and the timer has no window.
  shell.write_log(L"dropped");
  try {
    shell.start_timer(200);
    ADD_FAILURE() << "no internal error";
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(std::string(e.what()), assertion_text("g_wiz_sh", 268));
  }
  ui_script ui;
  ui.step("page shown", [] { return page_shown(201); },
          [&] {
            shell.write_log(L"Table 'EMP' (11 records) is converted\n");
            shell.write_log(L"Table 'DEPT'");
            EXPECT_EQ(page.get_text(1016), L"Table 'EMP' (11 records) is converted\nTable 'DEPT'");
            shell.start_timer(20);
            try {
              shell.start_timer(20);
              ADD_FAILURE() << "no internal error";
            } catch (const tk_mail_assertion& e) {
              EXPECT_EQ(std::string(e.what()), assertion_text("g_wiz_sh", 260));
            }
          })
      .step("ticks reach the page", [&] { return page.ticks >= 3; },
            [&] {
              EXPECT_EQ(page.last_timer, 0x10000u);
              shell.stop_timer();
              EXPECT_FALSE(shell.timer_running());
              QTimer::singleShot(0, [] { wizard_shell::message(L"Done"); });
            })
      .step("message box", [] { return front_box() != nullptr; },
            [] {
              EXPECT_EQ(front_box()->windowTitle(), QString("Probe Message"));
              EXPECT_EQ(front_box()->icon(), QMessageBox::Information);
              answer_box(QMessageBox::Ok);
            })
      .step("finish", [] { return !front_box(); }, [] { click_later(sheet_button("finish")); });
  ui.start(20);
  EXPECT_EQ(shell.run_modal(nullptr), 1);
  EXPECT_TRUE(ui.done());
}

TEST(file_dialogs, save_adds_the_default_extension_unless_the_name_holds_it) {
  const struct {
    const wchar_t* chosen;
    const wchar_t* extension;
    const wchar_t* result;
  } cases[] = {
      {L"/tmp/report.xlsx", L".xls", L"/tmp/report.xlsx"},
      {L"/tmp/report", L".xls", L"/tmp/report.xls"},
      {L"/tmp/report.XLS", L".xls", L"/tmp/report.XLS.xls"},
      {L"/tmp/a.xls.bak", L".xls", L"/tmp/a.xls.bak"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(save_file_dialog::with_default_extension(c.chosen, c.extension), c.result) << c.chosen;
  test_app();
  try {
    save_file_dialog dialog(nullptr, file_filter{L"", L"t"}, L"", L"");
    ADD_FAILURE() << "no internal error";
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(std::string(e.what()), assertion_text("g_f_dlg", 111));
  }
}

TEST(file_dialogs, the_filter_pairs_become_the_dialogs_filters) {
  std::wstring filter(L"MS Excel Files (.xls;.xlsx)\0*.xls;*.xlsx\0All Files (*.*)\0*.*\0\0", 62);
  QStringList expected{"MS Excel Files (.xls;.xlsx) (*.xls *.xlsx)", "All Files (*.*) (*.*)"};
  EXPECT_EQ(filter_to_qt(filter), expected);
}

TEST(file_dialogs, a_typed_name_gets_the_extension_and_starts_in_the_initial_folder) {
  test_app();
  qm_test::temp_folder made("qm_dialog_");
  std::string folder = made.path;
  std::wstring wide_folder = qm_test::wide(folder);
  save_file_dialog dialog(nullptr, file_filter{std::wstring(L"Profile Files (.qlt)\0*.qlt\0\0", 28), L"Select Profile File"},
                          wide_folder + L"/old.qlt", L"qlt");
  QString shown_folder;
  ui_script ui;
  ui.step("save dialog", [] { return find_visible("save_file_dialog") != nullptr; },
          [&] {
            auto* window = find_as<QDialog>("save_file_dialog");
            EXPECT_EQ(window->windowTitle(), QString("Select Profile File"));
            auto* name = window->findChild<QLineEdit*>("fileNameEdit");
            EXPECT_EQ(name->text(), QString("old"));
            shown_folder = window->findChild<QLineEdit*>("lookInEdit")->text();
            name->setText("report");
            QTimer::singleShot(0, window, &QDialog::accept);
          });
  ui.start(20);
  EXPECT_TRUE(dialog.run());
  EXPECT_EQ(shown_folder.toStdString(), folder + "/");
  EXPECT_EQ(dialog.get_file_name(), wide_folder + L"/report.qlt");
}

// A typed name is one name, quotes and all, taken against the folder the
// dialog shows; the dialog's own button accepts it.
TEST(file_dialogs, a_typed_name_with_quotes_is_one_name_in_the_folder_shown) {
  test_app();
  qm_test::temp_folder made("qm_dialog_");
  const std::string folder = made.path;
  ASSERT_EQ(mkdir((folder + "/sub").c_str(), 0700), 0);
  for (const char* name : {"/my \"weekly\".qlt", "/sub/a \"b\" c.qlt"}) std::ofstream(folder + name) << "x";
  const std::wstring start = qm_test::wide(folder) + L"/old.qlt";
  const std::wstring filter(L"Profile Files (.qlt)\0*.qlt\0\0", 28);
  const struct {
    bool save;
    std::string typed;
    std::string chosen;  // below the folder
  } cases[] = {
      {true, "my \"weekly\"", "/my \"weekly\".qlt"},
      {true, "new \"one\".qlt", "/new \"one\".qlt"},
      {true, "it\"s", "/it\"s.qlt"},
      {true, "sub/\"x\" y", "/sub/\"x\" y.qlt"},
      {true, folder + "/sub/\"z\".qlt", "/sub/\"z\".qlt"},
      {false, "my \"weekly\".qlt", "/my \"weekly\".qlt"},
      {false, "sub/a \"b\" c.qlt", "/sub/a \"b\" c.qlt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    std::unique_ptr<file_dialog> dialog;
    if (c.save)
      dialog = std::make_unique<save_file_dialog>(nullptr, file_filter{filter, L"t"}, start, L"qlt");
    else
      dialog = std::make_unique<open_file_dialog>(nullptr, file_filter{filter, L"t"}, start);
    const QString name = c.save ? "save_file_dialog" : "open_file_dialog";
    bool pressed = false;
    ui_script ui;
    ui.step("dialog", [name] { return find_visible(name) != nullptr; },
            [&] {
              pressed = press_file_dialog_ok(name, QString::fromStdString(c.typed));
              if (!pressed) QTimer::singleShot(0, find_as<QDialog>(name), &QDialog::reject);
            });
    ui.start(20);
    EXPECT_TRUE(dialog->run());
    EXPECT_TRUE(pressed);
    EXPECT_EQ(tk_to_utf8(dialog->get_file_name()), folder + c.chosen);
  }
  // A name that is not there keeps the open dialog, naming it whole.
  open_file_dialog missing(nullptr, file_filter{filter, L"t"}, start);
  ui_script ui;
  ui.step("dialog", [] { return find_visible("open_file_dialog") != nullptr; },
          [] {
            EXPECT_FALSE(press_file_dialog_ok("open_file_dialog", "my \"weekly\""));
            accept_file_dialog("open_file_dialog", "my \"weekly\"");
          })
      .step("not found", [] { return front_box() != nullptr; },
            [] {
              EXPECT_TRUE(front_box()->text().startsWith("my \"weekly\"\nFile not found.")) << front_box()->text().toStdString();
              answer_box(QMessageBox::Ok);
            })
      .step("still open", [] { return !front_box() && find_visible("open_file_dialog"); },
            [] { QTimer::singleShot(0, find_as<QDialog>("open_file_dialog"), &QDialog::reject); });
  ui.start(20);
  EXPECT_FALSE(missing.run());
  EXPECT_TRUE(ui.done());
}

// Folders and files whose names are not UTF-8 are shown with U+FFFD for
// those bytes, and entered, chosen and proposed by their bytes.
TEST(file_dialogs, names_that_are_no_text_keep_their_bytes) {
  test_app();
  qm_test::temp_folder made("qm_dialog_");
  const std::string folder = made.path + "/caf\xe9";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  ASSERT_EQ(mkdir((folder + "/d\xf6").c_str(), 0700), 0);
  for (const char* name : {"/r\xe9.qlt", "/plain.qlt", "/other.txt", "/d\xf6/in.qlt"}) std::ofstream(folder + name) << "x";
  const std::wstring filter(L"Profile Files (.qlt)\0*.qlt\0All Files (*.*)\0*.*\0\0", 52);
  const QString shown_folder = QString::fromUtf8(made.path + "/caf\xef\xbf\xbd/");
  const struct {
    bool save;
    std::string start;  // below the folder
    std::function<void(QDialog*)> act;
    std::string chosen;  // below the folder
  } cases[] = {
      // The file listed as "r?.qlt", selected.
      {false, "/x.qlt",
       [](QDialog* d) {
         auto* list = d->findChild<QListWidget*>("listView");
         auto found = list->findItems(QString::fromUtf8("r\xef\xbf\xbd.qlt"), Qt::MatchExactly);
         ASSERT_EQ(found.size(), 1);
         list->setCurrentItem(found.front());
         click_later(d->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Open));
       },
       "/r\xe9.qlt"},
      // The folder "d?" entered by a double click, then a file in it.
      {false, "/x.qlt",
       [](QDialog* d) {
         auto* list = d->findChild<QListWidget*>("listView");
         auto found = list->findItems(QString::fromUtf8("d\xef\xbf\xbd"), Qt::MatchExactly);
         ASSERT_EQ(found.size(), 1);
         emit list->itemActivated(found.front());
         ASSERT_EQ(list->count(), 1);
         emit list->itemActivated(list->item(0));
       },
       "/d\xf6/in.qlt"},
      // The proposed name, as it is.
      {true, "/b\xf6\xf6k.qlt", [](QDialog* d) { press_file_dialog_ok(d->objectName(), d->findChild<QLineEdit*>("fileNameEdit")->text()); },
       "/b\xf6\xf6k.qlt"},
      // A typed name, in the folder shown.
      {true, "/b\xf6\xf6k.qlt", [](QDialog* d) { press_file_dialog_ok(d->objectName(), "new"); }, "/new.qlt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.chosen);
    std::unique_ptr<file_dialog> dialog;
    const std::wstring start = qm_test::wide(folder + c.start);
    if (c.save)
      dialog = std::make_unique<save_file_dialog>(nullptr, file_filter{filter, L"t"}, start, L"qlt");
    else
      dialog = std::make_unique<open_file_dialog>(nullptr, file_filter{filter, L"t"}, start);
    const QString name = c.save ? "save_file_dialog" : "open_file_dialog";
    QStringList listed;
    QString looked_in;
    ui_script ui;
    ui.step("dialog", [name] { return find_visible(name) != nullptr; },
            [&] {
              auto* d = find_as<QDialog>(name);
              auto* folder_shown = d->findChild<QLineEdit*>("lookInEdit");
              auto* list = d->findChild<QListWidget*>("listView");
              if (!folder_shown || !list) {
                ADD_FAILURE() << "no folder or list of names shown";
                QTimer::singleShot(0, d, &QDialog::reject);
                return;
              }
              looked_in = folder_shown->text();
              for (int i = 0; i < list->count(); ++i) listed << list->item(i)->text();
              c.act(d);
            });
    ui.start(20);
    EXPECT_TRUE(dialog->run());
    EXPECT_TRUE(ui.done());
    EXPECT_EQ(looked_in, shown_folder);
    // Folders first; the filter shows the settings files only.
    EXPECT_EQ(listed, (QStringList{QString::fromUtf8("d\xef\xbf\xbd"), "plain.qlt", QString::fromUtf8("r\xef\xbf\xbd.qlt")}));
    EXPECT_EQ(dialog->get_file_name(), qm_test::wide(folder + c.chosen));
  }
}
