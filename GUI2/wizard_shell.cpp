#include "GUI2/wizard_shell.h"

#include "GUI2/wizard_art.h"
#include "GUI2/wizard_page.h"
#include "TK/tk_exception.h"
#include "TK/tk_file_name.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "common/error_handler.h"
#include "platform/help.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

// The sheet window: the watermark of exterior pages, the header of interior
// ones, the pages and the button row.
class wizard_sheet : public QDialog {
 public:
  explicit wizard_sheet(wizard_shell& shell, QWidget* parent) : QDialog(parent), shell(shell) {
    setObjectName("wizard_sheet");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    header = new QWidget(this);
    header->setObjectName("header");
    header->setAutoFillBackground(true);
    QPalette pal = header->palette();
    pal.setColor(QPalette::Window, Qt::white);
    header->setPalette(pal);
    auto* header_row = new QHBoxLayout(header);
    header_row->setContentsMargins(24, 10, 10, 10);
    auto* texts = new QVBoxLayout;
    header_title = new QLabel(header);
    header_title->setObjectName("header_title");
    QFont bold = header_title->font();
    bold.setBold(true);
    header_title->setFont(bold);
    header_subtitle = new QLabel(header);
    header_subtitle->setObjectName("header_subtitle");
    header_subtitle->setIndent(16);
    texts->addWidget(header_title);
    texts->addWidget(header_subtitle);
    header_row->addLayout(texts, 1);
    header_bitmap = new QLabel(header);
    header_row->addWidget(header_bitmap);
    outer->addWidget(header);
    header_line = new QFrame(this);
    header_line->setFrameShape(QFrame::HLine);
    header_line->setFrameShadow(QFrame::Sunken);
    outer->addWidget(header_line);

    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    watermark = new QLabel(this);
    watermark->setObjectName("watermark");
    watermark->setScaledContents(true);
    watermark->setFixedWidth(164);
    body->addWidget(watermark);
    stack = new QStackedWidget(this);
    stack->setObjectName("pages");
    page_margins = new QWidget(this);
    auto* margins = new QVBoxLayout(page_margins);
    margins->setContentsMargins(20, 12, 20, 12);
    margins->addWidget(stack);
    body->addWidget(page_margins, 1);
    outer->addLayout(body, 1);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    outer->addWidget(line);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(10, 10, 10, 10);
    buttons->addStretch(1);
    back = add_button(buttons, "back", "< &Back");
    next = add_button(buttons, "next", "&Next >");
    finish = add_button(buttons, "finish", "Finish");
    buttons->addSpacing(8);
    cancel = add_button(buttons, "cancel", "Cancel");
    help = add_button(buttons, "help", "Help");
    outer->addLayout(buttons);
    finish->hide();
    next->setDefault(true);

    connect(back, &QPushButton::clicked, [this] { this->shell.press_back(); });
    connect(next, &QPushButton::clicked, [this] { this->shell.press_next(); });
    connect(finish, &QPushButton::clicked, [this] { this->shell.press_finish(); });
    connect(cancel, &QPushButton::clicked, [this] { this->shell.press_cancel(); });
    connect(help, &QPushButton::clicked, [this] { this->shell.press_help(); });
    // Every page's text shows at this size; the window may grow, not shrink.
    setMinimumSize(620, 440);
    resize(620, 440);
  }

  QPushButton* add_button(QHBoxLayout* row, const char* name, const char* text) {
    auto* b = new QPushButton(QString::fromUtf8(text), this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    row->addWidget(b);
    return b;
  }

  void show_page_frame(wizard_page_base* page, const QPixmap& watermark_bitmap, const QPixmap& header_picture) {
    bool exterior = (page->page_flags() & PSP_HIDEHEADER) != 0;
    header->setVisible(!exterior);
    header_line->setVisible(!exterior);
    watermark->setVisible(exterior && !watermark_bitmap.isNull());
    watermark->setPixmap(watermark_bitmap);
    header_bitmap->setPixmap(header_picture);
    header_title->setText(QString::fromStdWString(page->header_title()));
    header_subtitle->setText(QString::fromStdWString(page->header_subtitle()));
    if (stack->indexOf(page) < 0) stack->addWidget(page);
    stack->setCurrentWidget(page);
    help->setEnabled((page->page_flags() & PSP_HASHELP) != 0);
  }

  void set_buttons(unsigned bits) {
    back->setEnabled((bits & PSWIZB_BACK) != 0);
    bool finishing = (bits & PSWIZB_FINISH) != 0;
    next->setVisible(!finishing);
    finish->setVisible(finishing);
    next->setEnabled((bits & PSWIZB_NEXT) != 0);
    finish->setEnabled(finishing);
    next->setDefault(!finishing);
    finish->setDefault(finishing);
  }

  wizard_page_base* shown_page() const { return dynamic_cast<wizard_page_base*>(stack->currentWidget()); }

  void release_pages() {
    while (stack->count() > 0) {
      QWidget* w = stack->widget(0);
      stack->removeWidget(w);
      w->setParent(nullptr);
    }
  }

  void reject() override { shell.press_cancel(); }

  void keyPressEvent(QKeyEvent* e) override {
    if (e->key() == Qt::Key_F1) {
      shell.press_help();
      return;
    }
    QDialog::keyPressEvent(e);
  }

  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    if (!closing) shell.press_cancel();
  }

  void end(int code) {
    closing = true;
    done(code);
  }

  wizard_shell& shell;
  QWidget* header;
  QFrame* header_line;
  QLabel* header_title;
  QLabel* header_subtitle;
  QLabel* header_bitmap;
  QLabel* watermark;
  QStackedWidget* stack;
  QWidget* page_margins;
  QPushButton *back, *next, *finish, *cancel, *help;
  QPixmap watermark_bitmap, header_picture;
  bool closing = false;
};

wizard_shell::wizard_shell(const std::wstring& t, int icon, int watermark, int header)
    : icon_id(icon), title(t) {
  flags = PSH_USECALLBACK;
  if (watermark) {
    watermark_id = watermark;
    flags |= PSH_WIZARD97 | PSH_WATERMARK | PSH_USEHBMWATERMARK;
    flags &= ~PSH_WIZARD;
  }
  if (header) {
    header_id = header;
    flags |= PSH_WIZARD97 | PSH_HEADER | PSH_USEHBMHEADER;
    flags &= ~PSH_WIZARD;
  }
  flags |= PSH_STRETCHWATERMARK | PSH_HASHELP | PSH_WIZARD;
  tk_log::write(1, L"wizard_shell::ctor(%ls)", title.c_str());
}

wizard_shell::~wizard_shell() {
  tk_log::write(1, "wizard_shell::dtor");
  initialized = false;
  try {
    stop_timer();
  } catch (const std::exception& e) {
    tk_log::write(3, "Error:\n%s", e.what());
  }
  if (sheet) {
    sheet->release_pages();
    delete sheet;
    sheet = nullptr;
  }
  error_list.clear();
}

void wizard_shell::add_page(wizard_page_base* page) { pages.push_back(page); }

QWidget* wizard_shell::window() const { return sheet; }

int wizard_shell::run_modal(QWidget* parent) {
  sheet = new wizard_sheet(*this, parent);
  sheet->watermark_bitmap = load_bitmap(watermark_id);
  sheet->header_picture = load_bitmap(header_id);
  sheet->help->setVisible((flags & PSH_HASHELP) != 0);
  timer = new QTimer(sheet);
  QObject::connect(timer, &QTimer::timeout, [this] { on_timer(); });
  result = 0;
  current = -1;
  for (int i = 0; i < static_cast<int>(pages.size()); ++i)
    if (activate(i, 1)) break;
  if (current >= 0) {
    sheet->exec();
  }
  // The modal run is over: the window goes, the pages stay with their owner.
  timer->stop();
  timer_is_running = false;
  current_page_window = nullptr;
  sheet->release_pages();
  delete sheet;
  sheet = nullptr;
  timer = nullptr;
  current = -1;
  return result;
}

void wizard_shell::first_show() {
  if (initialized || !sheet) return;
  sheet->setWindowTitle(QString::fromStdWString(title));
  if (icon_id) sheet->setWindowIcon(load_icon(icon_id));
  QWidget* owner = sheet->parentWidget();
  QRect area = owner ? owner->frameGeometry() : QRect();
  if (!area.isValid())
    if (QScreen* screen = QGuiApplication::primaryScreen()) area = screen->availableGeometry();
  if (area.isValid()) sheet->move(area.center() - sheet->rect().center());
  initialized = true;
}

bool wizard_shell::is_initialized() {
  tk_log::write(1, "wizard_shell::is_initialized");
  if (exists() && instance().initialized) {
    tk_log::write(1, "Singleton has been initialized");
    return true;
  }
  tk_log::write(1, "Before return false");
  return false;
}

void wizard_shell::start_timer(unsigned period) {
  if (timer_is_running) throw tk_mail_assertion("g_wiz_sh", 260);
  if (!sheet || !timer) throw tk_mail_assertion("g_wiz_sh", 268);
  QTimer* t = timer;
  gui_post([t, period] { t->start(static_cast<int>(period)); });
  timer_is_running = true;
}

void wizard_shell::stop_timer() {
  if (!timer_is_running) return;
  if (timer) {
    if (on_gui_thread()) {
      timer->stop();
    } else {
      QTimer* t = timer;
      gui_post([t] { t->stop(); });
    }
  }
  timer_is_running = false;
}

void wizard_shell::on_timer() {
  if (wizard_page_base* page = current_page())
    gui_guarded([page] { page->on_timer_message(progress_timer_id); });
}

void wizard_shell::write_log(const std::wstring& text) {
  tk_log::write(1, L"wizard_shell::write_log(%ls)", text.c_str());
  gui_call([this, text] {
    wizard_page_base* page = current_page_window;
    if (!page) return;
    QWidget* edit = page->control(1016);
    if (!edit) {
      tk_log::write(1, "Editbox failed to be initialized");
      return;
    }
    append_to_edit(edit, text);
  });
}

namespace {

// The Yes/No question in front, for close_question.
QPointer<QMessageBox> open_question;

// A message box on the GUI thread; the answer is IDYES, IDNO or IDOK.
int show_box(const std::wstring& text, const std::wstring& kind, unsigned box_flags) {
  bool initialized = wizard_shell::is_initialized();
  std::wstring caption = initialized ? wizard_shell::instance().get_title() + L" " + kind : kind;
  QWidget* owner = initialized ? wizard_shell::instance().window() : nullptr;
  auto answer = std::make_shared<int>(IDOK);
  gui_call([text, caption, owner, box_flags, answer] {
    QMessageBox box(owner);
    box.setObjectName("message_box");
    box.setWindowTitle(QString::fromStdWString(caption));
    box.setText(QString::fromStdWString(text));
    unsigned icon = box_flags & 0xF0u;
    box.setIcon(icon == MB_ICONERROR         ? QMessageBox::Critical
                : icon == MB_ICONQUESTION    ? QMessageBox::Question
                : icon == MB_ICONINFORMATION ? QMessageBox::Information
                                             : QMessageBox::NoIcon);
    bool asks = (box_flags & 0xFu) == MB_YESNO;
    if (asks) {
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton((box_flags & MB_DEFBUTTON2) ? QMessageBox::No : QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::No);
    } else {
      box.setStandardButtons(QMessageBox::Ok);
    }
    QPointer<QMessageBox> outer = open_question;
    if (asks) open_question = &box;
    int pressed = box.exec();
    if (asks) open_question = outer;
    *answer = pressed == QMessageBox::Yes ? IDYES : pressed == QMessageBox::No ? IDNO : IDOK;
  });
  return *answer;
}

}  // namespace

void wizard_shell::list_error(const std::string& text) {
  if (!is_initialized()) return;
  std::vector<std::string>& list = instance().error_list;
  if (list.size() < error_list_limit) list.push_back(text);
}

void wizard_shell::error(const std::wstring& text) {
  tk_log::write(1, L"wizard_shell::error(%ls)", text.c_str());
  tk_log::write(3, L"%ls", text.c_str());
  show_box(text, L"Error", MB_ICONERROR);
}

void wizard_shell::error(const std::string& text) {
  std::wstring wide;
  if (!tk_a2w(text.c_str(), wide)) wide = L"?";
  error(wide);
}

void wizard_shell::message(const std::wstring& text) {
  tk_log::write(1, L"wizard_shell::message(%ls)", text.c_str());
  tk_log::write(3, L"%ls", text.c_str());
  show_box(text, L"Message", MB_ICONINFORMATION);
}

bool wizard_shell::question(const std::wstring& text, unsigned extra_flags) {
  return show_box(text, L"Question", MB_ICONQUESTION | MB_YESNO | extra_flags) == IDYES;
}

void wizard_shell::close_question() {
  if (!open_question) return;
  if (QAbstractButton* no = open_question->button(QMessageBox::No)) no->click();
}

namespace {

void open_help(UINT command, DWORD_PTR context) {
  tk_file_wname help_file(tk_get_module_name_w());
  help_file.set_ext(L".chm");
  std::wstring path = help_file.get_path();
  if (!tk_is_file_exist(path, 0)) {
    wizard_shell::error(std::wstring(L"Help file does not exist. Reinstall the program."));
    return;
  }
  if (!HtmlHelpW(nullptr, path.c_str(), command, context))
    wizard_shell::error(std::wstring(L"No help viewer is installed on this desktop."));
}

}  // namespace

void wizard_shell::display_help() {
  tk_log::write(1, "wizard_shell::display_help");
  open_help(HH_DISPLAY_TOPIC, 0);
}

void wizard_shell::display_help(int context_id) {
  tk_log::write(1, "wizard_shell::display_help(%d)", context_id);
  open_help(HH_HELP_CONTEXT, static_cast<DWORD_PTR>(context_id));
}

void wizard_shell::set_wizard_buttons(unsigned buttons) {
  gui_post([this, buttons] {
    if (sheet) sheet->set_buttons(buttons);
  });
}

void wizard_shell::enable_button(int id, bool enable) {
  if (!sheet) return;
  QPushButton* button = id == IDCANCEL ? sheet->cancel
                        : id == IDHELP ? sheet->help
                        : id == ID_BACK ? sheet->back
                        : id == ID_NEXT ? sheet->next
                        : id == ID_FINISH ? sheet->finish
                                          : nullptr;
  if (!button) return;
  tk_log::write(1, "wizard_shell::enable_button(%08X)", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(button)));
  button->setEnabled(enable);
}

wizard_page_base* wizard_shell::current_page() const { return sheet ? sheet->shown_page() : nullptr; }

int wizard_shell::index_of(int dialog_id) const {
  for (int i = 0; i < static_cast<int>(pages.size()); ++i)
    if (pages[i]->dialog_id() == dialog_id) return i;
  return -1;
}

bool gui_guarded(const std::function<void()>& handler) {
  try {
    handler();
    return true;
  } catch (const tk_final_exception&) {
  } catch (const tk_exception& e) {
    if (error_handler::exists())
      error_handler::instance().handle(e, true);
    else
      wizard_shell::error(std::string(e.what()));
  } catch (const std::exception& e) {
    wizard_shell::error(std::string(e.what()));
  } catch (...) {
    qm_rethrow_if_cancelled();
    wizard_shell::error(std::string("Unknown exception"));
  }
  return false;
}

std::intptr_t wizard_shell::notify(wizard_page_base* page, int code, std::intptr_t on_failure) {
  std::intptr_t value = on_failure;
  if (!gui_guarded([&] {
        bool handled = false;
        std::intptr_t r = page->process_notify(code, handled);
        value = handled ? r : 0;
      }))
    return on_failure;
  return value;
}

void wizard_shell::show_page(int index) {
  current = index;
  sheet->show_page_frame(pages[index], sheet->watermark_bitmap, sheet->header_picture);
}

bool wizard_shell::activate(int index, int) {
  if (index < 0 || index >= static_cast<int>(pages.size()) || !sheet) return false;
  wizard_page_base* page = pages[index];
  if (!page->is_created()) page->create_page();
  if (sheet->stack->indexOf(page) < 0) sheet->stack->addWidget(page);
  wizard_page_base* before = current_page_window;
  if (notify(page, PSN_SETACTIVE, -1) != 0) {
    // Refused: the sheet stays on the page it was on, with that page's
    // buttons rather than the ones the refusing page asked for.
    current_page_window = before;
    if (current >= 0) set_wizard_buttons(pages[current]->wizard_buttons());
    return false;
  }
  show_page(index);
  return true;
}

void wizard_shell::press_next() {
  if (current < 0 || !sheet->next->isEnabled()) return;
  wizard_page_base* page = pages[current];
  std::intptr_t r = notify(page, PSN_WIZNEXT, -1);
  if (r == -1) return;
  int target = r == 0 ? current + 1 : index_of(static_cast<int>(r));
  if (target < 0 || target >= static_cast<int>(pages.size())) return;
  if (notify(page, PSN_KILLACTIVE, 1) != 0) return;
  activate(target, 1);
}

void wizard_shell::press_back() {
  if (current < 0 || !sheet->back->isEnabled()) return;
  wizard_page_base* page = pages[current];
  std::intptr_t r = notify(page, PSN_WIZBACK, -1);
  if (r == -1) return;
  int target = r == 0 ? current - 1 : index_of(static_cast<int>(r));
  if (target < 0 || target >= static_cast<int>(pages.size())) return;
  if (notify(page, PSN_KILLACTIVE, 1) != 0) return;
  activate(target, -1);
}

void wizard_shell::press_finish() {
  if (current < 0 || !sheet->finish->isEnabled()) return;
  if (notify(pages[current], PSN_WIZFINISH, 1) != 0) return;
  result = 1;
  sheet->end(1);
}

void wizard_shell::press_cancel() {
  if (current < 0 || !sheet->cancel->isEnabled()) return;
  if (notify(pages[current], PSN_QUERYCANCEL, 1) != 0) return;
  result = 0;
  sheet->end(0);
}

void wizard_shell::press_help() {
  if (current < 0 || !sheet->help->isEnabled()) return;
  notify(pages[current], PSN_HELP, 0);
}

bool wizard_shell::set_current_page_id(int dialog_id) {
  int target = index_of(dialog_id);
  if (target < 0 || !sheet) return false;
  if (current >= 0 && notify(pages[current], PSN_KILLACTIVE, 1) != 0) return false;
  return activate(target, 1);
}
