#include "GUI2/wizard_page.h"

#include "GUI2/wizard_shell.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"

#include <QAbstractButton>

wizard_page_base::wizard_page_base(int id, unsigned page_buttons, unsigned page_flags)
    : idd(id), buttons(page_buttons), flags(page_flags) {
  setObjectName(QString("page_%1").arg(id));
}

wizard_page_base::~wizard_page_base() { tk_log::write(1, "wizard_page::dtor"); }

void wizard_page_base::set_header(const std::wstring& t, const std::wstring& s) {
  flags |= PSP_USEHEADERTITLE | PSP_USEHEADERSUBTITLE;
  title = t;
  subtitle = s;
}

void wizard_page_base::create_page() {
  if (created) return;
  created = true;
  create_controls();
}

void wizard_page_base::on_timer_message(unsigned) {}

namespace wizard_page_impl {

std::intptr_t set_active(wizard_page_base* page, unsigned buttons, const std::function<bool()>& init) {
  tk_log::write(1, "wizard_page::OnSetActive");
  wizard_shell& shell = wizard_shell::instance();
  shell.set_wizard_buttons(buttons);
  shell.first_show();
  shell.set_current_page_window(page);
  return init() ? 0 : -1;
}

bool ask_cancel() {
  tk_log::write(1, "wizard_page::on_cancel");
  return wizard_shell::question(L"Are you sure you want to exit the wizard?", MB_DEFBUTTON2);
}

bool invert_check_box(wizard_page_base* page, int id) {
  tk_log::write(1, "wizard_page::invert_chbox(%d)", id);
  bool state = !page->is_checked(id);
  if (!page->check(id, state)) throw tk_mail_assertion("..\\GUI2/g_wiz_pg", 123);
  return state;
}

void apply_title_font(wizard_page_base* page, int id) {
  if (!page->title_font) {
    page->title_font = std::make_unique<QFont>(QStringLiteral("Segoe UI"), 13, QFont::Normal);
    page->title_font->setStyleHint(QFont::SansSerif);
  }
  if (QWidget* control = page->control(id)) control->setFont(*page->title_font);
}

}  // namespace wizard_page_impl
