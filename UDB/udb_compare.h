// Names of tables, fields, indexes and keys compare without regard to case,
// in every script.
#pragma once

#include <string>

bool udb_same_name(const std::wstring& a, const std::wstring& b);
