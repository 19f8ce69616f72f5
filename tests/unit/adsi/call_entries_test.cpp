// Which reads an object's read earlier in the call may answer, and which must go to the server.
#include <gtest/gtest.h>

#include "adsi/call_entries.h"

namespace winapi::adsi {
namespace {

EntryOfThisCall wholeEntry() {
  EntryOfThisCall entry;
  entry.whole = true;
  entry.ordinary["mail"] = CachedProperty{"mail", {"alice@example.test"}};
  entry.ordinary["objectclass"] = CachedProperty{"objectClass", {"top", "user"}};
  return entry;
}

TEST(CallEntries, OnlyWhatTheEarlierReadSurelyHeldIsAnswered) {
  EntryOfThisCall entry = wholeEntry();
  PropertyMap out;
  std::vector<std::string> missing;
  ASSERT_TRUE(answerFromEntry(entry, {"MAIL", "tokenGroups", "member;range=0-9"}, &out, &missing));
  EXPECT_EQ(out.size(), 1u);
  EXPECT_EQ(out["mail"].values, std::vector<std::string>{"alice@example.test"});
  // Absent from the whole read may mean constructed; a range is the caller's own request.
  EXPECT_EQ(missing, (std::vector<std::string>{"tokenGroups", "member;range=0-9"}));

  // A name asked for by name before is answered as it was then, absent too.
  entry.namesAsked.insert("primarygrouptoken");
  out.clear();
  missing.clear();
  ASSERT_TRUE(answerFromEntry(entry, {"primaryGroupToken"}, &out, &missing));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(missing.empty());
}

TEST(CallEntries, ACutAttributeIsAskedForAgainAndSpoilsAWholeLoad) {
  EntryOfThisCall entry = wholeEntry();
  PropertyMap out;
  std::vector<std::string> missing;
  EXPECT_TRUE(answerFromEntry(entry, {}, &out, &missing));
  EXPECT_EQ(out.size(), 2u);

  entry.cut.insert("member");
  out.clear();
  EXPECT_FALSE(answerFromEntry(entry, {}, &out, &missing));
  EXPECT_TRUE(out.empty());
  ASSERT_TRUE(answerFromEntry(entry, {"member"}, &out, &missing));
  EXPECT_EQ(missing, std::vector<std::string>{"member"});

  EntryOfThisCall named;  // read by name only: no whole load
  EXPECT_FALSE(answerFromEntry(named, {}, &out, &missing));
}

}  // namespace
}  // namespace winapi::adsi
