// Datetime format masks as the server reads and writes them, in English
// (an American session): TO_CHAR of a DATE or TIMESTAMP, TO_DATE and
// TO_TIMESTAMP of a text.
//
// Elements, in any case (the case of a name element sets the case of the
// name: MONTH JANUARY, Month January, month january):
//   AD A.D. BC B.C.  AM A.M. PM P.M.  CC SCC  D  DAY DY  DD DDD
//   FF FF1..FF9  HH HH12 HH24  IW IYYY IYY IY I  J  MI  MM MON MONTH RM
//   Q  RR RRRR  SS SSSSS  TZH TZM TZR  W WW  X  Y,YYY YYYY SYYYY YYY YY Y
// the suffixes TH, SP, SPTH and THSP on numeric elements (DDTH 12TH,
// DDSP TWELVE), FM (fill mode: no padding blanks or leading zeros; a
// second FM turns it off) and FX (exact matching of input), punctuation
// and blanks as they stand, and "quoted text" as it stands.
#pragma once

#include "ocilite/ol_date_math.h"
#include "ocilite/ol_values.h"

#include <string>
#include <string_view>

namespace ocilite {

// The server's default formats (NLS_DATE_FORMAT and the timestamp ones of
// an American session): the text of a date converted without a mask, in
// `||` or CAST AS VARCHAR2 or TO_CHAR(date), and the mask TO_DATE and
// TO_TIMESTAMP read with when given none.
inline constexpr std::string_view k_date_format = "DD-MON-RR";
inline constexpr std::string_view k_timestamp_format = "DD-MON-RR HH.MI.SSXFF AM";
inline constexpr std::string_view k_timestamp_tz_format = "DD-MON-RR HH.MI.SSXFF AM TZR";
// The default format of a kind.
std::string_view default_format(datetime_kind kind);

// TO_CHAR(t, mask). `fraction_digits` is the fractional precision of t's
// type (9 for TO_TIMESTAMP, 6 for SYSTIMESTAMP and a TIMESTAMP column
// without one): FF writes that many digits, FF1..FF9 as many as they say
// (truncated). ORA-01821 for what is no element, for FF where the kind
// has no fraction (a DATE) and TZH TZM TZR where it has no zone; the
// spelled YEAR and SYEAR and the short forms DS DL TS are refused the same
// way.
std::string to_char_datetime(const datetime& t, std::string_view mask, datetime_kind kind,
                             int fraction_digits = 9);
// TO_CHAR(t) and the text of t in `||`: to_char_datetime with the kind's
// default format.
std::string default_datetime_text(const datetime& t, datetime_kind kind, int fraction_digits = 9);

// What TO_DATE takes for fields the text does not give and the RR and YY
// rules read: the current year and month (a missing day is 1, a missing
// time 00:00:00).
struct date_defaults {
  int year = 2000;
  int month = 1;
};
date_defaults current_date_defaults();

// TO_DATE(text, mask) (kind date) and TO_TIMESTAMP(text, mask) (kind
// timestamp; timestamp_tz reads TZH:TZM, else takes no zone). Names match
// in any case, MON and MONTH take either form, MM takes digits or a name;
// without FX a run of punctuation and blanks in the text stands for the
// mask's punctuation, numbers may have fewer digits than their element, and
// a text that ends before the mask's time fields leaves them at 0 (ending
// before a date field is ORA-01840);
// with FX punctuation, quoted text and widths must match exactly (FM
// relaxes the widths). YY takes the current century, RR the one nearest
// (00-49 after a year ending in 50-99 is the next century); four digits
// for RR or YY are the year itself.
// Errors: ORA-01821 an unknown element (or one this kind lacks),
// ORA-01820 one no input may hold (CC, Q, W, WW, IW, IYYY ...), ORA-01810
// one given twice, ORA-01812 year twice, ORA-01813 hour twice, ORA-01816
// month twice, ORA-01817 weekday twice, ORA-01818 HH24 with AM/PM,
// ORA-01861 text that does not match, ORA-01858 no digit where a number
// is due, ORA-01830 text left over at the mask's end, ORA-01862 a number
// of another width (FX), ORA-01843 no month, ORA-01846 no weekday,
// ORA-01847 a day past 31, ORA-01839 a day past the month's end, ORA-01848
// a day of the year past the year's end, ORA-01849 HH12 outside 1..12,
// ORA-01850 HH24 past 23, ORA-01851 minutes, ORA-01852 seconds,
// ORA-01853 SSSSS past 86399, ORA-01854 J outside 1..5373484,
// ORA-01841 year 0 or past 9999, ORA-01855 no AM/PM, ORA-01856 no BC/AD,
// ORA-01874 and ORA-01875 a zone offset out of range, ORA-01882 a zone
// that is no offset (+05:30, -08:00) nor UTC, ORA-01831..ORA-01838
// fields that contradict J or SSSSS.
datetime to_datetime(std::string_view text, std::string_view mask, datetime_kind kind,
                     const date_defaults& defaults);
datetime to_datetime(std::string_view text, std::string_view mask, datetime_kind kind);

// Checks a mask once, for a mask known before the rows: the errors
// to_char_datetime (for_input false) or to_datetime (true) would throw for
// the mask itself, whatever the value.
void check_datetime_mask(std::string_view mask, datetime_kind kind, bool for_input);

}  // namespace ocilite
