#include "GUI2/animation_dialog.h"

#include "GUI2/wizard_art.h"
#include "TK/tk_log.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>

constexpr unsigned animation_timer_id = 0x30000;

namespace {

// The worker ends the dialog; the user cannot (Escape, the close button),
// since the worker may still need this thread to show its messages.
class worker_dialog : public gui_dialog {
 public:
  using gui_dialog::gui_dialog;
  void reject() override {}

 protected:
  void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

}  // namespace

animation_dialog::animation_dialog(int d, int control, int first, int count)
    : idd(d), icon_control(control), first_icon(first), frames(count) {}

animation_dialog::~animation_dialog() = default;

int animation_dialog::do_modal(QWidget* owner) {
  worker_dialog window(idd, owner);
  window.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  window.setWindowTitle(to_qt(caption));
  auto* picture = new QLabel(&window);
  picture->setFixedSize(32, 32);
  window.add_control(icon_control, picture);
  create_controls(window, picture);
  QTimer frame_timer(&window);
  QObject::connect(&frame_timer, &QTimer::timeout, [this] { on_timer(); });
  dialog = &window;
  icon = picture;
  timer = &frame_timer;
  on_init_dialog();
  int code = end_code;
  if (!end_pending) code = window.exec();
  end_pending = false;
  frame_timer.stop();
  dialog = nullptr;
  icon = nullptr;
  timer = nullptr;
  return code;
}

void animation_dialog::on_init_dialog() {
  if (text_control && !text.empty()) dialog->set_text(text_control, text);
  icons.clear();
  for (int i = 0; i < frames; ++i) icons.push_back(load_icon(first_icon + i));
  current_frame = 0;
  icon->setPixmap(icons[0].pixmap(32, 32));
  timer->start(static_cast<int>(period));
  tk_log::write(1, "timer %X started", animation_timer_id);
  dialog->center_window();
  dialog->raise();
}

void animation_dialog::on_timer() {
  if (!icon || icons.empty()) return;
  current_frame = (current_frame + 1) % frames;
  icon->setPixmap(icons[current_frame].pixmap(32, 32));
}

void animation_dialog::end_dialog(int code) {
  gui_post([this, code, live = std::weak_ptr<char>(alive)] {
    if (live.expired()) return;
    if (dialog) {
      dialog->done(code);
    } else {
      end_pending = true;
      end_code = code;
    }
  });
}

void animation_dialog::kill_timer() {
  gui_post([this, live = std::weak_ptr<char>(alive)] {
    if (!live.expired() && timer) timer->stop();
  });
  current_frame = -1;
}
