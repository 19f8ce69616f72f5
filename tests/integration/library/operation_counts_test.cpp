// The LDAP requests each native's library-side work sends once it is warm (the second of two
// runs), pinned exactly: a change that adds a round trip fails here, not only in the benchmark.
// The cases are the side-by-side benchmark's (bench/library_cases.h); every case must have a
// count below, and every count a case.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include <ldap.h>

#include "adsi/connection.h"
#include "bench_seeding.h"
#include "library_cases.h"

namespace {

// Requests of one warm call, and what they are. "Root read" is the base read of the root
// entry's objectClass that every bind of RootDSE sends (the directory's root entry has no
// objectClass, so the kept copy of the root entry never answers it); a name translator makes one
// such bind each time it is made, to find the pooled connection of its credentials.
const std::map<std::string, size_t> expectedRequests = {
    {"wInit", 0},                    // nothing: the root entry is read once per server
    {"wGetUserDsn bare", 1},         // search by account name, for the whole entry, which holds its logon name
    {"wGetUserDsn NT4", 1},          // search by account name in the NetBIOS name's domain
    {"wGetUserDsn UPN", 1},          // search by principal name
    {"wGetUserDsn DN", 1},           // base read of the entry, for its logon name
    {"wTranslateName NT4>DN", 1},    // search by account name
    {"wGetGroupDsn bare", 2},        // display-name search of the translation; search for a group by account name
    {"wGetGroupDsn DN", 1},          // base read of the entry's classes
    {"wVerifyPassword", 1},          // the user's bind on a kept TLS connection
    {"wIsUserContainerNode", 1},     // base read of the entry's classes; the class verdict is kept
    {"wGetChildUserContainers", 1},  // the one-level search of its children (it finds a missing container itself)
    {"wGetUserAttributeString DN", 1},       // base read of the entry for its logon name, with the
                                             // attributes calls load, which the bind and the load reuse
    {"wGetUserAttributeStringArray DN", 1},  // the same
    {"wGetUserAttributeLargeInt DN", 1},     // the same
    {"wGetGroupAttributeString DN", 1},      // base read of the entry (name check); the bind and the
                                             // attribute's load reuse it
    {"wGetUserAttributeInt DN", 1},          // as wGetUserAttributeString DN
    {"wGetGroupAttributeInt DN", 1},         // as wGetGroupAttributeString DN
    {"wGetGroupAttributeStringArray DN", 1}, // the same
    // The writes: the read of the entry that resolves the name (or binds the object) and
    // that the write's bind reuses, then the modify.
    {"wSetUserAttributeString DN", 2},
    {"wSetUserAttributeInt DN", 2},
    {"wSetUserAttributeLargeInt DN", 2},
    {"wSetUserAttributeStringArray DN", 2},
    {"wSetGroupAttributeString DN", 2},
    {"wSetGroupAttributeInt DN", 2},
    {"wSetGroupAttributeStringArray DN", 2},
    {"wSetNodeAttributeString", 2},
    {"wSetNodeAttributeStringArray", 2},
    {"wAddUser", 2},                         // base read of the container (bind); the add
    {"wDeleteUser DN", 2},                   // base read of the entry (resolution); the delete
    {"wResetPassword DN", 2},                // base read of the entry (resolution); the modify of unicodePwd
                                             // (which retires only the connections of the account it changes)
    {"wUnlockAccount DN", 2},                // base read of the entry (resolution); the modify of lockoutTime
    {"wChangePassword", 0},                  // none: the network password service changes it over Kerberos
    {"wIsGroupNode", 1},                     // base read of the entry's classes
    {"wIsUserNode", 1},                      // base read of the entry's classes
    {"wGetNodeAttributeString", 1},          // base read of the entry (bind), which holds the attribute
    {"wGetNodeAttributeStringArray", 1},     // as wGetNodeAttributeString
    {"wGetDeletedNodeAttributeString", 1},   // base read of the tombstone's attribute, deleted objects shown
    {"wGetNodeGuid", 1},                     // base read of the entry (bind), which holds objectGUID
    {"wGetParentNode", 1},                   // base read of the entry's classes; the parent is cut from its name
    {"wCheckNodeAccess", 3},         // base read of the node (its descriptor and SID among it; the class's
                                     // GUID is kept with the connection); search by principal name, resolving
                                     // the bind account; the logon's read of the account's SID and groups, over
                                     // the pooled connection its credentials bound (which keeps who it is bound as)
    {"wSearchNodes", 1},             // the paged subtree search (it finds a missing base itself)
    {"wSearchDeletedNodes", 1},      // the paged search of Deleted Objects with tombstones shown
    {"wFindNodeValues", 1},          // the subtree search
    {"wGetNodeAttributes", 1},       // the subtree search
    {"wGetNetbiosDomain", 1},        // crossRef search (the partitions container's classes are kept)
    {"wIsMemberOf", 2},              // base read of the group with its primaryGroupToken; base read of the
                                     // member (primaryGroupID, SID); the group's member list holds it
    {"wGetUserPrimaryGroup", 2},     // the bare-name resolution's search for the whole entry, which answers the
                                     // translation, the binds and the reads of primaryGroupID and SID; search for
                                     // the group
    {"wGetUserGroups", 2},           // as wGetUserPrimaryGroup: memberOf is in the whole entry too
    {"wGetMachineGroups", 2},        // base read of the machine (bind), which answers memberOf,
                                     // primaryGroupID and SID; search for the group by SID
};

// Logons (under wCheckNodeAccess) go to the machine's default directory: the test directory, for
// the test's length; the default that was set before is put back.
class DefaultDirectory {
 public:
  explicit DefaultDirectory(const std::u16string& server) {
    ldap_get_option(nullptr, LDAP_OPT_URI, &saved_);
    std::string uri = "ldaps://" + winapi::adsi::toUtf8(server);
    ldap_set_option(nullptr, LDAP_OPT_URI, uri.c_str());
  }
  ~DefaultDirectory() {
    ldap_set_option(nullptr, LDAP_OPT_URI, saved_);
    ldap_memfree(saved_);
  }
  DefaultDirectory(const DefaultDirectory&) = delete;
  DefaultDirectory& operator=(const DefaultDirectory&) = delete;

 private:
  char* saved_ = nullptr;
};

TEST(OperationCounts, EachNativeSendsExactlyItsRequestsWhenWarm) {
  bench::LibrarySettings settings;
  ASSERT_FALSE(settings.server.empty()) << "the test directory's environment is not set";
  DefaultDirectory defaultDirectory(settings.server);
  ASSERT_TRUE(bench::objects::seedWritables()) << "the objects the writing cases change";
  // Every case warms its own connections: none left by other tests, bound with other credentials.
  winapi::adsi::testing::clearPool();
  std::set<std::string> measured;
  for (const bench::LibraryCase& libraryCase : bench::libraryCases()) {
    if (libraryCase.onLargeSets) continue;  // the benchmark's own sets; their natives are counted by other rows
    SCOPED_TRACE(libraryCase.name);
    auto expected = expectedRequests.find(libraryCase.name);
    ASSERT_NE(expected, expectedRequests.end()) << "no expected request count for this case";
    size_t sent = 0;
    ASSERT_EQ(bench::runCounted(libraryCase, settings, &sent), S_OK) << "first run";
    ASSERT_EQ(bench::runCounted(libraryCase, settings, &sent), S_OK) << "warm run";
    EXPECT_EQ(sent, expected->second);
    measured.insert(libraryCase.name);
  }
  EXPECT_EQ(measured.size(), expectedRequests.size()) << "an expected count without a case";
}

}  // namespace
