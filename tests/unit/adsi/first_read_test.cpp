// Which attribute names an object's first read in a call asks for, as calls load them.
#include "adsi/first_read.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace winapi::adsi {
namespace {

bool asks(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

TEST(FirstRead, AsksForWhatCallsLoadUntilTheyStop) {
  noteNamesLoaded({"otherMailbox", "bad name", "member;range=0-9", "objectclass"});
  std::vector<std::string> names = firstReadNames(FirstRead::bind);
  EXPECT_TRUE(asks(names, "otherMailbox"));
  EXPECT_TRUE(asks(firstReadNames(FirstRead::translation), "sAMAccountName"));
  // A group's own names, learned too, are asked for once: a server answers a name asked twice twice.
  noteNamesLoaded({"member"});
  std::vector<std::string> group = firstReadNames(FirstRead::groupBind);
  EXPECT_EQ(std::count(group.begin(), group.end(), "member"), 1);
  EXPECT_TRUE(asks(group, "primaryGroupToken"));
  EXPECT_TRUE(asks(names, "objectClass"));
  EXPECT_FALSE(asks(names, "objectclass")) << "asked for once";
  EXPECT_FALSE(asks(names, "bad name"));
  EXPECT_FALSE(asks(names, "member;range=0-9"));

  for (int read = 0; read < 300; ++read) names = firstReadNames(FirstRead::bind);
  EXPECT_FALSE(asks(names, "otherMailbox")) << "no call has loaded it for a while";
  noteNamesLoaded({"otherMailbox"});
  EXPECT_TRUE(asks(firstReadNames(FirstRead::bind), "otherMailbox"));
}

// A lookup a server refused stops asking for the learned names it carried; binds still ask them.
TEST(FirstRead, LookupsLeaveOutLearnedNamesAServerRefusedInOne) {
  noteNamesLoaded({"tokenGroups", "mail"});
  EXPECT_TRUE(asks(firstReadNames(FirstRead::lookup), "tokenGroups"));
  noteRefusedInLookups({"objectClass", "tokenGroups"});
  std::vector<std::string> lookup = firstReadNames(FirstRead::lookup);
  EXPECT_FALSE(asks(lookup, "tokenGroups"));
  EXPECT_TRUE(asks(lookup, "mail"));
  EXPECT_TRUE(asks(lookup, "objectClass")) << "what a translation reads is always asked";
  EXPECT_TRUE(asks(firstReadNames(FirstRead::bind), "tokenGroups"));
}

// The security descriptor an access check loads through the directory object is asked by the
// binds that hand out that interface, not by every ordinary bind.
TEST(FirstRead, NamesAreLearnedForTheInterfaceTheyWereLoadedThrough) {
  noteNamesLoaded({"nTSecurityDescriptor"}, LoadPath::directoryObject);
  EXPECT_TRUE(asks(firstReadNames(FirstRead::bind, LoadPath::directoryObject), "nTSecurityDescriptor"));
  EXPECT_FALSE(asks(firstReadNames(FirstRead::bind), "nTSecurityDescriptor"));
  EXPECT_FALSE(asks(firstReadNames(FirstRead::lookup), "nTSecurityDescriptor"));
}

}  // namespace
}  // namespace winapi::adsi
