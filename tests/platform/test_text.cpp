#include "platform/case_fold.h"
#include "platform/utf8.h"
#include "platform/win32.h"

#include <gtest/gtest.h>
#include <string>

namespace {

std::string to_utf8(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_ACP, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, w.c_str(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
  return out;
}

TEST(CodePages, RoundTripOfEveryPlane) {
  std::wstring text = L"A\u00e9\u0416\u4e2d\U0001F600";
  std::string narrow = to_utf8(text);
  EXPECT_EQ(narrow, "A\xc3\xa9\xd0\x96\xe4\xb8\xad\xf0\x9f\x98\x80");
  wchar_t back[16] = {};
  int n = MultiByteToWideChar(CP_UTF8, 0, narrow.c_str(), -1, back, 16);
  EXPECT_EQ(n, 6);  // with the terminating null
  EXPECT_EQ(std::wstring(back), text);
}

TEST(CodePages, InvalidInputFailsCleanly) {
  wchar_t out[8];
  for (const char* bad : {"\xff", "\xc3", "\xe4\xb8", "\xc0\x80", "\xed\xa0\x80", "\xf4\x90\x80\x80"}) {
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, bad, -1, out, 8), 0) << bad;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  }
  wchar_t lone[] = {L'a', static_cast<wchar_t>(0xD800), 0};
  char narrow[8];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, lone, -1, narrow, 8, nullptr, nullptr), 0);
}

TEST(PathText, EveryByteStringSurvivesTheTrip) {
  struct {
    const char* bytes;
    std::wstring wide;
  } cases[] = {
      {"caf\xc3\xa9", L"caf\u00e9"},
      {"\xf0\x9f\x98\x80/x", L"\U0001F600/x"},
      // Bytes that are no UTF-8 character keep a code point each, never
      // the one of another name's character.
      {"caf\xe9", L"caf\xdce9"},
      {"\xff\xfe", L"\xdcff\xdcfe"},
      {"a\xc3", L"a\xdcc3"},
      {"\xe4\xb8/", L"\xdce4\xdcb8/"},
      {"\xc0\x80", L"\xdcc0\xdc80"},
      // A surrogate written as UTF-8 is no text either.
      {"\xed\xb3\xa9", L"\xdced\xdcb3\xdca9"},
      {"\xf4\x90\x80\x80", L"\xdcf4\xdc90\xdc80\xdc80"},
  };
  for (const auto& c : cases) {
    std::wstring wide = qm_platform::path_from_utf8(c.bytes);
    EXPECT_EQ(wide, c.wide) << c.bytes;
    EXPECT_EQ(qm_platform::path_to_utf8(wide.c_str()), c.bytes);
    std::string strict;
    EXPECT_TRUE(qm_platform::path_to_utf8(wide.data(), wide.size(), strict));
    EXPECT_EQ(strict, c.bytes);
  }
  // Code points that are neither text nor such a byte.
  const wchar_t lone[] = {L'a', static_cast<wchar_t>(0xD800), 0};
  EXPECT_EQ(qm_platform::path_to_utf8(lone), "a?");
  std::string strict;
  EXPECT_FALSE(qm_platform::path_to_utf8(lone, 2, strict));
}

TEST(PathText, ShownAndSystemTextHoldNoByteCodePoints) {
  // A message that shows such a path converts; the byte shows as U+FFFD.
  std::wstring shown = qm_platform::path_as_text(qm_platform::path_from_utf8("/tmp/caf\xe9/x"));
  EXPECT_EQ(shown, L"/tmp/caf\ufffd/x");
  EXPECT_EQ(to_utf8(shown), "/tmp/caf\xef\xbf\xbd/x");
  // A text of the system that is no UTF-8 is one character a byte.
  EXPECT_EQ(qm_platform::text_from_system("caf\xe9"), L"caf\u00e9");
  EXPECT_EQ(qm_platform::text_from_system("caf\xc3\xa9"), L"caf\u00e9");
  EXPECT_EQ(qm_platform::text_from_system(std::string("a\0\xff", 3).data(), 3), std::wstring(L"a\0\u00ff", 3));
}

TEST(CodePages, SmallBufferIsRefused) {
  char out[2];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"\u0416", -1, out, 2, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(Compare, IgnoresCaseOfEveryScriptAndOrders) {
  struct { const wchar_t* a; const wchar_t* b; int expected; } cases[] = {
      {L"Amount", L"AMOUNT", CSTR_EQUAL},
      {L"\u0416\u0443\u043a", L"\u0436\u0423\u041a", CSTR_EQUAL},
      {L"stra\u00dfe", L"STRA\u00dfE", CSTR_EQUAL},
      {L"abc", L"ABD", CSTR_LESS_THAN},
      {L"b", L"A", CSTR_GREATER_THAN},
      {L"ab", L"A", CSTR_GREATER_THAN},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, c.a, -1, c.b, -1), c.expected);
  EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, 0, L"a", -1, L"A", -1), CSTR_GREATER_THAN);
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, "\xc3\xa9t\xc3\xa9", -1, "\xc3\x89T\xc3\x89", -1),
            CSTR_EQUAL);
}

TEST(CaseFolding, OneCharacterAtATimeAndFully) {
  struct {
    const wchar_t *text, *simple, *full;
  } cases[] = {
      {L"Amount \u0416", L"amount \u0436", L"amount \u0436"},
      {L"Stra\u00dfe", L"stra\u00dfe", L"strasse"},
      {L"STRA\u1E9EE", L"stra\u00dfe", L"strasse"},
      {L"\uFB01le", L"\uFB01le", L"file"},
      // The first, a middle and the last of the characters that fold into several.
      {L"\u00df\u0390\uFB17", L"\u00df\u0390\uFB17", L"ss\u03b9\u0308\u0301\u0574\u056d"},
      {L"\U0001F600", L"\U0001F600", L"\U0001F600"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(qm_platform::fold_simple(c.text), c.simple);
    EXPECT_EQ(qm_platform::fold_full(c.text), c.full);
  }
  qm_platform::folded_names names;
  names.add(L"STRASSE");
  EXPECT_TRUE(names.has(L"strasse", false));
  EXPECT_FALSE(names.has(L"Stra\u00dfe", false));
  EXPECT_TRUE(names.has(L"Stra\u00dfe", true));
}

TEST(Classes, LettersOfEveryScript) {
  EXPECT_TRUE(IsCharAlphaW(L'\u0416'));
  EXPECT_TRUE(IsCharAlphaW(L'\u4e2d'));
  EXPECT_FALSE(IsCharAlphaW(L'7'));
  EXPECT_TRUE(IsCharAlphaNumericW(L'7'));
  EXPECT_FALSE(IsCharAlphaNumericW(L'_'));
  EXPECT_FALSE(IsCharAlphaNumericW(L' '));
}

TEST(Errors, SystemTextEndsWithLineEnd) {
  char* text = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2,
                           MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0, nullptr);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(std::string(text), "No such file or directory\n");
  LocalFree(text);
}

}  // namespace
