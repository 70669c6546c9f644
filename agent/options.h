#pragma once
#include <string>
// Applies the command line to the convertor; false asks for the usage text.
bool parse_cmd_line(int argc, char** argv);
std::string usage_text();
