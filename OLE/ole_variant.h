// The one value type of the program: an OLE Automation VARIANT with 64-bit
// integers kept beside it, the calendar fields of a date (so milliseconds
// survive) and text conversions that never follow the user's locale.
#pragma once

#include "platform/oleauto.h"
#include "platform/win32.h"

#include <cstddef>
#include <string>
#include <vector>

class ole_variant {
 public:
  ole_variant();
  ole_variant(const SYSTEMTIME& time);         // VT_DATE
  ole_variant(const CY& value);                // VT_CY
  ole_variant(const DECIMAL& value);           // VT_DECIMAL
  ole_variant(const OLECHAR* text);            // VT_BSTR, up to the first zero character
  ole_variant(const char* text);               // VT_BSTR, as attach_string
  ole_variant(const ole_variant& other);
  // Takes the value over; `other` is left empty.
  ole_variant(ole_variant&& other) noexcept;
  ole_variant(bool value);                     // VT_BOOL, -1 or 0
  ole_variant(char value);                     // VT_I1
  ole_variant(signed char value);              // VT_I1
  ole_variant(unsigned char value);            // VT_UI1
  ole_variant(short value);                    // VT_I2
  ole_variant(unsigned short value);           // VT_UI2
  ole_variant(int value);                      // VT_I4
  ole_variant(unsigned int value);             // VT_UI4
  ole_variant(long value);                     // VT_I8 (64 bits here)
  ole_variant(unsigned long value);            // VT_UI8
  ole_variant(long long value);                // VT_I8
  ole_variant(unsigned long long value);       // VT_UI8
  ole_variant(float value);                    // VT_R4
  ole_variant(double value);                   // VT_R8
  ole_variant(std::size_t count, const unsigned char* bytes);  // byte array
  ole_variant(const std::string& text);        // VT_BSTR from the ANSI code page
  ole_variant(const std::wstring& text);       // VT_BSTR, every character kept
  virtual ~ole_variant();

  ole_variant& operator=(const ole_variant& other);
  ole_variant& operator=(ole_variant&& other) noexcept;
  ole_variant& operator=(const OLECHAR* text);
  ole_variant& operator=(const char* text);
  ole_variant& operator=(const std::vector<unsigned char>& bytes);
  ole_variant& operator=(const std::string& text);
  ole_variant& operator=(const std::wstring& text);

  // Byte arrays: one dimension of VT_UI1 (VT_ARRAY | VT_UI1) from 0.
  void allocate_safe_array(std::size_t count);
  void attach_binary(std::size_t count, const unsigned char* bytes);
  void attach_binary(const std::vector<unsigned char>& bytes);
  // The element count; `data` is set to the elements. VT_EMPTY and VT_NULL
  // give 0 and leave `data` alone.
  std::size_t get_bytes(unsigned char** data) const;
  static ULONG get_safe_array_size(const SAFEARRAY* array);
  static void convert_to_byte_array(const unsigned char* bytes, std::size_t count,
                                    std::vector<unsigned char>& out);

  void attach_string(const std::string& text);
  void attach_wstring(const std::wstring& text);

  LONG to_long() const;
  double to_double() const;
  // The calendar fields of a date, all zero for any other type.
  void get_systemtime(SYSTEMTIME& out) const;

  // Text by fixed rules: decimals and currency with a point, floating-point
  // numbers in exponent form, booleans as 1 and 0, byte arrays as 0x and
  // upper-case hexadecimal, dates as YYYY-MM-DD hh:mm:ss.mmm.
  virtual std::string to_string() const;
  virtual std::wstring to_wstring() const;
  static ole_variant from_string(const std::string& text, VARTYPE type);
  static ole_variant from_wstring(const std::wstring& text, VARTYPE type);
  // Converts in place; throws ole_cast_exception and keeps the value when
  // it cannot.
  void change_type(VARTYPE type);

  static bool is_binary_type(VARTYPE type);

  // VT_I8 and VT_UI8 keep their value here, `var` holds only the type.
  LONGLONG i8;
  ULONGLONG ui8;
  // The calendar fields of a VT_DATE value; every date text comes from them.
  SYSTEMTIME st;
  VARIANT var;

 private:
  void initialize();
  void release();
  void take(VARIANT& value);
  void take_over(ole_variant& other);
  void copy_from(const ole_variant& other);
};
