// Exact decimal numbers behind the OLE Automation conversions (internal to
// the platform layer).
#pragma once

#include "platform/oleauto.h"

#include <string>

namespace qm_platform {

// (-1)^negative * digits * 10^exponent; `digits` has no leading zeros and
// is empty for zero.
struct ole_number {
  bool negative = false;
  std::string digits;
  int exponent = 0;

  bool is_zero() const { return digits.empty(); }
};

using uint128 = unsigned __int128;

ole_number number_from_signed(LONGLONG value);
ole_number number_from_unsigned(ULONGLONG value);
ole_number number_from_cy(CY value);
// False when the scale is beyond 28.
bool number_from_decimal(const DECIMAL& value, ole_number& out);
// The 15 significant digits that a double shows in text; false for an
// infinity or a NaN.
bool number_from_double(double value, ole_number& out);
// Blanks, an optional sign, digits with an optional point, an optional
// exponent, blanks; nothing else.
bool number_from_text(const wchar_t* text, std::size_t length, ole_number& out);

// |value| * 10^scale rounded half away from zero; false when that needs
// more than 127 bits.
bool number_round(const ole_number& value, int scale, uint128& magnitude);
HRESULT number_to_signed(const ole_number& value, LONGLONG min, LONGLONG max, LONGLONG& out);
HRESULT number_to_unsigned(const ole_number& value, ULONGLONG max, ULONGLONG& out);
HRESULT number_to_cy(const ole_number& value, CY& out);
HRESULT number_to_decimal(const ole_number& value, DECIMAL& out);
HRESULT number_to_double(const ole_number& value, double& out);
// Plain decimal text: a minus sign, digits and a point only when a
// non-zero fraction follows.
std::wstring number_to_text(const ole_number& value);

HRESULT double_to_signed(double value, LONGLONG min, LONGLONG max, LONGLONG& out);
HRESULT double_to_unsigned(double value, ULONGLONG max, ULONGLONG& out);
HRESULT double_to_cy(double value, CY& out);
// 15 significant digits for a double, 7 for a float; the exponent form
// ("1.5E+20") beyond those digits or below 1E-04.
std::wstring double_to_text(double value, bool single);

// A BSTR of the text, or null when out of memory.
BSTR make_bstr(const std::wstring& text);

}  // namespace qm_platform
