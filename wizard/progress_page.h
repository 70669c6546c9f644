// The progress page: starts the run on its thread and shows the run's
// counters on each tick of the shell's timer.
#pragma once

#include "GUI2/wizard_page.h"
#include "TK/tk_thread.h"

#include <cstdint>

class progress_page : public wizard_page<106, PSWIZB_BACK | PSWIZB_NEXT, PSP_HASHELP>, public tk_thread {
 public:
  progress_page();
  bool page_init() override;
  void on_help() override;
  void on_timer_message(unsigned id) override;
  // Yes to the question stops the run; the page's end waits for it. The
  // question closes, answered No, when the run ends before the user does.
  bool on_cancel() override;

  // The percent the counters give; unsigned 32-bit, each division truncating.
  static std::uint32_t percent(std::uint32_t tables_total, std::uint32_t tables_done, std::uint32_t records_total,
                               std::uint32_t records_done);
  // The bar of the final phase: climbs towards 100 without reaching it.
  static int final_phase_position(std::uint32_t tick);

 protected:
  void create_controls() override;
  tk_thread_functor* create_functor() override;

 private:
  std::uint32_t tick = 0;
};
