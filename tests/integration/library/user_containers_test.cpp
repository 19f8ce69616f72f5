// User container discovery against the test directory: which objects may hold user accounts,
// which children of a node do, and the process-wide class caches behind both.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "adsi/connection.h"
#include "adsi/object.h"
#include "adsi/pool.h"
#include "adsi/test_hooks.h"
#include "adsi/text.h"
#include "directory/adsi_context.h"
#include "nodes/user_containers.h"

namespace {

std::u16string env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::u16string() : winapi::adsi::toUtf16(value);
}

class UserContainers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(env("ORVISTAL_TEST_SERVER").empty()) << "the test directory's environment is not set";
    clearUserContainerCachesForTesting();
  }

  AdsiContext contextOn(const std::u16string& server) const {
    return AdsiContext(env("ORVISTAL_TEST_BIND_USER"), env("ORVISTAL_TEST_BIND_PASSWORD"), server, false);
  }
  std::u16string schemaPath(const std::u16string& server, const std::u16string& className) const {
    return u"LDAP://" + server + u"/schema/" + className;
  }

  std::u16string server = env("ORVISTAL_TEST_SERVER");
  std::u16string base = env("ORVISTAL_TEST_BASE_DN");
  std::u16string orvistal = u"OU=Orvistal," + base;
  std::u16string people = u"OU=People," + orvistal;
  AdsiContext context = contextOn(server);
};

TEST_F(UserContainers, ContainersOfEveryKindHoldUsersAndAccountsDoNot) {
  EXPECT_EQ(context.isUserContainer(people), S_OK) << "organizational unit";
  EXPECT_EQ(context.isUserContainer(u"CN=Users," + base), S_OK) << "container";
  EXPECT_EQ(context.isUserContainer(base), S_OK) << "domain head";
  EXPECT_EQ(context.isUserContainer(u"CN=Alice Liddell," + people), E_FAIL) << "user";
  EXPECT_EQ(context.isUserContainer(u"CN=g-devs,OU=Groups," + orvistal), E_FAIL) << "group";
  bool holdsUsers = false;
  ASSERT_TRUE(userContainerCacheHoldsForTesting(schemaPath(server, u"organizationalUnit"), &holdsUsers));
  EXPECT_TRUE(holdsUsers);
  ASSERT_TRUE(userContainerCacheHoldsForTesting(schemaPath(server, u"group"), &holdsUsers));
  EXPECT_FALSE(holdsUsers);
}

TEST_F(UserContainers, AnswersStayTheSameOnRepeatedCallsAndThroughAnotherServerSpelling) {
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(context.isUserContainer(u"OU=Staff," + people), S_OK);
    EXPECT_EQ(context.isUserContainer(u"CN=Bob Builder," + people), E_FAIL);
  }
  // The caches are keyed by the whole schema path, server part included.
  std::u16string otherSpelling = env("ORVISTAL_TEST_DOMAIN");
  AdsiContext other = contextOn(otherSpelling);
  EXPECT_EQ(other.isUserContainer(u"OU=Staff," + people), S_OK);
  EXPECT_EQ(other.isUserContainer(u"CN=Bob Builder," + people), E_FAIL);
  bool holdsUsers = false;
  EXPECT_TRUE(userContainerCacheHoldsForTesting(schemaPath(otherSpelling, u"organizationalUnit"), &holdsUsers));
  EXPECT_TRUE(userContainerCacheHoldsForTesting(schemaPath(server, u"organizationalUnit"), &holdsUsers));
}

TEST_F(UserContainers, MissingObjectGivesTheBindFailureAndCachesNothing) {
  EXPECT_EQ(context.isUserContainer(u"OU=No Such Unit," + orvistal), HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT));
  bool holdsUsers = false;
  EXPECT_FALSE(userContainerCacheHoldsForTesting(schemaPath(server, u"organizationalUnit"), &holdsUsers));
  StringList children;
  EXPECT_EQ(context.getChildUserContainers(u"OU=No Such Unit," + orvistal, &children),
            HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT));
  EXPECT_EQ(children.count(), 0u);
  // The list binds the container without reading it: a name that is no name, or one outside the
  // directory, fails it as it fails the bind that reads the object.
  for (const WideString& name : {WideString(u"OU=,=Broken"), WideString(u"OU=Elsewhere,DC=example,DC=com")}) {
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    HRESULT bound = context.isUserContainer(name);
    EXPECT_TRUE(FAILED(bound)) << std::hex << bound;
    EXPECT_EQ(context.getChildUserContainers(name, &children), bound);
    EXPECT_EQ(children.count(), 0u);
  }
}

TEST_F(UserContainers, EightThreadsAtOnceGetTheSameAnswers) {
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      AdsiContext own = contextOn(server);
      for (int i = 0; i < 5; ++i) {
        if (own.isUserContainer(t % 2 == 0 ? people : u"OU=Machines," + orvistal) != S_OK) ++wrong;
        if (own.isUserContainer(u"CN=g-staff,OU=Groups," + orvistal) != E_FAIL) ++wrong;
        StringList children;
        if (own.getChildUserContainers(orvistal, &children) != S_OK || children.count() < 6) ++wrong;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(UserContainers, ChildrenThatHoldUsersAreListedInDirectoryOrder) {
  StringList children;
  ASSERT_EQ(context.getChildUserContainers(people, &children), S_OK);
  // People holds accounts, one contact and one organizational unit (Staff): only Staff qualifies.
  ASSERT_EQ(children.count(), 1u);
  EXPECT_EQ(children[0], u"OU=Staff," + people);

  StringList units;
  ASSERT_EQ(context.getChildUserContainers(orvistal, &units), S_OK);
  std::vector<std::u16string> expected = {u"OU=People," + orvistal,  u"OU=Groups," + orvistal,
                                          u"OU=Machines," + orvistal, u"OU=Bulk," + orvistal,
                                          u"OU=Service," + orvistal,  u"OU=Delegated," + orvistal};
  for (const std::u16string& unit : expected) {
    bool found = false;
    for (const std::u16string& child : units) found |= child == unit;
    EXPECT_TRUE(found) << winapi::adsi::toUtf8(unit);
  }
  // Every child of OU=Orvistal is a unit: the list is the directory's own one-level listing.
  winapi::adsi::Credentials credentials;
  credentials.mode = winapi::adsi::BindMode::Simple;
  credentials.user = winapi::adsi::toUtf8(env("ORVISTAL_TEST_BIND_USER"));
  credentials.password = winapi::adsi::Secret(winapi::adsi::toUtf8(env("ORVISTAL_TEST_BIND_PASSWORD")));
  std::shared_ptr<winapi::adsi::Connection> connection;
  ASSERT_EQ(winapi::adsi::openFreshConnection({winapi::adsi::toUtf8(server), 636}, credentials, &connection), S_OK);
  winapi::adsi::LdapMessage listing;
  ASSERT_TRUE(connection->search(winapi::adsi::toUtf8(orvistal), LDAP_SCOPE_ONELEVEL, "(objectClass=*)", {"1.1"},
                                 nullptr, 0, 0, &listing)
                  .ok());
  std::vector<std::u16string> directoryOrder;
  for (LDAPMessage* entry = ldap_first_entry(connection->handle(), listing.get()); entry != nullptr;
       entry = ldap_next_entry(connection->handle(), entry)) {
    winapi::adsi::LdapString dn(ldap_get_dn(connection->handle(), entry));
    directoryOrder.push_back(winapi::adsi::toUtf16(dn.get()));
  }
  ASSERT_EQ(directoryOrder.size(), units.count());
  for (size_t i = 0; i < units.count(); ++i) EXPECT_EQ(units[i], directoryOrder[i]);
}

TEST_F(UserContainers, NodeWithoutChildrenGivesAnEmptyList) {
  StringList children;
  EXPECT_EQ(context.getChildUserContainers(u"CN=Alice Liddell," + people, &children), S_OK);
  EXPECT_EQ(children.count(), 0u);
  EXPECT_EQ(context.getChildUserContainers(u"OU=Engineering,OU=Staff," + people, &children), S_OK);
  EXPECT_EQ(children.count(), 0u);
}

TEST_F(UserContainers, AChildPageThatCannotBeReadIsTheStatusNotAShortList) {
  const HRESULT timedOut = HRESULT_FROM_WIN32(ERROR_TIMEOUT);
  winapi::adsi::testing::failChildPagesWith(timedOut);
  StringList children;
  HRESULT status = context.getChildUserContainers(orvistal, &children);
  winapi::adsi::testing::failChildPagesWith(S_OK);
  EXPECT_EQ(status, timedOut);
  EXPECT_EQ(children.count(), 0u);
}

TEST_F(UserContainers, AChildWhoseClassCannotBeReadIsTheStatusAfterTheContainersFoundSoFar) {
  const HRESULT serverDown = HRESULT_FROM_WIN32(ERROR_DS_SERVER_DOWN);
  winapi::adsi::testing::failSchemaClassBindsWith("organizationalUnit", serverDown);
  StringList cutShort;
  HRESULT status = context.getChildUserContainers(orvistal, &cutShort);
  winapi::adsi::testing::failSchemaClassBindsWith("", S_OK);
  EXPECT_EQ(status, serverDown);
  bool holdsUsers = false;
  EXPECT_FALSE(userContainerCacheHoldsForTesting(schemaPath(server, u"organizationalUnit"), &holdsUsers));

  StringList whole;
  ASSERT_EQ(context.getChildUserContainers(orvistal, &whole), S_OK);
  ASSERT_LT(cutShort.count(), whole.count());
  for (size_t i = 0; i < cutShort.count(); ++i) EXPECT_EQ(cutShort[i], whole[i]);
}

}  // namespace
