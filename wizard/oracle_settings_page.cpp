#include "wizard/oracle_settings_page.h"

#include "GUI2/wizard_shell.h"
#include "ORA/ora_exception.h"
#include "common/error_handler.h"
#include "wizard/wizard_exit.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

oracle_settings_page::oracle_settings_page() : tk_thread(false), anim(*this) {}

oracle_settings_page::~oracle_settings_page() = default;

void oracle_settings_page::create_controls() {
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel("Enter the settings of the Oracle server and the account to read the tables with.", this);
  intro->setWordWrap(true);
  layout->addWidget(intro);
  layout->addSpacing(8);
  auto* grid = new QGridLayout;
  const struct {
    int id;
    const char* label;
  } fields[] = {{1003, "S&erver (IP address or network name):"},
                {1014, "&Database (service) name:"},
                {1004, "&Port:"},
                {1012, "&User name:"},
                {1013, "Pass&word:"}};
  int row = 0;
  for (const auto& f : fields) {
    auto* edit = new QLineEdit(this);
    add_control(f.id, edit);
    auto* label = new QLabel(f.label, this);
    label->setBuddy(edit);
    grid->addWidget(label, row, 0);
    grid->addWidget(edit, row, 1);
    ++row;
  }
  control_as<QLineEdit>(1013)->setEchoMode(QLineEdit::Password);
  control_as<QLineEdit>(1004)->setPlaceholderText("1521");
  layout->addLayout(grid);
  auto* note = new QLabel("Leave the server and the port empty to use the database name as a TNS alias.", this);
  note->setWordWrap(true);
  layout->addWidget(note);
  layout->addStretch(1);
}

bool oracle_settings_page::page_init() { return ora_settings_page2::page_init(); }

void oracle_settings_page::on_help() { wizard_shell::instance().display_help(1010); }

void oracle_settings_page::store_settings() { ora_settings_page2::store_settings(); }

int oracle_settings_page::on_next() {
  tk_log::write(1, "oracle_settings_page::on_next");
  store_settings();
  if (quillet_convertor::instance().source_name.empty()) {
    wizard_shell::message(L"You should enter Oracle database name");
    return -1;
  }
  if (connect_with_animation()) {
    tk_log::write(1, "Connection has been established");
    return start_log() ? 0 : -1;
  }
  tk_log::write(1, "Cannot connect to Oracle");
  return -1;
}

bool oracle_settings_page::connect_with_animation() {
  connected = false;
  // Another source may be opened, or the settings loaded since may name
  // another log: nothing is written until the check after the connection.
  quillet_convertor::instance().hold_log();
  // In a quick launch it is the program's only window.
  anim.caption = quillet_convertor::instance().get_title();
  start();
  anim.do_modal(active_window());
  // Ending the dialog is the thread's last step (after any message it
  // shows); it is about to end itself.
  WaitForSingleObject(handle, INFINITE);
  return connected;
}

bool oracle_settings_page::start_log() {
  quillet_convertor& c = quillet_convertor::instance();
  try {
    c.start_log(c.known_destination());
    return true;
  } catch (const tk_exception& e) {
    error_handler::instance().handle(e, true);
  }
  return false;
}

void oracle_settings_page::animation::create_controls(gui_dialog& dialog, QLabel* icon) {
  auto* row = new QHBoxLayout(&dialog);
  row->addWidget(icon, 0, Qt::AlignTop);
  auto* text = new QLabel("Connecting to Oracle data source.\nPlease wait...", &dialog);
  row->addWidget(text, 1);
  row->setContentsMargins(20, 16, 28, 16);
  row->setSpacing(16);
}

void oracle_settings_page::animation::close() {
  end_dialog(0);
  kill_timer();
  current_frame = -1;
}

int oracle_settings_page::animation::operator()() {
  tk_log::write(1, "oracle_settings_page::animation::operator()");
  page.connected = false;
  quillet_convertor& c = quillet_convertor::instance();
  // The dialog waits for this thread, however it ends (a message box of a
  // stopped program throws).
  struct closer {
    animation& a;
    ~closer() { a.close(); }
  } closing{*this};
  try {
    tk_log::write(1, L"Just before calling 'connect_oracle_server', dest=%ls", c.source_name.c_str());
    c.connect_oracle_server(c.source_name);
    page.connected = true;
    return 0;
  } catch (const ora_exception& e) {
    std::string text = error_handler::instance().messages.convert(e.code);
    if (text.empty()) text = e.what();
    wizard_shell::error(text);
    int number = e.code & 0xFFFF;
    if (number == 12500 || number == 12505 || number == 12541 || number == 12545)
      gui_call([] { wizard_shell::instance().display_help(1015); });
  } catch (const tk_exception& e) {
    try {
      error_handler::instance().handle(e, false);
    } catch (const tk_final_exception&) {
      // The error ends the attempt; the dialog is closed all the same.
    }
  } catch (const std::exception& e) {
    wizard_shell::error(std::string(e.what()));
    wizard_exit_process(-1);
  } catch (...) {
    qm_rethrow_if_cancelled();
    wizard_shell::error(std::string("Unknown exception"));
    wizard_exit_process(-1);
  }
  return 0;
}
