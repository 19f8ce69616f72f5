// The one table from OpenLDAP results to HRESULTs, the server's sub-codes, and the
// per-thread extended error.
#include "adsi/errors.h"

#include <gtest/gtest.h>

#include <thread>

#include "adshlp.h"

namespace adsi = winapi::adsi;

namespace {

TEST(LdapResultTable, EveryRowMapsAsTheProviderDoes) {
  struct Row {
    int ldap;
    uint32_t hresult;
  };
  const Row rows[] = {
      {0, 0x00000000},   {1, 0x80072020},   {2, 0x80072021},   {3, 0x80072022},   {4, 0x80072023},   {5, 0x80072025},
      {6, 0x80072026},   {7, 0x80072027},   {8, 0x80072028},   {9, 0x800700EA},   {10, 0x8007202B},  {11, 0x80072024},
      {12, 0x8007202C},  {13, 0x8007202D},  {16, 0x8007200A},  {17, 0x8007200C},  {18, 0x8007202E},  {19, 0x8007202F},
      {20, 0x8007200D},  {21, 0x8007200B},  {32, 0x80072030},  {33, 0x80072031},  {34, 0x80072032},  {35, 0x80072033},
      {36, 0x80072034},  {48, 0x80072029},  {49, 0x8007052E},  {50, 0x80070005},  {51, 0x8007200E},  {52, 0x8007200F},
      {53, 0x80072035},  {54, 0x80072036},  {60, 0x80072045},  {61, 0x80072046},  {64, 0x80072037},  {65, 0x80072014},
      {66, 0x80072015},  {67, 0x80072016},  {68, 0x80071392},  {69, 0x80072017},  {70, 0x80072038},  {71, 0x80072039},
      {80, 0x8007001F},  {-1, 0x8007203A},  {-2, 0x8007203B},  {-3, 0x8007203C},  {-4, 0x8007203D},  {-5, 0x800705B4},
      {-6, 0x8007202A},  {-7, 0x8007203E},  {-8, 0x800704C7},  {-9, 0x8007203F},  {-10, 0x80070008}, {-11, 0x800704C9},
      {-12, 0x80072040}, {-13, 0x80072042}, {-14, 0x80072041}, {-15, 0x800700EA}, {-16, 0x80072043}, {-17, 0x80072044},
  };
  for (const Row& row : rows)
    EXPECT_EQ(static_cast<uint32_t>(adsi::hresultFromLdapResult(row.ldap)), row.hresult) << "LDAP " << row.ldap;
}

TEST(LdapResultTable, UnknownCodesGiveOneFixedFailure) {
  for (int code : {14, 15, 22, 31, 37, 47, 55, 59, 62, 63, 72, 79, 81, 97, 118, 4096, -18, -100, 0x7fffffff}) {
    EXPECT_EQ(adsi::hresultFromLdapResult(code), E_FAIL) << code;
    EXPECT_EQ(adsi::win32FromLdapResult(code), 31u) << code;
  }
}

TEST(ServerCodes, BindSubCodesAndLeadingCodesAreRead) {
  EXPECT_EQ(
      adsi::bindDataCode("80090308: LdapErr: DSID-0C0903A9, comment: AcceptSecurityContext error, data 52e, v1db1"),
      0x52Eu);
  EXPECT_EQ(adsi::bindDataCode("... AcceptSecurityContext error, data 775, v1db1"), 0x775u);
  EXPECT_EQ(adsi::bindDataCode("data 701"), 0x701u);
  EXPECT_EQ(adsi::bindDataCode("no data here"), 0u);
  EXPECT_EQ(adsi::bindDataCode("metadata 52e, x"), 0u);
  EXPECT_EQ(adsi::bindDataCode("data xyz, v1"), 0u);
  EXPECT_EQ(adsi::bindDataCode(""), 0u);
  EXPECT_EQ(adsi::leadingServerCode("00002071: samldb: samAccountName 'alice' already in use!"), 0x2071u);
  EXPECT_EQ(adsi::leadingServerCode("0000052D: Constraint violation"), 0x52Du);
  EXPECT_EQ(adsi::leadingServerCode("Entry CN=x already exists"), 0u);
  EXPECT_EQ(adsi::leadingServerCode("0000205G: x"), 0u);
  EXPECT_EQ(adsi::leadingServerCode("00002071"), 0u);
}

TEST(LastError, FailuresAreRecordedPerThreadWithTheProviderName) {
  HRESULT hr =
      adsi::failLdap(49, "80090308: LdapErr: DSID-0C0903A9, comment: AcceptSecurityContext error, data 533, v1db1");
  EXPECT_EQ(hr, static_cast<HRESULT>(0x8007052E));
  DWORD code = 0;
  WCHAR text[16];
  WCHAR provider[64];
  ASSERT_EQ(ADsGetLastError(&code, text, 16, provider, 64), S_OK);
  EXPECT_EQ(code, 0x533u);
  EXPECT_EQ(std::u16string(text), u"80090308: LdapE");  // cut to the buffer, terminated
  EXPECT_EQ(std::u16string(provider), u"LDAP Provider");

  adsi::failLdap(68, "00002071: samldb: samAccountName 'alice' already in use!");
  ASSERT_EQ(ADsGetLastError(&code, nullptr, 0, nullptr, 0), S_OK);
  EXPECT_EQ(code, 0x2071u);
  adsi::failLdap(32, "");
  ASSERT_EQ(ADsGetLastError(&code, text, 16, nullptr, 0), S_OK);
  EXPECT_EQ(code, 8240u);  // no server code: the result's own Win32 code
  EXPECT_NE(std::u16string(text), u"");

  std::thread other([] {
    DWORD elsewhere = 1;
    ADsGetLastError(&elsewhere, nullptr, 0, nullptr, 0);
    EXPECT_EQ(elsewhere, 0u);
  });
  other.join();

  ADsSetLastError(234, u"more", u"LDAP Provider");
  ASSERT_EQ(ADsGetLastError(&code, text, 16, provider, 64), S_OK);
  EXPECT_EQ(code, 234u);
  EXPECT_EQ(std::u16string(text), u"more");
  EXPECT_EQ(ADsGetLastError(nullptr, text, 16, provider, 64), E_POINTER);
}

}  // namespace
