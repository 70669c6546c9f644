#include "dao_test_support.h"

std::vector<std::string> handled;

// The programs each supply the handler's display; the tests keep the texts.
void error_handler::handle(const tk_exception& e, bool) { handled.push_back(compose(e)); }
