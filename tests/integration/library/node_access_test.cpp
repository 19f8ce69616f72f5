// Logons against the directory and the node access check, against the test directory. The
// check's verdicts are compared with what the directory itself lets each account do.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <set>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "adsi/connection.h"
#include "adsi/pool.h"
#include "adsi/controls.h"
#include "adsi/path.h"
#include "adsi/test_hooks.h"
#include "adsi/text.h"
#include "authz/sid.h"
#include "authz/token.h"
#include "directory/adsi_context.h"

namespace {

namespace adsi = winapi::adsi;

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}
std::u16string wenv(const char* name) { return adsi::toUtf16(env(name)); }

constexpr DWORD createChild = 0x1, readProperty = 0x10, writeProperty = 0x20;
constexpr DWORD maximumAllowed = 0x02000000, genericRead = 0x80000000, genericAll = 0x10000000;
constexpr DWORD accessDenied = 5;
// schemaIDGUIDs, the same in every forest.
const char* const organizationalUnitClass = "bf967aa5-0de6-11d0-a285-00aa003049e2";
const char* const userClass = "bf967aba-0de6-11d0-a285-00aa003049e2";

struct Account {
  std::string name;
  std::string password;
};

// What the directory lets an account do, tried for real over a connection of its own.
class DirectoryEnforcement {
 public:
  explicit DirectoryEnforcement(const Account& account) {
    adsi::Credentials credentials;
    credentials.mode = adsi::BindMode::Simple;
    credentials.user = account.name;
    credentials.password = adsi::Secret(account.password);
    adsi::Endpoint endpoint{env("ORVISTAL_TEST_SERVER"), 636};
    EXPECT_EQ(adsi::openFreshConnection(endpoint, credentials, &connection_), S_OK);
  }

  // Writes a description, then puts the old value back (or removes it).
  bool canWriteDescription(const std::string& dn) {
    std::string marker = "access check " + std::to_string(getpid());
    if (!replaceDescription(dn, marker)) return false;
    EXPECT_TRUE(restore(dn));
    return true;
  }

  // Creates an organizational unit below the object, then removes it.
  bool canCreateChild(const std::string& dn, Account* admin) {
    static std::atomic<int> counter{0};
    std::string child = "OU=probe-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "," + dn;
    char objectClass[] = "objectClass";
    char unit[] = "organizationalUnit";
    char* values[] = {unit, nullptr};
    LDAPMod mod{LDAP_MOD_ADD, objectClass, {values}};
    LDAPMod* mods[] = {&mod, nullptr};
    if (!connection_->add(child, mods, nullptr).ok()) return false;
    (void)admin;
    EXPECT_TRUE(connection_->remove(child, nullptr).ok() || adminRemove(child));
    return true;
  }

  std::shared_ptr<adsi::Connection> connection() const { return connection_; }
  std::function<bool(const std::string&)> adminRemove;

 private:
  bool replaceDescription(const std::string& dn, const std::string& text) {
    adsi::LdapMessage result;
    if (!connection_->search(dn, LDAP_SCOPE_BASE, "(objectClass=*)", {"description"}, nullptr, 0, 0, &result).ok())
      return false;
    LDAPMessage* entry = ldap_first_entry(connection_->handle(), result.get());
    previous_ = entry != nullptr ? adsi::entryValues(connection_->handle(), entry, "description") : previous_;
    char name[] = "description";
    std::string value = text;
    char* values[] = {&value[0], nullptr};
    LDAPMod mod{LDAP_MOD_REPLACE, name, {values}};
    LDAPMod* mods[] = {&mod, nullptr};
    return connection_->modify(dn, mods, nullptr).ok();
  }
  bool restore(const std::string& dn) {
    char name[] = "description";
    std::vector<char*> values;
    for (std::string& v : previous_) values.push_back(&v[0]);
    values.push_back(nullptr);
    LDAPMod mod{LDAP_MOD_REPLACE, name, {previous_.empty() ? nullptr : values.data()}};
    LDAPMod* mods[] = {&mod, nullptr};
    return connection_->modify(dn, mods, nullptr).ok();
  }

  std::shared_ptr<adsi::Connection> connection_;
  std::vector<std::string> previous_;
};

class NodeAccess : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_FALSE(env("ORVISTAL_TEST_SERVER").empty()) << "the test directory's environment is not set";
    // Logons go to the machine's default directory.
    std::string uri = "ldaps://" + env("ORVISTAL_TEST_SERVER");
    ASSERT_EQ(ldap_set_option(nullptr, LDAP_OPT_URI, uri.c_str()), LDAP_OPT_SUCCESS);
    adsi::Credentials credentials;
    credentials.mode = adsi::BindMode::Simple;
    credentials.user = env("ORVISTAL_TEST_ADMIN_USER");
    credentials.password = adsi::Secret(env("ORVISTAL_TEST_ADMIN_PASSWORD"));
    ASSERT_EQ(adsi::openFreshConnection({env("ORVISTAL_TEST_SERVER"), 636}, credentials, &admin_), S_OK);
    base_ = env("ORVISTAL_TEST_BASE_DN");
    orvistal_ = "OU=Orvistal," + base_;
    people_ = "OU=People," + orvistal_;
    alice_ = "CN=Alice Liddell," + people_;
    std::string adminSid = sidText("CN=Administrator,CN=Users," + base_);
    aliceSid_ = sidText(alice_);
    std::string bindSid = sidText(env("ORVISTAL_TEST_BIND_DN"));
    std::string staffSid = sidText("CN=g-staff,OU=Groups," + orvistal_);
    unit_ = "OU=access-" + std::to_string(getpid()) + "," + orvistal_;
    // orvbind may read and list; alice, through g-devs inside g-staff, may write; alice may
    // create units (an object entry for the unit class); the write right of Authenticated
    // Users is taken back by an explicit deny for orvbind.
    std::string sddl = "O:" + adminSid + "G:" + adminSid + "D:(D;;WP;;;" + bindSid + ")(A;;RPLCLORC;;;" + bindSid +
                       ")(A;;WPRPLCRC;;;" + staffSid + ")(OA;;CC;" + organizationalUnitClass + ";;" + aliceSid_ +
                       ")(OA;;DC;" + userClass + ";;" + aliceSid_ + ")(A;;RP;;;AU)";
    ASSERT_TRUE(addWithDescriptor(unit_, "organizationalUnit", sddl, {}));
    selfGroup_ = "CN=self-" + std::to_string(getpid()) + "," + unit_;
    std::string groupSddl = "O:" + adminSid + "G:" + adminSid + "D:(A;;WP;;;PS)(A;;RPLCRC;;;AU)";
    ASSERT_TRUE(addWithDescriptor(selfGroup_, "group", groupSddl,
                                  {{"sAMAccountName", "self-" + std::to_string(getpid())}, {"member", alice_}}));
  }

  static void TearDownTestSuite() {
    if (admin_) {
      LDAPControl* controls[] = {adsi::treeDeleteControl(), nullptr};
      EXPECT_TRUE(admin_->remove(unit_, controls).ok());
    }
    admin_.reset();
    ldap_set_option(nullptr, LDAP_OPT_URI, nullptr);
  }

  static std::string sidText(const std::string& dn) {
    adsi::LdapMessage result;
    EXPECT_TRUE(admin_->search(dn, LDAP_SCOPE_BASE, "(objectClass=*)", {"objectSid"}, nullptr, 0, 0, &result).ok());
    LDAPMessage* entry = ldap_first_entry(admin_->handle(), result.get());
    std::string sid = entry != nullptr ? adsi::firstEntryValue(admin_->handle(), entry, "objectSid") : "";
    EXPECT_FALSE(sid.empty()) << dn;
    return sid.empty() ? "" : authz::sidToText(reinterpret_cast<const BYTE*>(sid.data()));
  }

  static bool addWithDescriptor(const std::string& dn, const std::string& objectClass, const std::string& sddl,
                                std::vector<std::pair<std::string, std::string>> more) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::u16string text = adsi::toUtf16(sddl);
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1, &descriptor,
                                                                     nullptr));
    if (descriptor == nullptr) return false;
    std::string bytes(static_cast<const char*>(descriptor), GetSecurityDescriptorLength(descriptor));
    LocalFree(descriptor);
    more.emplace_back("objectClass", objectClass);
    more.emplace_back("nTSecurityDescriptor", bytes);
    std::vector<LDAPMod> mods(more.size());
    std::vector<berval> values(more.size());
    std::vector<std::array<berval*, 2>> valueLists(more.size());
    std::vector<LDAPMod*> pointers;
    for (size_t i = 0; i < more.size(); ++i) {
      values[i] = berval{static_cast<ber_len_t>(more[i].second.size()), &more[i].second[0]};
      valueLists[i] = {&values[i], nullptr};
      mods[i].mod_op = LDAP_MOD_ADD | LDAP_MOD_BVALUES;
      mods[i].mod_type = &more[i].first[0];
      mods[i].mod_bvalues = valueLists[i].data();
      pointers.push_back(&mods[i]);
    }
    pointers.push_back(nullptr);
    adsi::LdapOutcome outcome = admin_->add(dn, pointers.data(), nullptr);
    EXPECT_TRUE(outcome.ok()) << dn << ": " << outcome.code << " " << outcome.diagnostic;
    return outcome.ok();
  }

  struct Verdict {
    HRESULT status;
    DWORD granted;
    DWORD accessStatus;
  };
  static Verdict check(const Account& account, const std::string& dn, DWORD desired) {
    AdsiContext context(adsi::toUtf16(account.name), adsi::toUtf16(account.password),
                        wenv("ORVISTAL_TEST_SERVER"), false);
    Verdict verdict{E_UNEXPECTED, 0xDEAD, 0xDEAD};
    verdict.status = context.checkNodeAccess(adsi::toUtf16(dn), desired, &verdict.granted, &verdict.accessStatus);
    return verdict;
  }

  static Account bind() { return {env("ORVISTAL_TEST_BIND_USER"), env("ORVISTAL_TEST_BIND_PASSWORD")}; }
  static Account alice() { return {"alice@" + env("ORVISTAL_TEST_DOMAIN"), "Alice.Pw.123"}; }
  static Account admin() { return {env("ORVISTAL_TEST_ADMIN_USER"), env("ORVISTAL_TEST_ADMIN_PASSWORD")}; }

  static std::shared_ptr<adsi::Connection> admin_;
  static std::string base_, orvistal_, people_, alice_, aliceSid_, unit_, selfGroup_;
};

std::shared_ptr<adsi::Connection> NodeAccess::admin_;
std::string NodeAccess::base_, NodeAccess::orvistal_, NodeAccess::people_, NodeAccess::alice_, NodeAccess::aliceSid_,
    NodeAccess::unit_, NodeAccess::selfGroup_;

TEST_F(NodeAccess, LogonGivesTheAccountsTokenAndNeverOneForAWrongPassword) {
  HANDLE token = nullptr;
  ASSERT_TRUE(LogonUserW(u"alice@orvistal.test", nullptr, u"Alice.Pw.123", LOGON32_LOGON_INTERACTIVE,
                         LOGON32_PROVIDER_DEFAULT, &token))
      << GetLastError();
  authz::TokenReference reference;
  ASSERT_EQ(authz::referenceToken(token, reference), static_cast<DWORD>(ERROR_SUCCESS));
  const authz::TokenContents& contents = reference.token->contents();
  EXPECT_EQ(authz::sidToText(contents.user.data()), aliceSid_);
  std::vector<std::string> groups;
  for (const authz::TokenGroup& group : contents.groups) groups.push_back(authz::sidToText(group.sid.data()));
  auto holds = [&](const std::string& sid) { return std::find(groups.begin(), groups.end(), sid) != groups.end(); };
  EXPECT_TRUE(holds(sidText("CN=g-staff,OU=Groups," + orvistal_))) << "nested group";
  EXPECT_TRUE(holds(sidText("CN=Domain Users,CN=Users," + base_))) << "primary group";
  for (const char* wellKnown : {"S-1-1-0", "S-1-2-0", "S-1-5-4", "S-1-5-11", "S-1-5-15"})
    EXPECT_TRUE(holds(wellKnown)) << wellKnown;
  EXPECT_TRUE(contents.privileges.empty());
  CloseHandle(token);

  HANDLE byDomain = nullptr;
  ASSERT_TRUE(LogonUserW(u"bob", wenv("ORVISTAL_TEST_NETBIOS").c_str(), u"Bob.Pw.12345", LOGON32_LOGON_INTERACTIVE,
                         LOGON32_PROVIDER_DEFAULT, &byDomain))
      << "an account without a principal name logs on with its domain";
  CloseHandle(byDomain);

  struct Refusal {
    const char16_t* user;
    const char16_t* password;
    DWORD error;
  } refusals[] = {{u"alice@orvistal.test", u"Alice.Pw.124", ERROR_LOGON_FAILURE},
                  {u"alice@orvistal.test", u"", ERROR_LOGON_FAILURE},
                  {u"nobody@orvistal.test", u"Some.Pw.123", ERROR_LOGON_FAILURE},
                  {u"dora@orvistal.test", u"Dora.Pw.123", ERROR_ACCOUNT_DISABLED},
                  {u"expired@orvistal.test", u"Expired.Pw.123", ERROR_ACCOUNT_EXPIRED},
                  {u"alice", u"Alice.Pw.123", ERROR_LOGON_FAILURE}};
  for (const Refusal& refusal : refusals) {
    HANDLE none = reinterpret_cast<HANDLE>(0x1);
    SetLastError(0);
    EXPECT_FALSE(LogonUserW(refusal.user, u"", refusal.password, LOGON32_LOGON_INTERACTIVE, LOGON32_PROVIDER_DEFAULT,
                            &none));
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(GetLastError(), refusal.error) << adsi::toUtf8(refusal.user);
  }
}

// A warm logon reads its token over the connection the account's credentials already bound (or a
// kept password-check connection), never a new one; a wrong password still fails beside it.
TEST_F(NodeAccess, WarmLogonsOpenNoConnectionAndAWrongPasswordStillFails) {
  ASSERT_EQ(check(bind(), unit_, readProperty).status, S_OK) << "pools the bind account's connection";
  auto logOn = [](const std::u16string& user, const std::u16string& domain, const std::u16string& password,
                  std::set<std::string>* sids) {
    HANDLE token = nullptr;
    SetLastError(0);
    if (!LogonUserW(user.c_str(), domain.c_str(), password.c_str(), LOGON32_LOGON_INTERACTIVE,
                    LOGON32_PROVIDER_DEFAULT, &token))
      return GetLastError();
    authz::TokenReference reference;
    EXPECT_EQ(authz::referenceToken(token, reference), static_cast<DWORD>(ERROR_SUCCESS));
    sids->insert("user " + authz::sidToText(reference.token->contents().user.data()));
    for (const authz::TokenGroup& group : reference.token->contents().groups)
      if ((group.attributes & SE_GROUP_LOGON_ID) == 0) sids->insert(authz::sidToText(group.sid.data()));
    CloseHandle(token);
    return static_cast<DWORD>(ERROR_SUCCESS);
  };
  std::u16string principal = wenv("ORVISTAL_TEST_BIND_USER"), password = wenv("ORVISTAL_TEST_BIND_PASSWORD");
  std::u16string account = principal.substr(0, principal.find(u'@')), netbios = wenv("ORVISTAL_TEST_NETBIOS");
  std::set<std::string> pooled, leased, ignored;
  ASSERT_EQ(logOn(account, netbios, password, &ignored), static_cast<DWORD>(ERROR_SUCCESS)) << "keeps a lease";
  size_t opened = adsi::testing::connectionsOpened();
  EXPECT_EQ(logOn(principal, u"", password, &pooled), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(logOn(account, netbios, password, &leased), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(adsi::testing::connectionsOpened(), opened);
  EXPECT_TRUE(pooled.count("user " + sidText(env("ORVISTAL_TEST_BIND_DN"))));
  EXPECT_EQ(pooled, leased) << "the same token either way";
  EXPECT_EQ(logOn(principal, u"", u"Not.The.Pw1", &ignored), static_cast<DWORD>(ERROR_LOGON_FAILURE));
}

TEST_F(NodeAccess, ReadGrantedWriteDeniedByAnExplicitDeny) {
  Verdict read = check(bind(), unit_, readProperty);
  EXPECT_EQ(read.status, S_OK);
  EXPECT_EQ(read.accessStatus, 0u);
  EXPECT_EQ(read.granted, readProperty);
  Verdict write = check(bind(), unit_, writeProperty);
  EXPECT_EQ(write.status, S_OK);
  EXPECT_EQ(write.accessStatus, accessDenied);
  EXPECT_EQ(write.granted, 0u);
  Verdict seeded = check(bind(), "CN=Dennis Denied,OU=Delegated," + orvistal_, writeProperty);
  EXPECT_EQ(seeded.status, S_OK);
  EXPECT_EQ(seeded.accessStatus, accessDenied);
}

TEST_F(NodeAccess, NestedGroupObjectEntryAndPrincipalSelf) {
  Verdict nested = check(alice(), unit_, writeProperty);
  EXPECT_EQ(nested.status, S_OK);
  EXPECT_EQ(nested.accessStatus, 0u) << "through g-devs inside g-staff";
  Verdict objectEntry = check(alice(), unit_, createChild);
  EXPECT_EQ(objectEntry.accessStatus, 0u) << "an object entry for the unit's own class";
  Verdict otherClass = check(alice(), unit_, 0x2);
  EXPECT_EQ(otherClass.accessStatus, accessDenied) << "an object entry for another class does not apply";
  Verdict self = check(alice(), selfGroup_, writeProperty);
  EXPECT_EQ(self.status, S_OK);
  EXPECT_EQ(self.accessStatus, 0u) << "alice is in the group: its SID is in her token";
  Verdict notSelf = check(bind(), selfGroup_, writeProperty);
  EXPECT_EQ(notSelf.accessStatus, accessDenied);
}

TEST_F(NodeAccess, MaximumAllowedAndGenericRightsAfterMapping) {
  Verdict maximum = check(bind(), unit_, maximumAllowed);
  EXPECT_EQ(maximum.status, S_OK);
  EXPECT_EQ(maximum.accessStatus, 0u);
  EXPECT_EQ(maximum.granted & (readProperty | 0x4 | 0x80 | 0x20000), readProperty | 0x4 | 0x80 | 0x20000);
  EXPECT_EQ(maximum.granted & writeProperty, 0u);
  Verdict read = check(bind(), unit_, genericRead);
  EXPECT_EQ(read.status, S_OK);
  EXPECT_EQ(read.accessStatus, 0u);
  EXPECT_EQ(read.granted, 0x00020094u);
  Verdict all = check(admin(), unit_, genericAll);
  EXPECT_EQ(all.status, S_OK);
  EXPECT_EQ(all.accessStatus, 0u);
  EXPECT_EQ(all.granted, 0x000F01FFu);
  Verdict notAll = check(bind(), unit_, genericAll);
  EXPECT_EQ(notAll.status, S_OK);
  EXPECT_EQ(notAll.accessStatus, accessDenied);
}

TEST_F(NodeAccess, FailuresAreStatusesWithNothingGranted) {
  Verdict wrongPassword = check({env("ORVISTAL_TEST_BIND_USER"), "Not.The.Pw1"}, unit_, readProperty);
  EXPECT_EQ(wrongPassword.status, static_cast<HRESULT>(0x8007052E));
  EXPECT_EQ(wrongPassword.granted, 0u) << "a failed check grants nothing";
  EXPECT_EQ(wrongPassword.accessStatus, accessDenied) << "and never reads as a grant (0)";
  Verdict missing = check(bind(), "OU=Nowhere," + orvistal_, readProperty);
  EXPECT_EQ(missing.status, HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT));
}

// The check's own refusals, each a failure status with nothing granted. The directory will not
// hold a malformed descriptor or SID or a class GUID of another length: the stand-in's seam
// puts them in place of what it read.
TEST_F(NodeAccess, UnusableSecurityDataAndASilentLogonFailureAreFailures) {
  auto expectRefused = [](const Verdict& verdict, HRESULT status, const char* what) {
    EXPECT_EQ(verdict.status, status) << what;
    EXPECT_EQ(verdict.granted, 0u) << what;
    EXPECT_EQ(verdict.accessStatus, accessDenied) << what;
  };
  std::string adminSid = sidText("CN=Administrator,CN=Users," + base_);
  std::string hidden = "OU=hidden-" + std::to_string(getpid()) + "," + unit_;
  ASSERT_TRUE(addWithDescriptor(hidden, "organizationalUnit",
                                "O:" + adminSid + "G:" + adminSid + "D:P(A;;RPLCLO;;;" +
                                    sidText(env("ORVISTAL_TEST_BIND_DN")) + ")",
                                {}));
  expectRefused(check(bind(), hidden, readProperty), E_ADS_PROPERTY_NOT_FOUND, "a descriptor it may not read");

  struct Seams {
    Seams() { adsi::testing::clearPool(); }  // the class GUID kept with a connection is read anew
    ~Seams() {
      adsi::testing::replaceValuesForTesting("", "", {});
      adsi::testing::setLogonFailsWithoutErrorForTesting(false);
      adsi::testing::clearPool();
    }
  } seams;
  adsi::testing::replaceValuesForTesting("CN=Group,CN=Schema,CN=Configuration," + base_, "schemaIDGUID",
                                         {std::string(15, '\x11')});
  expectRefused(check(bind(), selfGroup_, readProperty), VALUE_TYPE_MISMATCH, "a 15-byte class GUID");
  adsi::testing::clearPool();
  // Self-relative with a DACL at offset 20 of a 20-byte descriptor.
  const char descriptor[] = {1, 0, 0x04, char(0x80), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 20, 0, 0, 0};
  adsi::testing::replaceValuesForTesting(selfGroup_, "nTSecurityDescriptor",
                                         {std::string(descriptor, sizeof descriptor)});
  expectRefused(check(bind(), selfGroup_, readProperty), HRESULT_FROM_WIN32(ERROR_INVALID_SECURITY_DESCR),
                "a DACL past the descriptor's end");
  // One sub-authority announced, none present.
  adsi::testing::replaceValuesForTesting(selfGroup_, "objectSid", {std::string("\x01\x01\0\0\0\0\0\x05\0", 9)});
  expectRefused(check(bind(), selfGroup_, readProperty), HRESULT_FROM_WIN32(ERROR_INVALID_SID), "a cut SID");
  adsi::testing::replaceValuesForTesting("", "", {});
  adsi::testing::setLogonFailsWithoutErrorForTesting(true);
  expectRefused(check(bind(), unit_, readProperty), E_FAIL, "a logon that failed without an error");
}

TEST_F(NodeAccess, KerberosIdentityWithoutABindAccount) {
  std::string realm = env("ORVISTAL_TEST_REALM");
  FILE* kinit = popen(("kinit orvbind@" + realm + " >/dev/null 2>&1").c_str(), "w");
  ASSERT_NE(kinit, nullptr);
  fputs((env("ORVISTAL_TEST_BIND_PASSWORD") + "\n").c_str(), kinit);
  ASSERT_EQ(pclose(kinit), 0);
  // orvbind's rights, taken from the identity of its Kerberos credentials.
  Verdict read = check({"", ""}, unit_, readProperty);
  EXPECT_EQ(read.status, S_OK);
  EXPECT_EQ(read.accessStatus, 0u);
  EXPECT_EQ(read.granted, readProperty);
  size_t opened = adsi::testing::connectionsOpened();
  Verdict write = check({"", ""}, unit_, writeProperty);
  EXPECT_EQ(write.status, S_OK);
  EXPECT_EQ(write.accessStatus, accessDenied);
  EXPECT_EQ(adsi::testing::connectionsOpened(), opened) << "the process's identity comes from a pooled connection";
}

TEST_F(NodeAccess, ChecksFromEightThreadsAtOnceAgree) {
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 3; ++i) {
        Verdict verdict = check(t % 2 == 0 ? bind() : alice(), unit_, writeProperty);
        DWORD expected = t % 2 == 0 ? accessDenied : 0;
        if (verdict.status != S_OK || verdict.accessStatus != expected) ++wrong;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(NodeAccess, WithoutKerberosCredentialsTheProcessHasNoToken) {
  std::string saved = env("KRB5CCNAME");
  setenv("KRB5CCNAME", ("FILE:/tmp/orvistal-no-such-cache-" + std::to_string(getpid())).c_str(), 1);
  HANDLE token = nullptr;
  SetLastError(0);
  BOOL opened = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &token);
  DWORD error = GetLastError();
  setenv("KRB5CCNAME", saved.c_str(), 1);
  EXPECT_FALSE(opened);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_NO_TOKEN));
  if (opened) CloseHandle(token);
}

// The strongest check: for each account and object, what the check grants is what the
// directory lets the account do.
TEST_F(NodeAccess, VerdictsAgreeWithTheDirectorysOwnEnforcement) {
  struct Pair {
    Account account;
    std::string dn;
  };
  std::vector<Pair> pairs = {
      {bind(), unit_},
      {alice(), unit_},
      {bind(), "CN=Wanda Writable,OU=Delegated," + orvistal_},
      {bind(), "CN=Dennis Denied,OU=Delegated," + orvistal_},
      {bind(), alice_},
      {bind(), "OU=Delegated," + orvistal_},
      {alice(), selfGroup_},
      {bind(), selfGroup_},
  };
  int granted = 0, denied = 0;
  for (const Pair& pair : pairs) {
    SCOPED_TRACE(pair.account.name + " on " + pair.dn);
    DirectoryEnforcement directory(pair.account);
    directory.adminRemove = [](const std::string& dn) { return admin_->remove(dn, nullptr).ok(); };
    Verdict write = check(pair.account, pair.dn, writeProperty);
    ASSERT_EQ(write.status, S_OK);
    EXPECT_EQ(write.accessStatus == 0, directory.canWriteDescription(pair.dn));
    Verdict create = check(pair.account, pair.dn, createChild);
    ASSERT_EQ(create.status, S_OK);
    EXPECT_EQ(create.accessStatus == 0, directory.canCreateChild(pair.dn, nullptr));
    for (const Verdict& verdict : {write, create}) (verdict.accessStatus == 0 ? granted : denied)++;
  }
  EXPECT_GE(granted, 3) << "the pairs must include rights that are granted";
  EXPECT_GE(denied, 3) << "and rights that are refused";
}

}  // namespace
