// The empty-workbook images of the two .xls engines, generated at build
// time by common/xls_template_gen.cpp.
#pragma once

#include <cstdint>

extern const std::uint8_t xls_template_biff5[0x3600];
extern const std::uint8_t xls_template_biff8[0x3600];
