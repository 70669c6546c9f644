#pragma once
#include <string>
// Reads the table-list file into the convertor's selected tables; a missing
// file ends the process.
void process_tab_file(const std::string& path);
