// The connecting animation: a modal dialog that its worker thread ends.
#include "ui_driver.h"

#include "GUI2/animation_dialog.h"

#include <QKeyEvent>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

class probe_animation : public dlg_animation<301, 1301, 502, 8> {
 protected:
  void create_controls(gui_dialog&, QLabel*) override {}
};

}  // namespace

TEST(animation_dialog, only_the_worker_ends_it_and_what_it_sends_too_late_does_nothing) {
  test_app();
  auto animation = std::make_unique<probe_animation>();
  animation->caption = L"Probe";
  ui_script ui;
  ui.step("shown", [] { return find_visible("dialog_301") != nullptr; },
          [&] {
            QWidget* dialog = find_visible("dialog_301");
            EXPECT_EQ(dialog->windowTitle(), QString("Probe"));
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(dialog, &escape);
            dialog->close();
            EXPECT_TRUE(dialog->isVisible()) << "Escape and the close button leave it open";
            std::thread([&] {
              animation->end_dialog(7);
              animation->kill_timer();
            }).join();
          });
  ui.start(20);
  EXPECT_EQ(animation->do_modal(nullptr), 7);
  EXPECT_TRUE(ui.done());
  // A worker's end and stop still on their way when the owner has gone.
  animation->end_dialog(1);
  animation->kill_timer();
  animation.reset();
  QCoreApplication::processEvents();
}
