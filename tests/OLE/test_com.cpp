#include "OLE/ole_com_ptr.h"
#include "OLE/ole_exception.h"
#include "OLE/ole_misc.h"
#include "TK/tk_log.h"
#include "tests/TK/tk_test_support.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

namespace {

struct counted : IUnknown {
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!IsEqualGUID(iid, IID_IUnknown)) return E_NOINTERFACE;
    *object = this;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  int method() const { return 42; }
  ULONG refs = 1;
};

TEST(ComPtr, ReleasesItsReferenceAndLogsTheCount) {
  temp_folder folder;
  std::string file = folder.path + "/trace.log";
  tk_log log;
  log.set_file_name(file.c_str());
  log.time_stamp = false;
  log.enabled = true;
  log.threshold = 1;
  counted object;
  object.refs = 2;
  {
    ole_com_ptr<counted> empty;
  }
  EXPECT_EQ(qm_test::file_bytes(file), "");  // nothing held, nothing released or logged
  {
    ole_com_ptr<counted> ptr;
    void* out = nullptr;
    ASSERT_EQ(object.QueryInterface(IID_IUnknown, &out), S_OK);
    ptr.p = static_cast<counted*>(out);
    EXPECT_EQ(ptr->method(), 42);
    EXPECT_EQ(object.refs, 3u);
  }
  EXPECT_EQ(object.refs, 2u);
  EXPECT_EQ(qm_test::file_bytes(file), "ole_com_ptr<T>::~ole_com_ptr() - 2 refs left\n");
}

TEST(ComPtr, EmptyHolderAssertsOnUse) {
  ole_com_ptr<counted> empty;
  try {
    empty->method();
    ADD_FAILURE();
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(e.message, tk_mail_assertion("ole_ptr", 94).message);
  }
}

TEST(ComMisc, RefCountTypeTestAndOffset) {
  counted object;
  object.refs = 5;
  EXPECT_EQ(ole_get_ref_count(&object), 5u);
  EXPECT_EQ(object.refs, 5u);
  try {
    ole_get_ref_count(nullptr);
    ADD_FAILURE();
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(e.message, tk_mail_assertion("ole_misc", 14).message);
  }
  EXPECT_TRUE(ole_is_string_or_date(VT_BSTR));
  EXPECT_TRUE(ole_is_string_or_date(VT_DATE));
  EXPECT_FALSE(ole_is_string_or_date(VT_I4));
  EXPECT_FALSE(ole_is_string_or_date(VT_LPWSTR));
  LARGE_INTEGER li = ole_make_large_integer(0xFFFFFFFFu);
  EXPECT_EQ(li.QuadPart, 0xFFFFFFFFLL);
}

TEST(ComExceptions, MessagesLevelsAndCopies) {
  ole_cast_exception cast;
  EXPECT_STREQ(cast.what(), "Cannot cast from source type to destination type");
  EXPECT_EQ(cast.level, 1);
  EXPECT_EQ(cast.code, 0);
  cast.code = 7;
  ole_cast_exception copy(cast);
  EXPECT_EQ(copy.code, 7);
  EXPECT_EQ(copy.message, cast.message);
  ole_type_exception type;
  EXPECT_STREQ(type.what(), "The operating type is not supported yet");
  EXPECT_EQ(type.level, 1);
  const tk_exception& base = type;
  EXPECT_EQ(base.code, 0);
}

const std::wstring k_guid = L"{0123ABCD-4567-89EF-0123-456789ABCDEF}";
const std::wstring k_digits = L"0123ABCD456789EF0123456789ABCDEF";

TEST(GuidExtractor, FindsTheBraceAfterTheKeyword) {
  struct {
    std::wstring text;
    std::wstring guid;
  } cases[] = {
      {L"guid=" + k_guid + L"tail", k_digits},
      {L"GUID=" + k_guid + L"tail", k_digits},
      {L"1234GUID " + k_guid + L" then guid", L""},  // "guid" wins, and no brace follows it
      {L"guid" + k_guid, k_digits},  // exactly 42 characters: too short
      {L"{x}guid  " + k_guid, k_digits},
      {L"{" + k_guid.substr(1) + L" gu  id and more text to be long", L""},
      {L"no keyword at all " + k_guid, L""},
      {L"guid, some padding text to be long {0123ABCD-4567", L""},  // runs past the end
  };
  for (const auto& c : cases) {
    ole_guid_extractor e(c.text);
    EXPECT_EQ(e.get_guid(), c.text.size() < 45 ? L"" : c.guid) << std::string(c.text.begin(), c.text.end());
  }
  std::wstring exactly44 = L"guid=" + k_guid + L"x";
  ASSERT_EQ(exactly44.size(), 44u);
  EXPECT_FALSE(ole_guid_extractor(exactly44).found);
  ole_guid_extractor found(L"guid=" + k_guid + L"tailx");
  EXPECT_TRUE(found.found);
  EXPECT_EQ(found.pos, 5);
  ole_guid_extractor narrow(std::string("guid=") + "{0123ABCD-4567-89EF-0123-456789ABCDEF}tailx");
  EXPECT_EQ(narrow.get_guid(), k_digits);
}

}  // namespace
