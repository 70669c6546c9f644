// Drives the wizard's windows as a user would, from timer steps that run
// inside the windows' own modal loops. Headless: Qt's offscreen platform.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSize>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

// Readable texts in failed expectations.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QSize& size, std::ostream* out) { *out << size.width() << 'x' << size.height(); }

// The one application of the test program, made on the offscreen platform.
QApplication& test_app();

// A visible widget of that object name in any window, or null.
QWidget* find_visible(const QString& name);
template <class T>
T* find_as(const QString& name) {
  return qobject_cast<T*>(find_visible(name));
}
// Any widget of that name in a visible window, shown or hidden.
QWidget* find_any(const QString& name);
// A button of the wizard sheet by its name ("next", "finish", ...), shown
// or hidden: a hidden one can still be asked whether it is enabled.
QPushButton* sheet_button(const char* name);
// The visible control of a dialog or page by its id, or null.
QWidget* control(int id);
template <class T>
T* control_as(int id) {
  return qobject_cast<T*>(control(id));
}
// The message box in front, or null.
QMessageBox* front_box();
// Presses a button once the current step has returned.
void click_later(QAbstractButton* button);
// Answers the message box in front with the button of that role.
void answer_box(QMessageBox::StandardButton button);
// Types the path into the visible file dialog of that object name and
// accepts it once the current step has returned.
void accept_file_dialog(const QString& dialog_name, const std::string& path);
// Types the text into the visible file dialog of that object name and
// presses its Open or Save button once the current step has returned, as a
// user does; false (and nothing pressed) when that button is disabled.
bool press_file_dialog_ok(const QString& dialog_name, const QString& typed);
// Saves the window of the widget as <name>.png in $QM_SCREENSHOT_DIR, when set.
void screenshot(QWidget* widget, const std::string& name);

class ui_script {
 public:
  ui_script() = default;
  ~ui_script();
  ui_script(const ui_script&) = delete;
  ui_script& operator=(const ui_script&) = delete;

  // A step runs once, the first time its condition holds, after the steps
  // before it.
  ui_script& step(const std::string& what, std::function<bool()> ready, std::function<void()> action);
  // Starts polling; a step that is not reached within `seconds` ends the
  // test program with a message, since a modal loop would never return.
  // A GUI thread that stops answering (so that nothing polls) is ended by
  // the tests' CTest TIMEOUT.
  void start(int seconds = 60);
  bool done() const { return next == steps.size(); }

 private:
  struct entry {
    std::string what;
    std::function<bool()> ready;
    std::function<void()> action;
  };
  void poll();
  std::vector<entry> steps;
  std::size_t next = 0;
  long long deadline_ms = 0;
  int seconds = 60;
  QPointer<QTimer> timer;
};

// The page of that dialog id is the one shown.
bool page_shown(int dialog_id);
// The finish page is shown with its Finish button: the sheet sets a page's
// buttons a moment after it makes the page current.
bool finish_page_shown();
