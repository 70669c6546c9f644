// Helpers of the tables of cases for the library's value functions.
#pragma once

#include "ocilite/ol_error.h"
#include "ocilite/ol_values.h"

#include <gtest/gtest.h>

#include <functional>

// The ORA number a call fails with, 0 when it does not.
inline int error_of(const std::function<void()>& call) {
  try {
    call();
  } catch (const ocilite::ora_failure& f) {
    return f.error.code;
  }
  return 0;
}

// A datetime from its stored text.
inline ocilite::datetime at(const char* text) {
  auto t = ocilite::parse_datetime(text);
  EXPECT_TRUE(t) << text;
  return t.value_or(ocilite::datetime{});
}

inline ocilite::datetime ymd(int y, int m, int d) {
  ocilite::datetime t;
  t.year = y;
  t.month = m;
  t.day = d;
  return t;
}

inline ocilite::decimal number(const char* text) { return *ocilite::parse_decimal(text); }
