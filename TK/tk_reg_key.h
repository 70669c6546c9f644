// The owner of one open registry key; serialize_value walks one list of
// values for both loading and saving. The values set reach the store
// together when the key is closed: close's result tells whether they did.
#pragma once

#include "platform/registry.h"

#include <string>

class tk_reg_key {
 public:
  explicit tk_reg_key(const char* subkey);
  ~tk_reg_key();
  tk_reg_key(const tk_reg_key&) = delete;
  tk_reg_key& operator=(const tk_reg_key&) = delete;

  LONG open(HKEY root, const char* subkey, LPSTR class_name, DWORD options, REGSAM access, void* security,
            LPDWORD disposition);
  LONG close();
  bool is_open() const { return key != nullptr; }
  const std::string& get_subkey() const { return subkey; }

  LONG get_value(const char* name, DWORD& value);
  // A null buffer asks only for the size in bytes.
  LONG get_value(const char* name, wchar_t* buffer, DWORD* size);
  LONG set_value(const char* name, DWORD value);
  LONG set_value(const char* name, const std::wstring& text);

  bool serialize_value(const char* name, DWORD& value, bool store);
  bool serialize_value(const char* name, bool& value, bool store);
  bool serialize_value(const char* name, std::wstring& value, bool store);

 private:
  HKEY key = nullptr;
  std::string subkey;
};
