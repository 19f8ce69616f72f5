// The library-side work of each native, as its entry point in src/bridge does it (a fresh
// context per call, as every native makes one), against the test directory's seeded objects.
// Shared by the operation-count program of the side-by-side benchmark and the integration test
// that pins each native's LDAP operation count.
//
// A new native: one row in libraryCases(), named as in the floor's and the JVM program's tables.
#pragma once
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "adsi/text.h"
#include "directory/adsi_context.h"
#include "directory/name_translator.h"
#include "directory/values.h"
#include "nodes/user_containers.h"

namespace bench {

struct LibrarySettings {
  static std::u16string env(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::u16string() : winapi::adsi::toUtf16(value);
  }
  std::u16string server = env("ORVISTAL_TEST_SERVER");
  std::u16string domain = env("ORVISTAL_TEST_DOMAIN");
  std::u16string netbios = env("ORVISTAL_TEST_NETBIOS");
  std::u16string base = env("ORVISTAL_TEST_BASE_DN");
  std::u16string bindUser = env("ORVISTAL_TEST_BIND_USER");
  std::u16string bindPassword = env("ORVISTAL_TEST_BIND_PASSWORD");

  std::u16string orvistal() const { return u"OU=Orvistal," + base; }
  std::u16string people() const { return u"OU=People," + orvistal(); }
  std::u16string alice() const { return u"CN=Alice Liddell," + people(); }
  std::u16string gDevs() const { return u"CN=g-devs,OU=Groups," + orvistal(); }
  std::u16string gDist() const { return u"CN=g-dist,OU=Groups," + orvistal(); }
  std::u16string wanda() const { return u"CN=Wanda Writable,OU=Delegated," + orvistal(); }
  std::u16string ws01() const { return u"CN=WS01,OU=Machines," + orvistal(); }
  std::u16string domainUsers() const { return u"CN=Domain Users,CN=Users," + base; }

  AdsiContext context() const { return AdsiContext(bindUser, bindPassword, server, false); }
  NameTranslator translator() const { return NameTranslator(bindUser, bindPassword, server, false); }
};

// S_OK when the call did its job; a failure status, or E_UNEXPECTED for a wrong answer.
struct LibraryCase {
  const char* name;
  std::function<HRESULT(const LibrarySettings&)> run;
};

inline HRESULT expectText(HRESULT status, const std::u16string& actual, const std::u16string& expected) {
  if (FAILED(status)) return status;
  return actual == expected ? S_OK : E_UNEXPECTED;
}

inline HRESULT resolveUserCase(const LibrarySettings& s, const std::u16string& name) {
  WideString logonName, dn;
  HRESULT status = s.context().resolveUser(name, WideString(), &logonName, &dn);
  return expectText(status, dn, s.alice());
}

// A user attribute read as the natives do it: the name resolved, then the read.
template <typename Read>
HRESULT userAttributeCase(const LibrarySettings& s, Read read) {
  AdsiContext context = s.context();
  WideString logonName, dn;
  HRESULT status = context.resolveUser(s.alice(), WideString(), &logonName, &dn);
  if (FAILED(status)) return status;
  return read(context, dn);
}

inline HRESULT expectSome(HRESULT status, const StringList& values) {
  if (FAILED(status)) return status;
  return values.count() > 0 ? S_OK : E_UNEXPECTED;
}

inline HRESULT userPrimaryGroupCase(const LibrarySettings& s) {
  AdsiContext context = s.context();
  WideString logonName, dn, groupDn;
  HRESULT status = context.resolveUser(u"alice", WideString(), &logonName, &dn);
  if (SUCCEEDED(status)) status = context.getUserPrimaryGroup(dn, &groupDn);
  return expectText(status, groupDn, s.domainUsers());
}

// As the native: the user's memberOf values, then the primary group.
inline HRESULT userGroupsCase(const LibrarySettings& s) {
  AdsiContext context = s.context();
  WideString logonName, dn, groupDn;
  RETURN_IF_FAILED(context.resolveUser(u"alice", WideString(), &logonName, &dn));
  VariantArray memberOf;
  RETURN_IF_FAILED(context.getAttributeStringArray(AttributeTarget::user, dn, u"memberOf", &memberOf));
  if (memberOf.count() == 0) return E_UNEXPECTED;
  return expectText(context.getUserPrimaryGroup(dn, &groupDn), groupDn, s.domainUsers());
}

inline HRESULT machineGroupsCase(const LibrarySettings& s) {
  AdsiContext context = s.context();
  VariantArray memberOf;
  RETURN_IF_FAILED(context.getAttributeStringArray(AttributeTarget::node, s.ws01(), u"memberOf", &memberOf));
  if (memberOf.count() == 0) return E_UNEXPECTED;
  WideString groupDn;
  return expectText(context.getMachinePrimaryGroup(s.ws01(), &groupDn), groupDn,
                    u"CN=Domain Computers,CN=Users," + s.base);
}

inline std::vector<LibraryCase> libraryCases() {
  return {
      {"wInit",
       [](const LibrarySettings& s) {
         ComPtr<IADs> rootDse;
         return s.context().bindRootDse(rootDse.put());
       }},
      {"wGetUserDsn bare", [](const LibrarySettings& s) { return resolveUserCase(s, u"alice"); }},
      {"wGetUserDsn NT4", [](const LibrarySettings& s) { return resolveUserCase(s, s.netbios + u"\\alice"); }},
      {"wGetUserDsn UPN", [](const LibrarySettings& s) { return resolveUserCase(s, u"alice@" + s.domain); }},
      {"wGetUserDsn DN", [](const LibrarySettings& s) { return resolveUserCase(s, s.alice()); }},
      {"wTranslateName NT4>DN",
       [](const LibrarySettings& s) {
         WideString dn;
         HRESULT status = s.translator().translate(&dn, s.netbios + u"\\alice", ADS_NAME_TYPE_NT4, ADS_NAME_TYPE_1779);
         return expectText(status, dn, s.alice());
       }},
      {"wGetGroupDsn bare",
       [](const LibrarySettings& s) {
         WideString dn;
         return expectText(s.context().resolveGroup(u"g-devs", &dn), dn, s.gDevs());
       }},
      {"wGetGroupDsn DN",
       [](const LibrarySettings& s) {
         WideString dn;
         return expectText(s.context().resolveGroup(s.gDevs(), &dn), dn, s.gDevs());
       }},
      {"wVerifyPassword",
       [](const LibrarySettings& s) {
         return s.context().verifyPassword(u"alice@" + s.domain, WideString(), u"Alice.Pw.123");
       }},
      {"wIsUserContainerNode", [](const LibrarySettings& s) { return s.context().isUserContainer(s.people()); }},
      {"wGetChildUserContainers",
       [](const LibrarySettings& s) {
         StringList containers;
         HRESULT status = s.context().getChildUserContainers(s.orvistal(), &containers);
         if (SUCCEEDED(status) && containers.count() == 0) return E_UNEXPECTED;
         return status;
       }},
      {"wGetUserAttributeString DN",
       [](const LibrarySettings& s) {
         WideString mail;
         return userAttributeCase(s, [&](const AdsiContext& context, const WideString& dn) {
           return expectText(context.getAttributeString(AttributeTarget::user, dn, u"mail", &mail), mail,
                             u"alice@" + s.domain);
         });
       }},
      {"wGetUserAttributeStringArray DN",
       [](const LibrarySettings& s) {
         VariantArray phones;
         return userAttributeCase(s, [&](const AdsiContext& context, const WideString& dn) {
           HRESULT status = context.getAttributeStringArray(AttributeTarget::user, dn, u"otherTelephone", &phones);
           return SUCCEEDED(status) && phones.count() != 3 ? E_UNEXPECTED : status;
         });
       }},
      {"wGetUserAttributeLargeInt DN",
       [](const LibrarySettings& s) {
         LONG low = 0, high = 0;
         return userAttributeCase(s, [&](const AdsiContext& context, const WideString& dn) {
           HRESULT status = context.getAttributeLargeInt(AttributeTarget::user, dn, u"accountExpires", &low, &high);
           return SUCCEEDED(status) && (low != -1 || high != 0x7FFFFFFF) ? E_UNEXPECTED : status;
         });
       }},
      {"wGetGroupAttributeString DN",
       [](const LibrarySettings& s) {
         AdsiContext context = s.context();
         WideString dn, mail;
         HRESULT status = context.resolveGroup(s.gDist(), &dn);
         if (FAILED(status)) return status;
         return expectText(context.getAttributeString(AttributeTarget::group, dn, u"mail", &mail), mail,
                           u"g-dist@" + s.domain);
       }},
      {"wIsGroupNode", [](const LibrarySettings& s) { return s.context().isGroupNode(s.gDevs()); }},
      {"wIsUserNode", [](const LibrarySettings& s) { return s.context().isUserNode(s.alice()); }},
      {"wGetNodeAttributeString",
       [](const LibrarySettings& s) {
         WideString mail;
         return expectText(s.context().getAttributeText(AttributeTarget::node, s.alice(), u"mail", &mail), mail,
                           u"alice@" + s.domain);
       }},
      {"wGetNodeGuid",
       [](const LibrarySettings& s) {
         WideString guid;
         HRESULT status = s.context().getNodeGuid(s.alice(), &guid);
         return SUCCEEDED(status) && guid.size() != 32 ? E_UNEXPECTED : status;
       }},
      {"wGetParentNode",
       [](const LibrarySettings& s) {
         WideString parent;
         return expectText(s.context().getParentNode(s.alice(), &parent), parent, s.people());
       }},
      {"wCheckNodeAccess",
       [](const LibrarySettings& s) {
         constexpr DWORD readProperty = 0x10;
         DWORD granted = 0, accessStatus = 1;
         HRESULT status = s.context().checkNodeAccess(s.wanda(), readProperty, &granted, &accessStatus);
         if (SUCCEEDED(status) && (accessStatus != 0 || granted != readProperty)) return E_UNEXPECTED;
         return status;
       }},
      {"wSearchNodes",
       [](const LibrarySettings& s) {
         StringList found;
         return expectSome(s.context().searchNodes(s.people(), u"(objectClass=user)", &found), found);
       }},
      {"wSearchDeletedNodes",
       [](const LibrarySettings& s) {
         StringList found;
         HRESULT status = s.context().searchDeletedNodes(u"(sAMAccountName=orvistal-never-deleted)", &found);
         return SUCCEEDED(status) && found.count() != 0 ? E_UNEXPECTED : status;
       }},
      {"wFindNodeValues",
       [](const LibrarySettings& s) {
         StringList found;
         HRESULT status = s.context().findNodeValues(s.people(), u"cn", u"(objectClass=user)", 100, 30, &found);
         return expectSome(status, found);
       }},
      {"wGetNodeAttributes",
       [](const LibrarySettings& s) {
         StringList names, values;
         names.append(u"cn");
         names.append(u"userPrincipalName");
         HRESULT status = s.context().searchFirstEntry(s.people(), u"(sAMAccountName=alice)", names, &values);
         return expectText(status, values.count() == 2 ? values[0] : WideString(), u"Alice Liddell");
       }},
      {"wGetNetbiosDomain",
       [](const LibrarySettings& s) {
         WideString netbios;
         return expectText(s.context().getNetbiosDomain(s.domain, &netbios), netbios, s.netbios);
       }},
      {"wIsMemberOf",
       [](const LibrarySettings& s) {
         VARIANT_BOOL isMember = VARIANT_FALSE;
         HRESULT status = s.context().isMemberOf(s.gDevs(), s.alice(), &isMember);
         return SUCCEEDED(status) && isMember != VARIANT_TRUE ? E_UNEXPECTED : status;
       }},
      {"wGetUserPrimaryGroup", userPrimaryGroupCase},
      {"wGetUserGroups", userGroupsCase},
      {"wGetMachineGroups", machineGroupsCase},
  };
}

}  // namespace bench
