// The connection page: the Oracle settings, and the connection on a worker
// thread while the connecting animation waits in front of the user.
#pragma once

#include "GUI2/animation_dialog.h"
#include "TK/tk_thread.h"
#include "common/quillet_convertor.h"
#include "wizard/ora_set2.h"

#include <atomic>

class oracle_settings_page : public ora_settings_page2<quillet_convertor>, public tk_thread {
 public:
  oracle_settings_page();
  ~oracle_settings_page() override;

  bool page_init() override;
  void on_help() override;
  int on_next() override;
  void store_settings() override;

  // Starts the connect thread and shows dialog 101 until the thread ends
  // it; true when connected. Also the quick launch's connection.
  bool connect_with_animation();
  // After a connection: the log's name is checked against the open source
  // and the destination, and the log starts; a name that is refused is
  // shown as a settings error and the log ends. False when refused.
  bool start_log();

  class animation : public dlg_animation<101, 1301, 502, 8>, public tk_thread_functor {
   public:
    explicit animation(oracle_settings_page& page) : page(page) {}
    int operator()() override;

   protected:
    void create_controls(gui_dialog& dialog, QLabel* icon) override;

   private:
    void close();
    oracle_settings_page& page;
  };

  animation anim;
  std::atomic<bool> connected{false};

 protected:
  void create_controls() override;
  tk_thread_functor* create_functor() override { return &anim; }
};
