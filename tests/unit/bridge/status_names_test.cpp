// The status table against the platform headers: a row's status must be its name's value (or,
// for a Win32 name, that code carried in an HRESULT), and the trace's lookup must find it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "bridge/status_names.h"
#include "platform.h"

namespace {

struct RowCheck {
  int rows = 0;
  std::string mismatches;

  void check(std::uint32_t status, long value, const char* name) {
    ++rows;
    const bool asItself = static_cast<std::uint32_t>(value) == status;
    const bool asWin32 = static_cast<std::uint32_t>(HRESULT_FROM_WIN32(value)) == status;
    const char* found = statusName(static_cast<long>(static_cast<std::int32_t>(status)));
    if (!(asItself || asWin32) || found == nullptr || std::strcmp(found, name) != 0) mismatches += std::string(name) + " ";
  }
};

TEST(StatusNames, EveryRowMatchesItsHeaderAndIsFoundByStatus) {
  RowCheck rows;
#define STATUS_ROW(status, name) rows.check(status, static_cast<long>(name), #name);
#include "status_table_check.inc"
#undef STATUS_ROW
  EXPECT_EQ(rows.mismatches, "");
  // The headers define nearly every name: a check that skipped them all would prove nothing.
  EXPECT_GT(rows.rows, 140);
}

TEST(StatusNames, AnHresultFoundWhateverTheWidthOfLongAndUnknownGivesNull) {
  const HRESULT logonFailure = HRESULT_FROM_WIN32(ERROR_LOGON_FAILURE);
  EXPECT_STREQ(statusName(logonFailure), "ERROR_LOGON_FAILURE");
  EXPECT_STREQ(statusName(static_cast<long>(0x8007203AUL)), "ERROR_DS_SERVER_DOWN");
  EXPECT_NE(statusMeaning(logonFailure), nullptr);
  EXPECT_EQ(statusName(0x8007FFFF), nullptr);
  EXPECT_EQ(statusMeaning(0x8007FFFF), nullptr);
}

}  // namespace
