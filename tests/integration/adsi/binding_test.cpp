// Binding through ADsOpenObject against the test directory: every path form, the interfaces
// each class offers, the failure codes, and connection reuse.
#include <ldap.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "adsi/bind_backoff.h"
#include "adsi/connection.h"
#include "adsi/directory_env.h"
#include "adsi/kerberos_logon.h"
#include "adsi/pool.h"

using namespace adsitest;
namespace adsi = winapi::adsi;

namespace {

constexpr HRESULT logonFailure = static_cast<HRESULT>(0x8007052E);
constexpr HRESULT noSuchObject = static_cast<HRESULT>(0x80072030);
constexpr HRESULT serverDown = static_cast<HRESULT>(0x8007203A);
constexpr HRESULT strongAuthRequired = static_cast<HRESULT>(0x80072028);

std::string sidText(const std::string& bytes) {
  std::string text = "S-" + std::to_string(static_cast<unsigned char>(bytes[0])) + "-";
  uint64_t authority = 0;
  for (int i = 2; i < 8; ++i) authority = (authority << 8) | static_cast<unsigned char>(bytes[i]);
  text += std::to_string(authority);
  for (size_t at = 8; at + 4 <= bytes.size(); at += 4) {
    uint32_t sub = 0;
    for (int k = 3; k >= 0; --k) sub = (sub << 8) | static_cast<unsigned char>(bytes[at + k]);
    text += "-" + std::to_string(sub);
  }
  return text;
}

std::string bytesOf(const VARIANT& value) {
  if (value.vt != (VT_ARRAY | VT_UI1)) return std::string();
  return std::string(static_cast<const char*>(value.parray->pvData), value.parray->rgsabound[0].cElements);
}

class Binding : public DirectoryTest {
 protected:
  std::string nameOf(IADs* object) {
    BSTR name = nullptr;
    EXPECT_EQ(object->get_Name(&name), S_OK);
    std::string text = bstrText(name);
    SysFreeString(name);
    return text;
  }
};

TEST_F(Binding, EveryPathFormReachesItsObject) {
  Ptr<IADs> alice;
  ASSERT_EQ(openAsBind(s.alice(), IID_IADs, alice.put()), S_OK);
  EXPECT_EQ(nameOf(alice.get()), "CN=Alice Liddell");

  // The same object through LDAPS, explicit StartTLS port and the global catalog.
  for (const char* port : {":636", ":389", ":3269", ":3268"}) {
    Ptr<IADs> viaPort;
    std::string path = "LDAP://" + s.server + port + "/" + s.alice();
    EXPECT_EQ(open(path, s.bindUser, s.bindPassword, ADS_SECURE_AUTHENTICATION, IID_IADs, viaPort.put()), S_OK) << path;
  }

  Ptr<IADs> rootDse;
  ASSERT_EQ(openAsBind("RootDSE", IID_IADs, rootDse.put()), S_OK);
  Var context;
  ASSERT_EQ(rootDse->Get(Bstr("defaultNamingContext").b, &context.v), S_OK);
  ASSERT_EQ(context.v.vt, VT_BSTR);
  EXPECT_EQ(bstrText(context.v.bstrVal), s.baseDn);

  // By GUID (get_GUID's own form) and by SID, each naming alice.
  BSTR guid = nullptr;
  ASSERT_EQ(alice->get_GUID(&guid), S_OK);
  std::string guidText = bstrText(guid);
  SysFreeString(guid);
  Ptr<IADs> byGuid;
  ASSERT_EQ(openAsBind("<GUID=" + guidText + ">", IID_IADs, byGuid.put()), S_OK);
  EXPECT_EQ(nameOf(byGuid.get()), "CN=Alice Liddell");

  Var sid;
  ASSERT_EQ(alice->Get(Bstr("objectSid").b, &sid.v), S_OK);
  Ptr<IADs> bySid;
  ASSERT_EQ(openAsBind("<SID=" + sidText(bytesOf(sid.v)) + ">", IID_IADs, bySid.put()), S_OK);
  EXPECT_EQ(nameOf(bySid.get()), "CN=Alice Liddell");

  // The well-known Users container of the domain.
  Ptr<IADs> users;
  ASSERT_EQ(openAsBind("<WKGUID=a9d1ca15768811d1aded00c04fd8d5cd," + s.baseDn + ">", IID_IADs, users.put()), S_OK);
  EXPECT_EQ(nameOf(users.get()), "CN=Users");

  // The server alone: its default naming context.
  Ptr<IADs> domainRoot;
  ASSERT_EQ(
      open("LDAP://" + s.server, s.bindUser, s.bindPassword, ADS_SECURE_AUTHENTICATION, IID_IADs, domainRoot.put()),
      S_OK);
  BSTR rootPath = nullptr;
  ASSERT_EQ(domainRoot->get_Parent(&rootPath), S_OK);
  SysFreeString(rootPath);
  EXPECT_EQ(nameOf(domainRoot.get()), s.baseDn.substr(0, s.baseDn.find(',')));

  // A name with a comma in its RDN.
  Ptr<IADs> jo;
  ASSERT_EQ(openAsBind("CN=Smith\\, Jo," + s.people(), IID_IADs, jo.put()), S_OK);
  EXPECT_EQ(nameOf(jo.get()), "CN=Smith\\, Jo");
}

TEST_F(Binding, SchemaClassPathsOfferIADsClass) {
  Ptr<IADsClass> user;
  ASSERT_EQ(openAsBind("schema/user", IID_IADsClass, user.put()), S_OK);
  Var mandatory;
  ASSERT_EQ(user->get_MandatoryProperties(&mandatory.v), S_OK);
  ASSERT_EQ(mandatory.v.vt, VT_ARRAY | VT_VARIANT);
  std::vector<std::string> names;
  auto* elements = static_cast<VARIANT*>(mandatory.v.parray->pvData);
  for (ULONG i = 0; i < mandatory.v.parray->rgsabound[0].cElements; ++i) names.push_back(bstrText(elements[i].bstrVal));
  for (const char* expected : {"sAMAccountName", "objectSid", "objectClass", "nTSecurityDescriptor"})
    EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;

  VARIANT_BOOL container = VARIANT_FALSE;
  Ptr<IADsClass> ou;
  ASSERT_EQ(openAsBind("schema/organizationalUnit", IID_IADsClass, ou.put()), S_OK);
  ASSERT_EQ(ou->get_Container(&container), S_OK);
  EXPECT_EQ(container, VARIANT_TRUE);
  Var containment;
  ASSERT_EQ(ou->get_Containment(&containment.v), S_OK);
  EXPECT_EQ(containment.v.vt, VT_ARRAY | VT_VARIANT);

  Ptr<IADsClass> missing;
  EXPECT_EQ(openAsBind("schema/noSuchClassAnywhere", IID_IADsClass, missing.put()), noSuchObject);
  Ptr<IADsUser> wrongInterface;
  EXPECT_EQ(openAsBind("schema/user", IID_IADsUser, wrongInterface.put()), E_NOINTERFACE);
}

TEST_F(Binding, MalformedPathsAreRefusedBeforeAnyConnection) {
  size_t before = adsi::testing::connectionsOpened();
  for (const std::string& path :
       {std::string("LDAP://") + s.server + "/jsmith", std::string("ldap://") + s.server + "/" + s.alice(),
        std::string("LDAP://"), std::string("WinNT://") + s.server,
        std::string("LDAP://") + s.server + ":99999/" + s.alice(), std::string("LDAP://") + s.server + "/<GUID=xyz>",
        std::string("LDAP://") + s.server + "/CN=a\\"}) {
    Ptr<IADs> object;
    EXPECT_EQ(open(path, s.bindUser, s.bindPassword, ADS_SECURE_AUTHENTICATION, IID_IADs, object.put()),
              E_ADS_BAD_PATHNAME)
        << path;
    EXPECT_EQ(object.get(), nullptr);
  }
  EXPECT_EQ(adsi::testing::connectionsOpened(), before);
}

TEST_F(Binding, InterfacesFollowTheObjectsClass) {
  struct Case {
    std::string dn;
    bool user;
    bool group;
  };
  std::vector<Case> cases = {
      {s.alice(), true, false},
      {"CN=WS01,OU=Machines,OU=Orvistal," + s.baseDn, true, false},
      {"CN=g-devs,OU=Groups,OU=Orvistal," + s.baseDn, false, true},
      {"OU=People,OU=Orvistal," + s.baseDn, false, false},
      {"CN=Ext Contact," + s.people(), false, false},
  };
  for (const Case& c : cases) {
    Ptr<IADsUser> user;
    EXPECT_EQ(openAsBind(c.dn, IID_IADsUser, user.put()), c.user ? S_OK : E_NOINTERFACE) << c.dn;
    Ptr<IADsGroup> group;
    EXPECT_EQ(openAsBind(c.dn, IID_IADsGroup, group.put()), c.group ? S_OK : E_NOINTERFACE) << c.dn;
    for (const IID* common : {&IID_IADsContainer, &IID_IDirectoryObject, &IID_IDirectorySearch, &IID_IADsDeleteOps}) {
      Ptr<IUnknown> object;
      EXPECT_EQ(openAsBind(c.dn, *common, object.put()), S_OK) << c.dn;
    }
    Ptr<IADsLargeInteger> never;
    EXPECT_EQ(openAsBind(c.dn, IID_IADsLargeInteger, never.put()), E_NOINTERFACE);
  }

  // RootDSE offers IADs alone.
  Ptr<IDirectorySearch> rootSearch;
  EXPECT_EQ(openAsBind("RootDSE", IID_IDirectorySearch, rootSearch.put()), E_NOINTERFACE);
  Ptr<IADsContainer> rootContainer;
  EXPECT_EQ(openAsBind("RootDSE", IID_IADsContainer, rootContainer.put()), E_NOINTERFACE);

  // A fast bind knows no class, so it offers only the interfaces every object has.
  Ptr<IADsUser> fastUser;
  EXPECT_EQ(openAsBind(s.alice(), IID_IADsUser, fastUser.put(), ADS_SECURE_AUTHENTICATION | ADS_FAST_BIND),
            E_NOINTERFACE);
  Ptr<IDirectoryObject> fastObject;
  EXPECT_EQ(openAsBind(s.alice(), IID_IDirectoryObject, fastObject.put(), ADS_SECURE_AUTHENTICATION | ADS_FAST_BIND),
            S_OK);

  // QueryInterface agrees with the bind.
  Ptr<IADs> group;
  ASSERT_EQ(openAsBind("CN=g-devs,OU=Groups,OU=Orvistal," + s.baseDn, IID_IADs, group.put()), S_OK);
  Ptr<IADsUser> notUser;
  EXPECT_EQ(group->QueryInterface(IID_IADsUser, notUser.put()), E_NOINTERFACE);
  EXPECT_EQ(notUser.get(), nullptr);
}

TEST_F(Binding, FailuresCarryTheProvidersCodes) {
  Ptr<IADs> object;
  EXPECT_EQ(open(s.path(s.alice()), s.bindUser, "not the password", ADS_SECURE_AUTHENTICATION, IID_IADs, object.put()),
            logonFailure);
  DWORD code = 0;
  WCHAR text[512];
  WCHAR provider[64];
  ASSERT_EQ(ADsGetLastError(&code, text, 512, provider, 64), S_OK);
  EXPECT_EQ(code, 0x52Eu);
  EXPECT_EQ(narrow(provider), "LDAP Provider");
  // The KDC refused the password (or, with simple binds allowed, the directory did).
  EXPECT_NE(narrow(text).find(adsi::simpleBindsAllowed() ? "data 52e" : "KDC"), std::string::npos);

  // A named account with an empty password never binds (not even anonymously).
  EXPECT_EQ(open(s.path(s.alice()), s.bindUser, "", ADS_SECURE_AUTHENTICATION, IID_IADs, object.put()), logonFailure);
  EXPECT_EQ(ADsOpenObject(wide(s.path(s.alice())).c_str(), wide(s.bindUser).c_str(), nullptr, ADS_SECURE_AUTHENTICATION,
                          IID_IADs, object.put()),
            logonFailure);

  EXPECT_EQ(openAsBind("CN=Nobody Here," + s.people(), IID_IADs, object.put()), noSuchObject);
  EXPECT_EQ(object.get(), nullptr);

  for (const char* host : {"127.0.0.9", "127.0.0.2:1"}) {
    EXPECT_EQ(open(std::string("LDAP://") + host + "/" + s.alice(), s.bindUser, s.bindPassword,
                   ADS_SECURE_AUTHENTICATION, IID_IADs, object.put()),
              serverDown)
        << host;
  }

  // A fast bind does not look: the missing object shows at the first read.
  Ptr<IADs> fast;
  ASSERT_EQ(openAsBind("CN=Nobody Here," + s.people(), IID_IADs, fast.put(), ADS_SECURE_AUTHENTICATION | ADS_FAST_BIND),
            S_OK);
  Var value;
  EXPECT_EQ(fast->Get(Bstr("cn").b, &value.v), noSuchObject);
}

TEST_F(Binding, PasswordIsNeverOfferedWithoutTls) {
  adsi::testing::clearPool();
  adsi::testing::setPlainTransportForTesting(true);
  Ptr<IADs> object;
  HRESULT plain = openAsBind(s.alice(), IID_IADs, object.put());
  adsi::testing::setPlainTransportForTesting(false);
  if (adsi::simpleBindsAllowed()) {
    EXPECT_EQ(plain, strongAuthRequired);
    DWORD code = 0;
    WCHAR text[512];
    ASSERT_EQ(ADsGetLastError(&code, text, 512, nullptr, 0), S_OK);
    EXPECT_EQ(code, 8232u);  // ERROR_DS_STRONG_AUTH_REQUIRED: refused here, the server never saw it
  } else {
    EXPECT_EQ(plain, S_OK) << "a Kerberos bind shows no password, and seals a plain connection";
  }
  EXPECT_EQ(openAsBind(s.alice(), IID_IADs, object.put()), S_OK);
}

TEST_F(Binding, AnUntrustedCertificateIsAnUnreachableServer) {
  adsi::testing::clearPool();
  char* configured = nullptr;
  ldap_get_option(nullptr, LDAP_OPT_X_TLS_CACERTFILE, &configured);
  std::string original = configured != nullptr ? configured : "";
  ldap_memfree(configured);
  // A bundle without the test CA: verification must fail, never fall back to plain LDAP.
  const char* other = "/etc/ssl/certs/ca-certificates.crt";
  ASSERT_EQ(ldap_set_option(nullptr, LDAP_OPT_X_TLS_CACERTFILE, other), LDAP_OPT_SUCCESS);
  Ptr<IADs> object;
  HRESULT ldaps = open("LDAP://" + s.server + ":636/" + s.alice(), s.bindUser, s.bindPassword,
                       ADS_SECURE_AUTHENTICATION, IID_IADs, object.put());
  HRESULT startTls = openAsBind(s.alice(), IID_IADs, object.put());
  ldap_set_option(nullptr, LDAP_OPT_X_TLS_CACERTFILE, original.empty() ? nullptr : original.c_str());
  EXPECT_EQ(ldaps, serverDown);
  EXPECT_EQ(startTls, serverDown);
  EXPECT_EQ(openAsBind(s.alice(), IID_IADs, object.put()), S_OK);
}

TEST_F(Binding, ConnectionsAreReusedOnlyForTheExactCredentials) {
  adsi::testing::clearPool();
  size_t start = adsi::testing::connectionsOpened();
  Ptr<IADs> first, second, third;
  ASSERT_EQ(openAsBind(s.alice(), IID_IADs, first.put()), S_OK);
  EXPECT_EQ(adsi::testing::connectionsOpened(), start + 1);
  ASSERT_EQ(openAsBind("RootDSE", IID_IADs, second.put()), S_OK);
  first.reset();
  second.reset();
  ASSERT_EQ(openAsBind(s.alice(), IID_IADs, third.put()), S_OK);
  EXPECT_EQ(adsi::testing::connectionsOpened(), start + 1) << "the second and third binds reuse the first connection";

  // A wrong password is a new credential pair: it gets its own bind (its own ticket request,
  // unless simple binds are allowed), and fails.
  size_t tickets = adsi::testing::ticketRequests();
  Ptr<IADs> wrong;
  EXPECT_EQ(open(s.path(s.alice()), s.bindUser, s.bindPassword + "x", ADS_SECURE_AUTHENTICATION, IID_IADs, wrong.put()),
            logonFailure);
  EXPECT_EQ(adsi::testing::connectionsOpened(), start + 2);
  EXPECT_EQ(open(s.path(s.alice()), s.bindUser, s.bindPassword.substr(0, s.bindPassword.size() - 1),
                 ADS_SECURE_AUTHENTICATION, IID_IADs, wrong.put()),
            logonFailure);
  EXPECT_EQ(adsi::testing::connectionsOpened(), start + 3);
  EXPECT_EQ(adsi::testing::ticketRequests(), tickets + (adsi::simpleBindsAllowed() ? 0 : 2));

  // Another account, or another spelling of the same one, is another identity.
  Ptr<IADs> admin;
  ASSERT_EQ(openAsAdmin(s.alice(), IID_IADs, admin.put()), S_OK);
  EXPECT_EQ(adsi::testing::connectionsOpened(), start + 4);
  Ptr<IADs> netbiosForm;
  ASSERT_EQ(open(s.path(s.alice()), s.netbios + "\\orvbind", s.bindPassword, ADS_SECURE_AUTHENTICATION, IID_IADs,
                 netbiosForm.put()),
            S_OK);
  EXPECT_EQ(adsi::testing::connectionsOpened(), start + 5);
}

// A refusal held back from the directory stops only fresh binds of the set: a connection it
// already has still serves, as a Windows process keeps using the binds it holds.
TEST_F(Binding, AHeldBackSetStillUsesItsPooledConnections) {
  adsi::testing::clearPool();
  adsi::testing::resetBindBackoff(60, 60);
  adsi::Credentials bind;
  bind.mode = adsi::BindMode::Simple;
  bind.user = s.bindUser;
  bind.password = adsi::Secret(s.bindPassword);
  adsi::Endpoint dc{s.server, 389};
  std::shared_ptr<adsi::Connection> connection;
  ASSERT_EQ(adsi::acquireConnection(dc, bind, &connection), S_OK);
  connection.reset();
  // As when another controller refused a fresh bind while the account was locked for a while.
  HRESULT locked = HRESULT_FROM_WIN32(ERROR_ACCOUNT_LOCKED_OUT);
  adsi::noteBindOutcome(dc, bind, locked);
  EXPECT_EQ(adsi::acquireConnection(dc, bind, &connection), S_OK);
  connection.reset();
  adsi::testing::clearPool();
  EXPECT_EQ(adsi::acquireConnection(dc, bind, &connection), locked) << "a fresh bind is held back";
  adsi::testing::resetBindBackoff(-1, -1);
}

TEST_F(Binding, ADroppedConnectionIsReplacedButAWriteIsNeverResent) {
  adsi::testing::clearPool();
  Ptr<IADs> wanda;
  std::string dn = "CN=Wanda Writable,OU=Delegated,OU=Orvistal," + s.baseDn;
  ASSERT_EQ(openAsBind(dn, IID_IADs, wanda.put()), S_OK);
  Var before;
  ASSERT_EQ(wanda->Get(Bstr("description").b, &before.v), static_cast<HRESULT>(0x8000500D));
  Var text;
  text.v.vt = VT_BSTR;
  text.v.bstrVal = SysAllocString(u"must not arrive");
  ASSERT_EQ(wanda->Put(Bstr("description").b, text.v), S_OK);

  adsi::testing::severPooledConnections();
  size_t opened = adsi::testing::connectionsOpened();
  // The write's fate is unknown to the client, so it reports the failure instead of retrying.
  EXPECT_EQ(wanda->SetInfo(), serverDown);
  EXPECT_EQ(adsi::testing::connectionsOpened(), opened);

  // A bind reads only, so it may try once more on a new connection.
  Ptr<IADs> again;
  ASSERT_EQ(openAsBind(dn, IID_IADs, again.put()), S_OK);
  EXPECT_EQ(adsi::testing::connectionsOpened(), opened + 1);
  Var after;
  EXPECT_EQ(again->Get(Bstr("description").b, &after.v), static_cast<HRESULT>(0x8000500D));
}

TEST_F(Binding, IdleConnectionsAreNotReused) {
  adsi::testing::clearPool();
  adsi::testing::setIdleLimitForTesting(0);
  size_t start = adsi::testing::connectionsOpened();
  Ptr<IADs> first, second;
  HRESULT one = openAsBind(s.alice(), IID_IADs, first.put());
  HRESULT two = openAsBind(s.alice(), IID_IADs, second.put());
  size_t opened = adsi::testing::connectionsOpened() - start;
  adsi::testing::setIdleLimitForTesting(-1);
  EXPECT_EQ(one, S_OK);
  EXPECT_EQ(two, S_OK);
  EXPECT_EQ(opened, 2u);
}

TEST_F(Binding, ManyThreadsBindAtOnce) {
  adsi::testing::clearPool();
  size_t start = adsi::testing::connectionsOpened();
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      for (int i = 0; i < 15; ++i) {
        Ptr<IADs> object;
        std::string dn = (t + i) % 2 == 0 ? s.alice() : "CN=Bob Builder," + s.people();
        if (openAsBind(dn, IID_IADs, object.put()) != S_OK) ++failures;
        Var value;
        if (object.get() == nullptr || object->Get(Bstr("sAMAccountName").b, &value.v) != S_OK) ++failures;
      }
      CoUninitialize();
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  // Threads racing for the first connection may each open one; after that all share.
  EXPECT_LE(adsi::testing::connectionsOpened() - start, 8u);
}

TEST_F(Binding, ServerlessPathsUseTheDefaultUri) {
  std::string uri = "ldaps://" + s.server;
  ASSERT_EQ(ldap_set_option(nullptr, LDAP_OPT_URI, uri.c_str()), LDAP_OPT_SUCCESS);
  Ptr<IADs> rootDse, alice;
  HRESULT root = open("LDAP://RootDSE", s.bindUser, s.bindPassword, ADS_SECURE_AUTHENTICATION, IID_IADs, rootDse.put());
  HRESULT object =
      open("LDAP://" + s.alice(), s.bindUser, s.bindPassword, ADS_SECURE_AUTHENTICATION, IID_IADs, alice.put());
  ldap_set_option(nullptr, LDAP_OPT_URI, nullptr);
  ASSERT_EQ(root, S_OK);
  ASSERT_EQ(object, S_OK);
  BSTR path = nullptr;
  ASSERT_EQ(alice->get_ADsPath(&path), S_OK);
  EXPECT_EQ(bstrText(path), "LDAP://" + s.alice());
  SysFreeString(path);
  ASSERT_EQ(alice->get_Parent(&path), S_OK);
  EXPECT_EQ(bstrText(path), "LDAP://" + s.people());
  SysFreeString(path);
}

TEST_F(Binding, AnonymousBindReadsOnlyRootDse) {
  Ptr<IADs> rootDse;
  ASSERT_EQ(
      ADsOpenObject(wide(s.path("RootDSE")).c_str(), nullptr, nullptr, ADS_NO_AUTHENTICATION, IID_IADs, rootDse.put()),
      S_OK);
  Var context;
  ASSERT_EQ(rootDse->Get(Bstr("defaultNamingContext").b, &context.v), S_OK);
  EXPECT_EQ(bstrText(context.v.bstrVal), s.baseDn);
  // The directory's data is not for anonymous eyes.
  Ptr<IADs> alice;
  EXPECT_EQ(
      ADsOpenObject(wide(s.path(s.alice())).c_str(), nullptr, nullptr, ADS_NO_AUTHENTICATION, IID_IADs, alice.put()),
      static_cast<HRESULT>(0x80072020));
}

TEST_F(Binding, KerberosIdentityBindsWithoutAPassword) {
  std::string realm = s.domain;
  for (char& c : realm) c = static_cast<char>(toupper(c));
  std::string command = "kinit orvbind@" + realm + " >/dev/null 2>&1";
  FILE* kinit = popen(command.c_str(), "w");
  ASSERT_NE(kinit, nullptr);
  fputs((s.bindPassword + "\n").c_str(), kinit);
  ASSERT_EQ(pclose(kinit), 0) << "kinit failed: KRB5_CONFIG/KRB5CCNAME from dc.sh env are needed";

  // Sealed by SASL on the plain port; without a SASL layer inside TLS on the LDAPS port.
  Ptr<IADs> sealed, overLdaps;
  ASSERT_EQ(ADsOpenObject(wide(s.path(s.alice())).c_str(), nullptr, nullptr, ADS_SECURE_AUTHENTICATION, IID_IADs,
                          sealed.put()),
            S_OK);
  ASSERT_EQ(ADsOpenObject(wide("LDAP://" + s.server + ":636/" + s.alice()).c_str(), nullptr, nullptr,
                          ADS_SECURE_AUTHENTICATION, IID_IADs, overLdaps.put()),
            S_OK);
  Var name;
  ASSERT_EQ(overLdaps->Get(Bstr("sAMAccountName").b, &name.v), S_OK);
  EXPECT_EQ(bstrText(name.v.bstrVal), "alice");
  sealed.reset();
  overLdaps.reset();
  adsi::testing::clearPool();
}

}  // namespace
