#include "wizard/welcome_page.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

welcome_page::welcome_page(const std::wstring& extension) : welcome_page_t(extension) {}

void welcome_page::create_controls() {
  auto* layout = new QVBoxLayout(this);
  auto* title = new QLabel("Welcome to the Quillmark Wizard", this);
  title->setWordWrap(true);
  add_control(1337, title);
  layout->addWidget(title);
  layout->addSpacing(12);
  auto* text = new QLabel(
      "This wizard converts the tables of an Oracle database, and SELECT queries that you add, "
      "into an MS Excel workbook: one worksheet per table or query.\n\n"
      "To start from settings that you saved earlier, click Load Settings.\n\n"
      "To continue, click Next.",
      this);
  text->setWordWrap(true);
  layout->addWidget(text);
  layout->addSpacing(12);
  auto* load = new QPushButton("&Load Settings...", this);
  add_control(1115, load);
  auto* row = new QHBoxLayout;
  row->addWidget(load);
  row->addStretch(1);
  layout->addLayout(row);
  layout->addStretch(1);
  auto* link = new QLabel("www.brightfold.example", this);
  add_control(1320, link);
  layout->addWidget(link);
  QObject::connect(load, &QPushButton::clicked, [this] {
    gui_guarded([this] {
      // The settings may name another log: it waits for the check of the
      // next connection.
      quillet_convertor::instance().hold_log();
      on_load();
    });
  });
}

bool welcome_page::page_init() {
  tk_log::write(1, "welcome_page::show");
  set_title_font(1337);
  if (!link_made) {
    // The static becomes a link to the maker's web site.
    auto* link = control_as<QLabel>(1320);
    link->setText(QString("<a href=\"%1\">%2</a>").arg(QM_WEB_ADDRESS, link->text()));
    link->setTextFormat(Qt::RichText);
    link->setOpenExternalLinks(true);
    hyperlink = link;
    link_made = true;
  }
  return true;
}

void welcome_page::on_help() { wizard_shell::instance().display_help(1012); }
