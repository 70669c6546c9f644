#include "GUI2/g_gui.h"

#include "TK/tk_exception.h"
#include "TK/tk_thread.h"
#include "platform/clipboard.h"
#include "platform/win32.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextCursor>
#include <QThread>

#include <atomic>
#include <exception>
#include <memory>

QString to_qt(const std::wstring& text) { return QString::fromStdWString(text); }
std::wstring from_qt(const QString& text) { return text.toStdWString(); }

bool on_gui_thread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

void gui_call(std::function<void()> work) {
  if (on_gui_thread() || !QCoreApplication::instance()) {
    work();
    return;
  }
  struct call_state {
    std::function<void()> work;
    std::exception_ptr failure;
    std::atomic<bool> done{false};
    std::atomic<bool> abandoned{false};
  };
  // A run that is asked to stop does not wait for the GUI thread, which may
  // be waiting for the run to end; the work is then dropped.
  if (tk_stop_requested_here()) throw tk_final_exception();
  auto state = std::make_shared<call_state>();
  state->work = std::move(work);
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [state] {
        if (!state->abandoned) {
          try {
            state->work();
          } catch (...) {
            qm_rethrow_if_cancelled();
            state->failure = std::current_exception();
          }
        }
        state->done = true;
      },
      Qt::QueuedConnection);
  while (!state->done) {
    if (tk_stop_requested_here()) {
      state->abandoned = true;
      throw tk_final_exception();
    }
    Sleep(5);
  }
  if (state->failure) std::rethrow_exception(state->failure);
}

void gui_post(std::function<void()> work) {
  if (!QCoreApplication::instance()) return;
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
}

QWidget* active_window() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

void dialog_controls::add_control(int id, QWidget* control) {
  controls[id] = control;
  control->setObjectName(QString("id_%1").arg(id));
}

QWidget* dialog_controls::control(int id) const {
  auto it = controls.find(id);
  return it == controls.end() ? nullptr : it->second;
}

std::wstring dialog_controls::get_text(int id) const {
  QWidget* w = control(id);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return from_qt(edit->text());
  if (auto* pane = qobject_cast<QPlainTextEdit*>(w)) return from_qt(pane->toPlainText());
  if (auto* label = qobject_cast<QLabel*>(w)) return from_qt(label->text());
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return from_qt(button->text());
  if (auto* combo = qobject_cast<QComboBox*>(w)) return from_qt(combo->currentText());
  return std::wstring();
}

void dialog_controls::set_text(int id, const std::wstring& text) {
  QWidget* w = control(id);
  QString value = to_qt(text);
  if (auto* edit = qobject_cast<QLineEdit*>(w))
    edit->setText(value);
  else if (auto* pane = qobject_cast<QPlainTextEdit*>(w))
    pane->setPlainText(value);
  else if (auto* label = qobject_cast<QLabel*>(w))
    label->setText(value);
  else if (auto* button = qobject_cast<QAbstractButton*>(w))
    button->setText(value);
}

bool dialog_controls::is_checked(int id) const {
  auto* box = control_as<QAbstractButton>(id);
  return box && box->isChecked();
}

bool dialog_controls::check(int id, bool checked) {
  auto* box = control_as<QAbstractButton>(id);
  if (!box || !box->isCheckable()) return false;
  box->setChecked(checked);
  return true;
}

gui_dialog::gui_dialog(int id, QWidget* owner) : QDialog(owner), idd(id) {
  setObjectName(QString("dialog_%1").arg(id));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

void gui_dialog::center_window() {
  adjustSize();
  QRect area;
  if (QWidget* owner = parentWidget())
    area = owner->window()->frameGeometry();
  else if (QScreen* screen = QGuiApplication::primaryScreen())
    area = screen->availableGeometry();
  if (area.isValid()) move(area.center() - rect().center());
}

void append_to_edit(QWidget* edit, const std::wstring& text) {
  auto* pane = qobject_cast<QPlainTextEdit*>(edit);
  if (!pane) return;
  // The pane keeps line feeds; a carriage return before one is dropped.
  QString value = to_qt(text);
  value.replace("\r\n", "\n");
  QTextCursor cursor = pane->textCursor();
  cursor.movePosition(QTextCursor::End);
  pane->setTextCursor(cursor);
  pane->ensureCursorVisible();
  pane->insertPlainText(value);
}

void install_clipboard_hook() {
  qm_set_clipboard_hook([](const std::wstring& text) {
    auto taken = std::make_shared<bool>(false);
    gui_call([text, taken] {
      if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        clipboard->setText(to_qt(text));
        *taken = true;
      }
    });
    return *taken;
  });
}

void remove_clipboard_hook() { qm_set_clipboard_hook(nullptr); }
