// The ids of the BIFF5 and BIFF8 records that the workbook writer, its
// reader, the header-row patcher and the template workbooks use.
#pragma once

#include <cstdint>

namespace biff_id {
constexpr std::uint16_t formula = 0x0006, eof = 0x000A, calc_count = 0x000C, calc_mode = 0x000D,
                        precision = 0x000E, ref_mode = 0x000F, delta = 0x0010, iteration = 0x0011,
                        date_mode = 0x0022, font = 0x0031, continue_ = 0x003C, window1 = 0x003D,
                        backup = 0x0040, codepage = 0x0042, defcolwidth = 0x0055, write_access = 0x005C,
                        save_recalc = 0x005F, bound_sheet = 0x0085, mulrk = 0x00BD, mulblank = 0x00BE,
                        rstring = 0x00D6, dbcell = 0x00D7, xf = 0x00E0, sst = 0x00FC, label_sst = 0x00FD,
                        extsst = 0x00FF, dimensions = 0x0200, blank = 0x0201, number = 0x0203, label = 0x0204,
                        boolerr = 0x0205, string = 0x0207, row = 0x0208, index = 0x020B,
                        window2 = 0x023E, rk = 0x027E, style = 0x0293, format = 0x041E, bof = 0x0809;
}  // namespace biff_id
