#include "wizard/progress_page.h"

#include "GUI2/wizard_shell.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "common/quillet_convertor.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cwchar>

progress_page::progress_page() : tk_thread(false) {
  set_header(L"Step 4 of 4", L"Database converting is in progress");
}

void progress_page::create_controls() {
  auto* layout = new QVBoxLayout(this);
  layout->addStretch(1);
  auto* status = new QLabel(this);
  status->setMinimumWidth(360);
  add_control(1323, status);
  layout->addWidget(status);
  auto* bar = new QProgressBar(this);
  bar->setRange(0, 100);
  bar->setTextVisible(false);
  add_control(1321, bar);
  layout->addWidget(bar);
  layout->addStretch(2);
}

tk_thread_functor* progress_page::create_functor() { return quillet_convertor::get(); }

bool progress_page::page_init() {
  tk_log::write(1, "progress_page::page_init");
  // After the buttons of the page: nothing can be pressed but Cancel.
  wizard_shell& shell = wizard_shell::instance();
  shell.set_wizard_buttons(0);
  control_as<QProgressBar>(1321)->setValue(0);
  // The finish page lists the errors of this run: those of the pages before
  // it were shown where they arose, and the user has dealt with them.
  shell.error_list.clear();
  start();
  return true;
}

bool progress_page::on_cancel() {
  if (!ask_cancel()) return false;
  // A run that ended while the user answered has nothing left to stop:
  // the finish page comes and tells how it went.
  if (quillet_convertor::instance().finished) return false;
  // The run removes what it made before its thread ends.
  request_stop();
  return true;
}

void progress_page::on_help() { wizard_shell::instance().display_help(); }

std::uint32_t progress_page::percent(std::uint32_t tables_total, std::uint32_t tables_done,
                                     std::uint32_t records_total, std::uint32_t records_done) {
  std::uint32_t p = 0;
  if (tables_total != 0) {
    p = tables_done * 100 / tables_total;
    // The count was taken before the read: a table that has grown since
    // stays within its share.
    if (records_total != 0) p += std::min(records_done, records_total) * 100 / records_total / tables_total;
  }
  return p;
}

int progress_page::final_phase_position(std::uint32_t t) {
  return static_cast<int>(std::atan(t / 10.0) * 100.0 / std::asin(1.0));
}

void progress_page::on_timer_message(unsigned) {
  if (!quillet_convertor::exists()) throw tk_mail_assertion("qlt_shel", 355);
  quillet_convertor& c = quillet_convertor::instance();
  std::uint32_t p = percent(static_cast<std::uint32_t>(c.tables_total.load()),
                            static_cast<std::uint32_t>(c.tables_done.load()),
                            static_cast<std::uint32_t>(c.records_total.load()),
                            static_cast<std::uint32_t>(c.records_done.load()));
  auto* bar = control_as<QProgressBar>(1321);
  if (c.finished) {
    wizard_shell::instance().stop_timer();
    // A Cancel question still open has no run left to stop.
    wizard_shell::close_question();
    wizard_shell::instance().set_current_page_id(107);
    return;
  }
  if (p < 100) {
    bar->setValue(static_cast<int>(p));
    std::wstring table = c.get_current_table();
    wchar_t status[256] = L"";
    if (!table.empty()) std::swprintf(status, 256, L"Processing table '%ls'", table.c_str());
    set_text(1323, status);
    return;
  }
  set_text(1323, L"Applying format settings");
  bar->setValue(final_phase_position(tick));
  ++tick;
}
