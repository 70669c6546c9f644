// The first page: the title, Load Settings and the link to the maker.
#pragma once

#include "GUI2/welcome_page_t.h"
#include "common/quillet_convertor.h"

class welcome_page : public welcome_page_t<quillet_convertor, 103> {
 public:
  explicit welcome_page(const std::wstring& extension);
  bool page_init() override;
  void on_help() override;

 protected:
  void create_controls() override;

 private:
  bool link_made = false;
};

#define QM_WEB_ADDRESS "https://www.brightfold.example/"
