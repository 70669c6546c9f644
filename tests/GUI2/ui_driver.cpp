#include "ui_driver.h"
#include "tests/support/test_sandbox.h"

#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QStackedWidget>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {
// The offscreen platform says at every window that it cannot size it.
void quiet_offscreen(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (text.contains("propagateSizeHints") || text.contains("XDG_RUNTIME_DIR")) return;
  std::fprintf(stderr, "%s%s\n", type == QtWarningMsg ? "Qt warning: " : "Qt: ", text.toLocal8Bit().constData());
}
}  // namespace

QApplication& test_app() {
  static int argc = 1;
  static char name[] = "quillmark-test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    qInstallMessageHandler(quiet_offscreen);
    return new QApplication(argc, argv);
  }();
  return *app;
}

QWidget* find_visible(const QString& name) {
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (!top->isVisible()) continue;
    if (top->objectName() == name) return top;
    for (QWidget* w : top->findChildren<QWidget*>(name))
      if (w->isVisible()) return w;
  }
  return nullptr;
}

QWidget* find_any(const QString& name) {
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (!top->isVisible()) continue;
    if (auto* w = top->findChild<QWidget*>(name)) return w;
  }
  return nullptr;
}

QPushButton* sheet_button(const char* name) { return qobject_cast<QPushButton*>(find_any(name)); }

QWidget* control(int id) { return find_visible(QString("id_%1").arg(id)); }

QMessageBox* front_box() { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }

void click_later(QAbstractButton* button) {
  if (!button) {
    std::fprintf(stderr, "ui_script: no button to click\n");
    qm_test::end_now(3);
  }
  QTimer::singleShot(0, button, &QAbstractButton::click);
}

void answer_box(QMessageBox::StandardButton which) {
  QMessageBox* box = front_box();
  if (!box) return;
  click_later(box->button(which));
}

void accept_file_dialog(const QString& dialog_name, const std::string& path) {
  auto* dialog = find_as<QDialog>(dialog_name);
  if (!dialog) return;
  dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(path));
  QTimer::singleShot(0, dialog, &QDialog::accept);
}

bool press_file_dialog_ok(const QString& dialog_name, const QString& typed) {
  auto* dialog = find_as<QDialog>(dialog_name);
  if (!dialog) return false;
  dialog->findChild<QLineEdit*>("fileNameEdit")->setText(typed);
  QAbstractButton* ok = nullptr;
  if (auto* buttons = dialog->findChild<QDialogButtonBox*>("buttonBox"))
    for (QAbstractButton* b : buttons->buttons())
      if (buttons->buttonRole(b) == QDialogButtonBox::AcceptRole) ok = b;
  if (!ok || !ok->isEnabled()) return false;
  click_later(ok);
  return true;
}

void screenshot(QWidget* widget, const std::string& name) {
  const char* folder = std::getenv("QM_SCREENSHOT_DIR");
  if (!folder || !*folder || !widget) return;
  QDir().mkpath(folder);
  widget->window()->grab().save(QString(folder) + "/" + QString::fromStdString(name) + ".png");
}

bool page_shown(int dialog_id) {
  auto* pages = find_as<QStackedWidget>("pages");
  return pages && pages->currentWidget() &&
         pages->currentWidget()->objectName() == QString("page_%1").arg(dialog_id);
}

bool finish_page_shown() { return page_shown(107) && find_visible("finish"); }

ui_script& ui_script::step(const std::string& what, std::function<bool()> ready, std::function<void()> action) {
  steps.push_back({what, std::move(ready), std::move(action)});
  return *this;
}

ui_script::~ui_script() {
  // A script that ended before its last step polls no more.
  delete timer.data();
}

void ui_script::start(int s) {
  seconds = s;
  deadline_ms = QDateTime::currentMSecsSinceEpoch() + seconds * 1000LL;
  timer = new QTimer(&test_app());
  QObject::connect(timer, &QTimer::timeout, [this] {
    poll();
    if (done() && timer) timer->deleteLater();
  });
  timer->start(20);
}

void ui_script::poll() {
  if (done()) return;
  entry& e = steps[next];
  if (e.ready()) {
    ++next;
    deadline_ms = QDateTime::currentMSecsSinceEpoch() + seconds * 1000LL;
    e.action();
    return;
  }
  if (QDateTime::currentMSecsSinceEpoch() > deadline_ms) {
    std::fprintf(stderr, "ui_script: step '%s' was not reached\n", e.what.c_str());
    if (QMessageBox* box = front_box())
      std::fprintf(stderr, "ui_script: the box in front says: %s\n", box->text().toUtf8().constData());
    std::fflush(stderr);
    qm_test::end_now(2);
  }
}
