// The desktop services: the clipboard through Qt, the bug report through a
// mail library loaded at run time, and a library's version.
#include "ui_driver.h"

#include "GUI2/gui_dialog.h"
#include "TK/tk_desktop.h"
#include "TK/tk_utils.h"
#include "tests/support/files.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wide_text.h"

#include <QClipboard>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

const std::string test_libraries = QM_BINARY_DIR "/lib/test/";

}  // namespace

TEST(clipboard, copies_text_through_qt_and_nothing_without_a_hook) {
  test_app();
  QClipboard* clipboard = QGuiApplication::clipboard();
  install_clipboard_hook();
  const std::wstring cases[] = {L"", L"Internal error: \ncode=4142", L"Zürich \U0001D11E"};
  for (const auto& text : cases) {
    clipboard->setText("before");
    tk_copy_to_clipboard2(text);
    EXPECT_EQ(clipboard->text().toStdWString(), text);
  }
  remove_clipboard_hook();
  clipboard->setText("kept");
  tk_copy_to_clipboard2(L"lost");
  EXPECT_EQ(clipboard->text(), QString("kept"));
}

TEST(dll_version, reads_the_version_export) {
  const struct {
    std::string file;
    std::uint32_t version;
  } cases[] = {
      {test_libraries + "libfake_version_580.so", 0x00050050},
      {test_libraries + "libfake_no_version.so", 0},
      {test_libraries + "libmissing.so", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(get_dll_version(qm_test::wide(c.file).c_str()), c.version) << c.file;
}

class send_bug : public ::testing::Test {
 protected:
  void TearDown() override {
    unsetenv("QUILLMARK_MAIL_LIBRARY");
    unsetenv("QM_FAKE_MAIL_OUT");
  }
  std::string folder() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) ? buffer : "";
  }
};

TEST_F(send_bug, returns_without_a_mail_library_and_keeps_the_folder) {
  setenv("QUILLMARK_MAIL_LIBRARY", "libno-such-mail-library.so", 1);
  std::string before = folder();
  tk_send_bug("Quillmark 4.1", "Internal error");
  EXPECT_EQ(folder(), before);
}

TEST_F(send_bug, hands_the_report_to_the_mail_library_and_restores_the_folder) {
  qm_test::temp_folder dir("qm_mail_");
  std::string out = dir.file("mail.txt");
  setenv("QUILLMARK_MAIL_LIBRARY", (test_libraries + "libfake_mail.so").c_str(), 1);
  setenv("QM_FAKE_MAIL_OUT", out.c_str(), 1);
  std::string before = folder();
  tk_send_bug("Quillmark 4.1", "Internal error: \ncode=41");
  EXPECT_EQ(folder(), before);
  std::string mail = qm_test::file_bytes(out);
  EXPECT_NE(mail.find("subject=Bug report on Quillmark 4.1\n"), std::string::npos) << mail;
  EXPECT_NE(mail.find("note=Internal error: \ncode=41\n"), std::string::npos) << mail;
  EXPECT_NE(mail.find("recipients=1\nfiles=0\nsession=0 ui=0 flags=0 reserved=0\n"), std::string::npos) << mail;
  EXPECT_NE(mail.find("to class=1 name=" TK_SUPPORT_CONTACT " address=[]"), std::string::npos) << mail;
  // year/month/day hour:minute, without leading zeros
  std::size_t at = mail.find("date=");
  ASSERT_NE(at, std::string::npos);
  int y, mo, d, h, mi;
  EXPECT_EQ(std::sscanf(mail.c_str() + at, "date=%d/%d/%d %d:%d", &y, &mo, &d, &h, &mi), 5) << mail;
  EXPECT_GE(y, 2024);
}
