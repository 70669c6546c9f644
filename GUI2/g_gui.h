// What every window of the wizard shares: work handed to the GUI thread,
// the controls of a dialog by their ids, and the texts they exchange.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <string>

// Message-box flags.
#define MB_OK 0x0u
#define MB_YESNO 0x4u
#define MB_ICONERROR 0x10u
#define MB_ICONQUESTION 0x20u
#define MB_ICONINFORMATION 0x40u
#define MB_DEFBUTTON2 0x100u
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7
#define IDHELP 9

QString to_qt(const std::wstring& text);
std::wstring from_qt(const QString& text);

bool on_gui_thread();
// Runs `work` on the GUI thread and waits for it; on the GUI thread it runs
// at once. The wait sleeps in short steps, so a worker that is killed while
// it waits unwinds from there. An exception of `work` is raised again in
// the caller's thread. `work` must own what it uses. A worker whose run is
// asked to stop gets tk_final_exception instead of waiting, and work that
// has not started by then never runs.
void gui_call(std::function<void()> work);
// Queues `work` for the GUI thread and returns.
void gui_post(std::function<void()> work);

// The window that is active now, the owner of dialogs that have no other.
QWidget* active_window();

// The controls of one dialog resource, found by their ids. Each control is
// also named "id_<id>", so that tests find it as a user sees it.
class dialog_controls {
 public:
  void add_control(int id, QWidget* control);
  QWidget* control(int id) const;
  template <class T>
  T* control_as(int id) const {
    return qobject_cast<T*>(control(id));
  }
  bool has_control(int id) const { return controls.count(id) != 0; }

  // The text of edits, labels, buttons and text panes.
  std::wstring get_text(int id) const;
  void set_text(int id, const std::wstring& text);
  bool is_checked(int id) const;
  // False when there is no such check box.
  bool check(int id, bool checked);

 private:
  std::map<int, QWidget*> controls;
};

// A modal dialog with a resource id, closed with a result code.
class gui_dialog : public QDialog, public dialog_controls {
 public:
  explicit gui_dialog(int idd, QWidget* owner);
  int dialog_id() const { return idd; }
  // EndDialog.
  void end_dialog(int result) { done(result); }
  // Centres the dialog over its owner, or on the screen without one.
  void center_window();

 private:
  int idd;
};

// A check box that its page toggles: a click only tells the page.
class check_box : public QCheckBox {
 public:
  explicit check_box(const QString& text, QWidget* parent = nullptr) : QCheckBox(text, parent) {}

 protected:
  void nextCheckState() override {}
};

// Hands the platform's clipboard text to Qt's clipboard.
void install_clipboard_hook();
void remove_clipboard_hook();

// Appends text at the end of a multi-line edit, scrolling it into view.
void append_to_edit(QWidget* edit, const std::wstring& text);
