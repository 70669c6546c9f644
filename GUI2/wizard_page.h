// The pages of the wizard: one template over a page window that turns the
// sheet's notifications into a few virtual operations and keeps the sheet's
// buttons right for the page.
#pragma once

#include "GUI2/gui_dialog.h"

#include <QFont>

#include <cstdint>
#include <memory>
#include <string>

// Sheet notifications to a page.
enum wizard_notification {
  PSN_SETACTIVE = 1,
  PSN_KILLACTIVE,
  PSN_APPLY,
  PSN_RESET,
  PSN_HELP,
  PSN_WIZBACK,
  PSN_WIZNEXT,
  PSN_WIZFINISH,
  PSN_QUERYCANCEL,
  PSN_GETOBJECT,
  PSN_TRANSLATEACCELERATOR,
  PSN_QUERYINITIALFOCUS,
};

// Buttons of the sheet while a page is current.
#define PSWIZB_BACK 0x1u
#define PSWIZB_NEXT 0x2u
#define PSWIZB_FINISH 0x4u
// Page flags.
#define PSP_USETITLE 0x8u
#define PSP_HASHELP 0x20u
#define PSP_USECALLBACK 0x80u
#define PSP_HIDEHEADER 0x800u
#define PSP_USEHEADERTITLE 0x1000u
#define PSP_USEHEADERSUBTITLE 0x2000u

// The page window: what the sheet knows of every page.
class wizard_page_base : public QWidget, public dialog_controls {
 public:
  wizard_page_base(int idd, unsigned buttons, unsigned flags);
  ~wizard_page_base() override;

  int dialog_id() const { return idd; }
  unsigned page_flags() const { return flags; }
  // The sheet's buttons while the page is current.
  unsigned wizard_buttons() const { return buttons; }
  const std::wstring& header_title() const { return title; }
  const std::wstring& header_subtitle() const { return subtitle; }
  // Pages that show a header set the two texts in their constructors.
  void set_header(const std::wstring& header_title, const std::wstring& header_subtitle);

  // The dialog resource: the page's controls, made once, before the page is
  // first activated.
  void create_page();
  bool is_created() const { return created; }

  // WM_NOTIFY from the page or its sheet: the value returned to the sheet;
  // `handled` is false for notifications the page leaves alone.
  virtual std::intptr_t process_notify(int code, bool& handled) = 0;
  // WM_TIMER, forwarded by the sheet.
  virtual void on_timer_message(unsigned id);

  // Made on the first use of set_title_font, kept with the page.
  std::unique_ptr<QFont> title_font;

 protected:
  virtual void create_controls() = 0;

 private:
  int idd;
  unsigned buttons;
  unsigned flags;
  bool created = false;
  std::wstring title;
  std::wstring subtitle;
};

template <int IDD, unsigned BUTTONS, unsigned FLAGS>
class wizard_page : public wizard_page_base {
 public:
  explicit wizard_page(const wchar_t* page_title = nullptr)
      : wizard_page_base(IDD, BUTTONS, PSP_USECALLBACK | (page_title ? PSP_USETITLE : 0u) | FLAGS) {}
  ~wizard_page() override = default;

  std::intptr_t process_notify(int code, bool& handled) override { return dispatch_notify(this, code, handled); }

  virtual bool page_init() { return true; }
  virtual bool on_kill_active() { return true; }
  virtual bool on_finish() { return true; }
  virtual void on_help() {}
  virtual int on_next() { return 0; }
  virtual int on_back() { return 0; }
  virtual bool on_cancel() { return ask_cancel(); }

  // 0 accepts the activation, -1 refuses it.
  std::intptr_t OnSetActive() { return set_active(BUTTONS, [this] { return page_init(); }); }

  // The new state of the check box: checked exactly when it was not.
  bool invert_chbox(int id) { return invert_check_box(id); }
  void set_title_font(int id) { apply_title_font(id); }

 private:
  template <class page>
  static std::intptr_t dispatch_notify(page* self, int code, bool& handled) {
    handled = true;
    switch (code) {
      case PSN_SETACTIVE: return self->OnSetActive();
      case PSN_KILLACTIVE: return self->on_kill_active() ? 0 : 1;
      case PSN_HELP: self->on_help(); return 0;
      case PSN_WIZBACK: return self->on_back();
      case PSN_WIZNEXT: return self->on_next();
      case PSN_WIZFINISH: return self->on_finish() ? 0 : 1;
      case PSN_QUERYCANCEL: return self->on_cancel() ? 0 : 1;
      case PSN_APPLY:
      case PSN_RESET:
      case PSN_TRANSLATEACCELERATOR:
      case PSN_QUERYINITIALFOCUS: return 0;
      default: handled = false; return 0;
    }
  }

 protected:
  // Shared by every instantiation.
  std::intptr_t set_active(unsigned buttons, const std::function<bool()>& init);
  bool ask_cancel();
  bool invert_check_box(int id);
  void apply_title_font(int id);
};

// The parts of the template that do not depend on its parameters.
namespace wizard_page_impl {
std::intptr_t set_active(wizard_page_base* page, unsigned buttons, const std::function<bool()>& init);
bool ask_cancel();
bool invert_check_box(wizard_page_base* page, int id);
void apply_title_font(wizard_page_base* page, int id);
}  // namespace wizard_page_impl

template <int IDD, unsigned BUTTONS, unsigned FLAGS>
std::intptr_t wizard_page<IDD, BUTTONS, FLAGS>::set_active(unsigned buttons, const std::function<bool()>& init) {
  return wizard_page_impl::set_active(this, buttons, init);
}
template <int IDD, unsigned BUTTONS, unsigned FLAGS>
bool wizard_page<IDD, BUTTONS, FLAGS>::ask_cancel() {
  return wizard_page_impl::ask_cancel();
}
template <int IDD, unsigned BUTTONS, unsigned FLAGS>
bool wizard_page<IDD, BUTTONS, FLAGS>::invert_check_box(int id) {
  return wizard_page_impl::invert_check_box(this, id);
}
template <int IDD, unsigned BUTTONS, unsigned FLAGS>
void wizard_page<IDD, BUTTONS, FLAGS>::apply_title_font(int id) {
  wizard_page_impl::apply_title_font(this, id);
}
