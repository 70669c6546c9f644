// OLE Automation values on POSIX: VARIANT, BSTR, SAFEARRAY, DECIMAL, CY and
// DATE with the calls the value types make.
//
// Every locale behaves as English (United States): the point is the
// decimal separator and no thousands separator is read or written. Numbers
// convert exactly between integers, currency, decimals and text; a value
// that does not fit its target fails with DISP_E_OVERFLOW rather than
// wrapping, and a value rounded to fewer places rounds half away from zero.
#pragma once

#include "platform/com.h"
#include "platform/win32.h"

using VARTYPE = USHORT;
using VARIANT_BOOL = SHORT;
using SCODE = LONG;
using DATE = double;  // days since 1899-12-30; the fraction is the time of day
using FLOAT = float;
using DOUBLE = double;
using OLECHAR = wchar_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
// Wide characters with their count stored before the first one; the text
// may hold zero characters and always has one after its end.
using BSTR = OLECHAR*;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_PTR = 26,
  VT_SAFEARRAY = 27,
  VT_CARRAY = 28,
  VT_USERDEFINED = 29,
  VT_LPSTR = 30,
  VT_LPWSTR = 31,
  VT_BLOB = 65,
  VT_STREAM = 66,
  VT_STORAGE = 67,
  VT_STREAMED_OBJECT = 68,
  VT_STORED_OBJECT = 69,
  VT_BLOB_OBJECT = 70,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

// Failures of the conversion and array calls.
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);
constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);
constexpr HRESULT DISP_E_ARRAYISLOCKED = static_cast<HRESULT>(0x8002000Du);

// Currency: a signed 64-bit count of ten-thousandths.
struct CY {
  LONGLONG int64;
};

// A 96-bit magnitude scaled down by 10^scale (0 to 28), with a sign.
constexpr BYTE DECIMAL_NEG = 0x80;
constexpr BYTE DECIMAL_MAX_SCALE = 28;
struct DECIMAL {
  USHORT wReserved;  // the type code when the value lies in a VARIANT
  BYTE scale;
  BYTE sign;
  ULONG Hi32;        // bits 64 to 95 of the magnitude
  ULONGLONG Lo64;    // bits 0 to 63
};

struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};

// Arrays of plain values (numbers, booleans, currency, decimals, dates),
// laid out with the first index varying fastest. Bound i of the array
// (1-based dimension i+1) is rgsabound[i].
struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
};
using LPSAFEARRAY = SAFEARRAY*;

// 16 bytes: the type code, three reserved words and the value; a DECIMAL
// fills the whole of it, its reserved word overlaying the type code.
struct VARIANT {
  union {
    struct {
      VARTYPE vt;
      WORD wReserved1;
      WORD wReserved2;
      WORD wReserved3;
      union {
        LONGLONG llVal;
        ULONGLONG ullVal;
        LONG lVal;
        ULONG ulVal;
        INT intVal;
        UINT uintVal;
        SHORT iVal;
        USHORT uiVal;
        CHAR cVal;
        BYTE bVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IUnknown* pdispVal;
        SAFEARRAY* parray;
        void* byref;
      };
    };
    DECIMAL decVal;
  };
};
using VARIANTARG = VARIANT;
using LPVARIANT = VARIANT*;

static_assert(sizeof(DECIMAL) == 16 && sizeof(VARIANT) == 16, "OLE value layout");

// The locale of this layer: English (United States), 0x0409.
LCID GetSystemDefaultLCID();

// Text. SysAllocString copies up to the first zero character (null gives
// null); SysAllocStringLen copies `length` characters, or reserves them
// zeroed when `text` is null. Null means out of memory.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);  // 0 for null

// Variants. VariantClear frees the text, array or reference the value
// owns; VariantCopy clears `dest` and makes a deep copy of `src`.
void VariantInit(VARIANTARG* value);
HRESULT VariantClear(VARIANTARG* value);
HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src);
// Converts among VT_EMPTY, the integer types, VT_R4, VT_R8, VT_BOOL, VT_CY,
// VT_DECIMAL and VT_BSTR; `dest` may be `src`. Text is read as an optional
// sign, digits with an optional point and an optional exponent, blanks
// around; booleans also read "True" and "False" in any case and write -1
// and 0. A null value converts only to VT_NULL or VT_EMPTY. On failure
// `dest` is left as it was.
HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT flags, VARTYPE vt);

// Arrays: the element types of SAFEARRAY above, at least one dimension.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, const SAFEARRAYBOUND* bounds);
HRESULT SafeArrayDestroy(SAFEARRAY* array);
// Changes the count and lower bound of the last dimension, keeping the
// elements that remain and zeroing new ones.
HRESULT SafeArrayRedim(SAFEARRAY* array, const SAFEARRAYBOUND* bound);
HRESULT SafeArrayCopy(const SAFEARRAY* array, SAFEARRAY** copy);
HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
UINT SafeArrayGetDim(const SAFEARRAY* array);
HRESULT SafeArrayGetLBound(const SAFEARRAY* array, UINT dim, LONG* bound);
HRESULT SafeArrayGetUBound(const SAFEARRAY* array, UINT dim, LONG* bound);

// Dates: years 100 to 9999 of the Gregorian calendar. Milliseconds and
// the day of week are not read; the date number holds whole seconds and
// reads back rounded to the nearest second.
INT SystemTimeToVariantTime(const SYSTEMTIME* time, DATE* date);
INT VariantTimeToSystemTime(DATE date, SYSTEMTIME* time);
// Reads English dates and times: "Dec 31 2010 10:20", "31 December 2010",
// "Friday, December 31, 2010", "31-DEC-10", "12/31/2010" (month first,
// day first when the month cannot be one), "2010-12-31 10:20:30", a time
// "10:20", "10:20:30" or "10:20 PM" alone (on 1899-12-30). Month names are
// full or of three letters; two-digit years stand for 1950 to 2049.
// Anything else fails with DISP_E_TYPEMISMATCH.
HRESULT VarDateFromStr(LPCOLESTR text, LCID lcid, ULONG flags, DATE* date);

// Number conversions.
HRESULT VarBstrFromDec(const DECIMAL* value, LCID lcid, ULONG flags, BSTR* text);
HRESULT VarCyFromStr(LPCOLESTR text, LCID lcid, ULONG flags, CY* value);
HRESULT VarDecFromStr(LPCOLESTR text, LCID lcid, ULONG flags, DECIMAL* value);
HRESULT VarI4FromCy(CY value, LONG* out);
HRESULT VarR8FromCy(CY value, DOUBLE* out);
HRESULT VarI2FromDec(const DECIMAL* value, SHORT* out);
HRESULT VarUI2FromDec(const DECIMAL* value, USHORT* out);
HRESULT VarI4FromDec(const DECIMAL* value, LONG* out);
HRESULT VarUI4FromDec(const DECIMAL* value, ULONG* out);
HRESULT VarI8FromDec(const DECIMAL* value, LONGLONG* out);
HRESULT VarUI8FromDec(const DECIMAL* value, ULONGLONG* out);
HRESULT VarR8FromDec(const DECIMAL* value, DOUBLE* out);
HRESULT VarDecFromI8(LONGLONG value, DECIMAL* out);
HRESULT VarDecFromUI8(ULONGLONG value, DECIMAL* out);
