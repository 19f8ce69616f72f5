// What a KDC's refusal says of the account: the NTSTATUS in its e-data, and the reason reported.
#include <gtest/gtest.h>

#include <string>

#include "adsi/kdc_refusal.h"
#include "winerror.h"

using winapi::adsi::ntstatusOfKdcErrorData;
using winapi::adsi::reasonOfKdcRefusal;

namespace {

std::string bytes(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

// Samba 4.17's e-data for the seeded disabled account (user "dora"): ETYPE-INFO2, then PA-PW-SALT
// with STATUS_ACCOUNT_DISABLED.
const std::string disabled = bytes(
    "3048302fa103020113a228042630243022a003020112a1131b114f5256495354414c2e54455354646f7261a206040400001000"
    "3015a103020103a20e040c720000c00000000001000000");
// The same KDC for a locked account: ETYPE-INFO2 only.
const std::string lockedOut = bytes(
    "30323030a103020113a229042730253023a003020112a1141b124f5256495354414c2e544553546c6f636b79a206040400001000");

}  // namespace

TEST(KdcRefusal, StatusFromEitherFormOfTheErrorData) {
  EXPECT_EQ(ntstatusOfKdcErrorData(disabled), 0xC0000072u);
  EXPECT_EQ(ntstatusOfKdcErrorData(lockedOut), 0u);
  // KERB-ERROR-DATA of the extended-error type, as Windows KDCs may send it.
  EXPECT_EQ(ntstatusOfKdcErrorData(bytes("3015a103020103a20e040c240200c00000000001000000")), 0xC0000224u);
  // A PA-DATA of another type, or a status value of the wrong size, gives none.
  EXPECT_EQ(ntstatusOfKdcErrorData(bytes("30173015a103020113a20e040c720000c00000000001000000")), 0u);
  EXPECT_EQ(ntstatusOfKdcErrorData(bytes("30143012a103020103a20b0409720000c0000000000100")), 0u);
}

TEST(KdcRefusal, MalformedErrorDataGivesNoStatus) {
  const std::string whole = disabled;
  for (size_t cut = 0; cut < whole.size(); ++cut) EXPECT_EQ(ntstatusOfKdcErrorData(whole.substr(0, cut)), 0u) << cut;
  EXPECT_EQ(ntstatusOfKdcErrorData(whole + "x"), 0u) << "bytes after the outer sequence";
  EXPECT_EQ(ntstatusOfKdcErrorData(bytes("3084ffffffff")), 0u) << "a length beyond the bytes";
  EXPECT_EQ(ntstatusOfKdcErrorData(bytes("3080")), 0u) << "an indefinite length";
}

TEST(KdcRefusal, ReasonsOfEachAccountState) {
  EXPECT_EQ(reasonOfKdcRefusal(24, 0), static_cast<DWORD>(ERROR_LOGON_FAILURE));  // wrong password
  EXPECT_EQ(reasonOfKdcRefusal(6, 0), static_cast<DWORD>(ERROR_LOGON_FAILURE));   // no such account
  EXPECT_EQ(reasonOfKdcRefusal(18, 0), static_cast<DWORD>(ERROR_ACCOUNT_LOCKED_OUT));
  EXPECT_EQ(reasonOfKdcRefusal(18, 0xC0000072), static_cast<DWORD>(ERROR_ACCOUNT_DISABLED));
  EXPECT_EQ(reasonOfKdcRefusal(18, 0xC0000193), static_cast<DWORD>(ERROR_ACCOUNT_EXPIRED));
  EXPECT_EQ(reasonOfKdcRefusal(18, 0xC0000234), static_cast<DWORD>(ERROR_ACCOUNT_LOCKED_OUT));
  EXPECT_EQ(reasonOfKdcRefusal(23, 0), static_cast<DWORD>(ERROR_PASSWORD_EXPIRED));
  EXPECT_EQ(reasonOfKdcRefusal(23, 0xC0000224), static_cast<DWORD>(ERROR_PASSWORD_MUST_CHANGE));
  EXPECT_EQ(reasonOfKdcRefusal(12, 0xC000006F), static_cast<DWORD>(ERROR_INVALID_LOGON_HOURS));
  EXPECT_EQ(reasonOfKdcRefusal(24, 0xC000006A), static_cast<DWORD>(ERROR_LOGON_FAILURE)) << "wrong password status";
}
