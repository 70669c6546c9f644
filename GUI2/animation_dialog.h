// A small modal dialog that turns a row of icons while a worker thread
// does something slow; the worker ends it, the user cannot.
#pragma once

#include "GUI2/gui_dialog.h"

#include <QIcon>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QTimer;

class animation_dialog {
 public:
  animation_dialog(int idd, int icon_control, int first_icon, int frames);
  virtual ~animation_dialog();

  // On the GUI thread: shows the dialog until it is ended.
  int do_modal(QWidget* owner);
  // From any thread: EndDialog.
  void end_dialog(int code);
  // From any thread: stops the frames.
  void kill_timer();

  int current_frame = -1;
  unsigned period = 500;
  int text_control = 0;
  std::wstring text;
  std::wstring caption;

 protected:
  // The dialog's controls; the fixed text of the resource beside the icon.
  virtual void create_controls(gui_dialog& dialog, QLabel* icon) = 0;
  void on_init_dialog();
  void on_timer();

 private:
  int idd;
  int icon_control;
  int first_icon;
  int frames;
  std::vector<QIcon> icons;
  gui_dialog* dialog = nullptr;
  QLabel* icon = nullptr;
  QTimer* timer = nullptr;
  bool end_pending = false;
  int end_code = 0;
  // What the worker hands to the GUI thread may arrive after this object
  // has gone (the page that owns it ended at an error): it then does
  // nothing.
  std::shared_ptr<char> alive = std::make_shared<char>();
};

template <int IDD, int ICON_CONTROL, int FIRST_ICON, int FRAMES>
class dlg_animation : public animation_dialog {
 public:
  dlg_animation() : animation_dialog(IDD, ICON_CONTROL, FIRST_ICON, FRAMES) {}
};
