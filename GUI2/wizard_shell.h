// The wizard's one property sheet: the frame around the pages with its
// header, its Back/Next/Finish/Cancel/Help buttons, the progress timer, the
// log output, the error list, the message boxes and the help.
#pragma once

#include "GUI2/gui_dialog.h"
#include "TK/tk_singleton.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QTimer;
class wizard_page_base;
class wizard_sheet;

// Sheet flags.
#define PSH_WIZARD 0x20u
#define PSH_USECALLBACK 0x100u
#define PSH_HASHELP 0x200u
#define PSH_USEHBMWATERMARK 0x10000u
#define PSH_USEHBMHEADER 0x100000u
#define PSH_WIZARD97 0x1000000u
#define PSH_WATERMARK 0x8000u
#define PSH_HEADER 0x80000u
#define PSH_STRETCHWATERMARK 0x40000u

// The ids of the sheet's buttons.
#define ID_BACK 0x3023
#define ID_NEXT 0x3024
#define ID_FINISH 0x3025

constexpr unsigned progress_timer_id = 0x10000;

// Runs a handler of a control; an error that leaves it is reported where it
// arises (as the sheet does for the pages) instead of unwinding through the
// window system. False when the handler failed.
bool gui_guarded(const std::function<void()>& handler);

class wizard_shell : public tk_singleton<wizard_shell> {
 public:
  wizard_shell(const std::wstring& title, int icon_id, int watermark_id, int header_id);
  ~wizard_shell() override;

  // PSM_ADDPAGE, or into the page list before the sheet exists. The sheet
  // does not own its pages.
  void add_page(wizard_page_base* page);
  // PropertySheetW: 1 after Finish, 0 after Cancel.
  int run_modal(QWidget* parent);

  void first_show();
  static bool is_initialized();

  // Callable from any thread.
  void start_timer(unsigned period);
  void stop_timer();
  void write_log(const std::wstring& text);

  // Callable from any thread, with or without a shell.
  static void error(const std::wstring& text);
  static void error(const std::string& text);
  static void message(const std::wstring& text);
  static bool question(const std::wstring& text, unsigned extra_flags);
  // Answers No to the question that is open, if any; on the GUI thread.
  static void close_question();

  void display_help();
  void display_help(int context_id);

  // Sheet messages of the pages.
  void set_wizard_buttons(unsigned buttons);  // PSM_SETWIZBUTTONS, posted
  bool set_current_page_id(int dialog_id);    // PSM_SETCURSELID, sent
  void enable_button(int id, bool enable);
  wizard_page_base* current_page() const;     // PSM_GETCURRENTPAGEHWND
  void set_current_page_window(wizard_page_base* page) { current_page_window = page; }
  wizard_page_base* get_current_page_window() const { return current_page_window; }
  QWidget* window() const;

  // Button clicks, F1 and the timer, as the sheet window hands them on.
  void press_next();
  void press_back();
  void press_finish();
  void press_cancel();
  void press_help();
  void on_timer();

  const std::wstring& get_title() const { return title; }
  unsigned sheet_flags() const { return flags; }
  bool timer_running() const { return timer_is_running; }

  // Texts of errors for the finish page; at most 20 are kept.
  std::vector<std::string> error_list;
  static constexpr std::size_t error_list_limit = 20;
  // Adds the text to the error list of the sheet, while there is one.
  static void list_error(const std::string& text);

 private:
  // A notification to a page; an error of the page's handler is reported
  // where it arises and the sheet stays where it is.
  std::intptr_t notify(wizard_page_base* page, int code, std::intptr_t on_failure);
  bool activate(int index, int direction);
  int index_of(int dialog_id) const;
  void show_page(int index);

  int icon_id;
  std::wstring title;
  std::atomic<bool> timer_is_running{false};
  wizard_page_base* current_page_window = nullptr;
  bool initialized = false;
  int watermark_id = 0;
  int header_id = 0;
  unsigned flags = 0;
  std::vector<wizard_page_base*> pages;
  int current = -1;
  int result = 0;
  wizard_sheet* sheet = nullptr;
  QTimer* timer = nullptr;
};
