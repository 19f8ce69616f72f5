// The library-side work of each native, as its entry point in src/bridge does it (a fresh
// context per call, as every native makes one), against the test directory's seeded objects.
// Shared by the operation-count program of the side-by-side benchmark and the integration test
// that pins each native's LDAP operation count.
//
// A new native: one row in libraryCases(), named as in the floor's and the JVM program's tables.
#pragma once
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "adsi/connection.h"
#include "adsi/text.h"
#include "bench_objects.h"
#include "directory/adsi_context.h"
#include "directory/name_translator.h"
#include "directory/owners.h"
#include "directory/values.h"
#include "lm.h"
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
  std::u16string adminUser = env("ORVISTAL_TEST_ADMIN_USER");
  std::u16string adminPassword = env("ORVISTAL_TEST_ADMIN_PASSWORD");

  std::u16string orvistal() const { return u"OU=Orvistal," + base; }
  std::u16string people() const { return u"OU=People," + orvistal(); }
  std::u16string alice() const { return u"CN=Alice Liddell," + people(); }
  std::u16string gDevs() const { return u"CN=g-devs,OU=Groups," + orvistal(); }
  std::u16string gDist() const { return u"CN=g-dist,OU=Groups," + orvistal(); }
  std::u16string wanda() const { return u"CN=Wanda Writable,OU=Delegated," + orvistal(); }
  std::u16string ws01() const { return u"CN=WS01,OU=Machines," + orvistal(); }
  std::u16string domainUsers() const { return u"CN=Domain Users,CN=Users," + base; }

  static std::u16string wide(const std::string& text) { return winapi::adsi::toUtf16(text); }
  std::u16string writables() const { return wide(bench::objects::writablesContainer()); }
  std::u16string writableUser() const { return wide(bench::objects::writableUser()); }
  std::u16string changingUser() const { return wide(bench::objects::changingUser()); }
  std::u16string writableGroup() const { return wide(bench::objects::writableGroup()); }
  std::u16string writableNode() const { return wide(bench::objects::writableNode()); }

  AdsiContext context() const { return AdsiContext(bindUser, bindPassword, server, false); }
  // The writes and the tombstone reads: as an administrator.
  AdsiContext adminContext() const { return AdsiContext(adminUser, adminPassword, server, false); }
  NameTranslator translator() const { return NameTranslator(bindUser, bindPassword, server, false); }
};

using LibraryStep = std::function<HRESULT(const LibrarySettings&)>;

// S_OK when the call did its job; a failure status, or E_UNEXPECTED for a wrong answer. before
// and after run untimed and uncounted around it (a user added for a delete, or deleted after an
// add). A case on the benchmarks' large sets runs only where they are seeded, never in tests.
struct LibraryCase {
  const char* name;
  LibraryStep run;
  LibraryStep before = {};
  LibraryStep after = {};
  bool onLargeSets = false;
};

// Runs the case's steps; *sent: the LDAP requests of its call alone.
inline HRESULT runCounted(const LibraryCase& libraryCase, const LibrarySettings& settings, size_t* sent) {
  if (libraryCase.before) RETURN_IF_FAILED(libraryCase.before(settings));
  size_t start = winapi::adsi::testing::operationsSentByThisThread();
  HRESULT status = libraryCase.run(settings);
  *sent = winapi::adsi::testing::operationsSentByThisThread() - start;
  if (SUCCEEDED(status) && libraryCase.after) status = libraryCase.after(settings);
  return status;
}

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

// The writes alternate between two values, so that each one changes the entry.
inline bool nextTurn() {
  static int turn = 0;
  return ++turn % 2 == 1;
}

inline HRESULT expectCount(HRESULT status, const VariantArray& values, LONG expected) {
  return SUCCEEDED(status) && values.count() != expected ? E_UNEXPECTED : status;
}

inline HRESULT expectNumber(HRESULT status, LONG actual, LONG expected) {
  return SUCCEEDED(status) && actual != expected ? E_UNEXPECTED : status;
}

inline HRESULT textList(std::initializer_list<std::u16string> texts, VariantArray* list) {
  for (const std::u16string& text : texts) {
    UniqueVariant value;
    *value.get() = bstrVariant(text);
    RETURN_IF_FAILED(list->append(*value.get()));
  }
  return S_OK;
}

// As the natives that take a user or a group: the name resolved, then the work on its DN.
template <typename Work>
HRESULT onUser(const AdsiContext& context, const std::u16string& name, Work work) {
  WideString logonName, dn;
  RETURN_IF_FAILED(context.resolveUser(name, WideString(), &logonName, &dn));
  return work(dn);
}

template <typename Work>
HRESULT onGroup(const AdsiContext& context, const std::u16string& name, Work work) {
  WideString dn;
  RETURN_IF_FAILED(context.resolveGroup(name, &dn));
  return work(dn);
}

inline HRESULT onWritableUser(const LibrarySettings& s,
                              const std::function<HRESULT(const AdsiContext&, const WideString&)>& work) {
  AdsiContext context = s.adminContext();
  return onUser(context, s.writableUser(), [&](const WideString& dn) { return work(context, dn); });
}

inline HRESULT onWritableGroup(const LibrarySettings& s,
                               const std::function<HRESULT(const AdsiContext&, const WideString&)>& work) {
  AdsiContext context = s.adminContext();
  return onGroup(context, s.writableGroup(), [&](const WideString& dn) { return work(context, dn); });
}

inline std::u16string alternateText() { return nextTurn() ? u"bench a" : u"bench b"; }

// The user the account cases add (the last one, for the delete that follows).
inline std::u16string& addedUser() {
  static std::u16string dn;
  return dn;
}

inline HRESULT addUserCase(const LibrarySettings& s) {
  static int count = 0;
  std::u16string name =
      winapi::adsi::toUtf16("orvb-l" + std::to_string(getpid() % 100000) + "-" + std::to_string(++count));
  addedUser() = u"CN=" + name + u"," + s.writables();
  return s.adminContext().addUser(name, s.writables());
}

inline HRESULT deleteAddedUser(const LibrarySettings& s) {
  AdsiContext context = s.adminContext();
  return onUser(context, addedUser(), [&](const WideString& dn) { return context.deleteUser(dn); });
}

// The user's own change, over the network password service: each new password is one the account
// never had (its history is kept); the first call of a run gives it its known password first.
inline HRESULT changePasswordCase(const LibrarySettings& s) {
  static std::u16string current;
  static int count = 0;
  std::u16string initial = LibrarySettings::wide(bench::objects::changingUserPassword);
  if (current.empty()) {
    AdsiContext context = s.adminContext();
    RETURN_IF_FAILED(context.resetPassword(s.changingUser(), initial));
    current = initial;
  }
  std::u16string next =
      winapi::adsi::toUtf16("Bench.Lib." + std::to_string(getpid()) + "." + std::to_string(++count));
  NET_API_STATUS status = NetUserChangePassword(s.domain.c_str(), u"orvb-change", current.c_str(), next.c_str());
  if (status != NERR_Success) return HRESULT_FROM_WIN32(status);
  current = next;
  return S_OK;
}

inline const std::u16string& tombstone(const LibrarySettings& s) {
  static std::u16string dn;
  if (dn.empty()) {
    StringList found;
    if (SUCCEEDED(s.adminContext().searchDeletedNodes(u"(sAMAccountName=deleted-user)", &found)) &&
        found.count() == 1)
      dn = found[0];
  }
  return dn;
}

// What the bulk job reads of each user, through the attribute natives.
inline HRESULT readBulkUser(const LibrarySettings& s, const std::u16string& user) {
  auto read = [&](auto work) {
    AdsiContext context = s.context();
    return onUser(context, user, [&](const WideString& dn) { return work(context, dn); });
  };
  WideString mail, description;
  VariantArray phones;
  LONG flags = 0, low = 0, high = 0;
  RETURN_IF_FAILED(read([&](const AdsiContext& c, const WideString& dn) {
    return c.getAttributeString(AttributeTarget::user, dn, u"mail", &mail);
  }));
  RETURN_IF_FAILED(read([&](const AdsiContext& c, const WideString& dn) {
    return c.getAttributeString(AttributeTarget::user, dn, u"description", &description);
  }));
  RETURN_IF_FAILED(read([&](const AdsiContext& c, const WideString& dn) {
    return c.getAttributeStringArray(AttributeTarget::user, dn, u"otherTelephone", &phones);
  }));
  RETURN_IF_FAILED(read([&](const AdsiContext& c, const WideString& dn) {
    return c.getAttributeInt(AttributeTarget::user, dn, u"userAccountControl", &flags);
  }));
  RETURN_IF_FAILED(read([&](const AdsiContext& c, const WideString& dn) {
    return c.getAttributeLargeInt(AttributeTarget::user, dn, u"accountExpires", &low, &high);
  }));
  return mail.empty() || phones.count() != 2 ? E_UNEXPECTED : S_OK;
}

inline HRESULT bulkCase(const LibrarySettings& s) {
  for (int i = 0; i < bench::objects::bulkUserCount; ++i) {
    std::string dn = "CN=" + bench::objects::bulkUserName(i) + "," + bench::objects::bulkUsersContainer();
    RETURN_IF_FAILED(readBulkUser(s, LibrarySettings::wide(dn)));
  }
  return S_OK;
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
      {"wGetUserAttributeInt DN",
       [](const LibrarySettings& s) {
         LONG flags = 0;
         return userAttributeCase(s, [&](const AdsiContext& context, const WideString& dn) {
           HRESULT status = context.getAttributeInt(AttributeTarget::user, dn, u"userAccountControl", &flags);
           return expectNumber(status, flags, 512);
         });
       }},
      {"wGetGroupAttributeInt DN",
       [](const LibrarySettings& s) {
         AdsiContext context = s.context();
         LONG type = 0;
         return onGroup(context, s.gDevs(), [&](const WideString& dn) {
           HRESULT status = context.getAttributeInt(AttributeTarget::group, dn, u"groupType", &type);
           return expectNumber(status, type, -2147483646);
         });
       }},
      {"wGetGroupAttributeStringArray DN",
       [](const LibrarySettings& s) {
         AdsiContext context = s.context();
         VariantArray members;
         return onGroup(context, s.gDevs(), [&](const WideString& dn) {
           HRESULT status = context.getAttributeStringArray(AttributeTarget::group, dn, u"member", &members);
           return expectCount(status, members, 2);
         });
       }},
      // The writes, as an administrator, to the benchmarks' own objects.
      {"wSetUserAttributeString DN",
       [](const LibrarySettings& s) {
         return onWritableUser(s, [](const AdsiContext& context, const WideString& dn) {
           return context.setAttributeString(AttributeTarget::user, dn, u"description", alternateText());
         });
       }},
      {"wSetUserAttributeInt DN",
       [](const LibrarySettings& s) {
         return onWritableUser(s, [](const AdsiContext& context, const WideString& dn) {
           return context.setAttributeInt(AttributeTarget::user, dn, u"orvistalNumbers", nextTurn() ? 1 : 2);
         });
       }},
      {"wSetUserAttributeLargeInt DN",
       [](const LibrarySettings& s) {
         return onWritableUser(s, [](const AdsiContext& context, const WideString& dn) {
           bool first = nextTurn();
           return context.setAttributeLargeInt(AttributeTarget::user, dn, u"orvistalCounter", first ? 2 : -1,
                                               first ? 1 : -1);
         });
       }},
      {"wSetUserAttributeStringArray DN",
       [](const LibrarySettings& s) {
         return onWritableUser(s, [](const AdsiContext& context, const WideString& dn) {
           VariantArray tags;
           RETURN_IF_FAILED(textList({nextTurn() ? u"one" : u"three", u"two"}, &tags));
           return context.setAttributeStringArray(AttributeTarget::user, dn, u"orvistalTags", ADS_PROPERTY_UPDATE,
                                                  tags);
         });
       }},
      {"wSetGroupAttributeString DN",
       [](const LibrarySettings& s) {
         return onWritableGroup(s, [](const AdsiContext& context, const WideString& dn) {
           return context.setAttributeString(AttributeTarget::group, dn, u"description", alternateText());
         });
       }},
      {"wSetGroupAttributeInt DN",
       [](const LibrarySettings& s) {
         return onWritableGroup(s, [](const AdsiContext& context, const WideString& dn) {
           return context.setAttributeInt(AttributeTarget::group, dn, u"groupType",
                                          nextTurn() ? -2147483640 : -2147483646);
         });
       }},
      {"wSetGroupAttributeStringArray DN",
       [](const LibrarySettings& s) {
         return onWritableGroup(s, [&](const AdsiContext& context, const WideString& dn) {
           VariantArray members;
           RETURN_IF_FAILED(textList({nextTurn() ? s.writableUser() : s.changingUser()}, &members));
           return context.setAttributeStringArray(AttributeTarget::group, dn, u"member", ADS_PROPERTY_UPDATE, members);
         });
       }},
      {"wSetNodeAttributeString",
       [](const LibrarySettings& s) {
         return s.adminContext().setAttributeString(AttributeTarget::node, s.writableNode(), u"description",
                                                    alternateText());
       }},
      {"wSetNodeAttributeStringArray",
       [](const LibrarySettings& s) {
         VariantArray phones;
         RETURN_IF_FAILED(textList({nextTurn() ? u"+1 555 0100" : u"+1 555 0102", u"+1 555 0101"}, &phones));
         return s.adminContext().setAttributeStringArray(AttributeTarget::node, s.writableNode(), u"otherTelephone",
                                                         ADS_PROPERTY_UPDATE, phones);
       }},
      // The account changes (see the floor's rows): each add or delete timed alone.
      {"wAddUser", addUserCase, {}, deleteAddedUser},
      {"wDeleteUser DN", deleteAddedUser, addUserCase},
      {"wResetPassword DN",
       [](const LibrarySettings& s) {
         return onWritableUser(s, [](const AdsiContext& context, const WideString& dn) {
           return context.resetPassword(dn, LibrarySettings::wide(bench::objects::writableUserPassword));
         });
       }},
      {"wUnlockAccount DN",
       [](const LibrarySettings& s) {
         return onWritableUser(s, [](const AdsiContext& context, const WideString& dn) {
           return context.unlockAccount(dn);
         });
       }},
      {"wChangePassword", changePasswordCase},
      {"wIsGroupNode", [](const LibrarySettings& s) { return s.context().isGroupNode(s.gDevs()); }},
      {"wIsUserNode", [](const LibrarySettings& s) { return s.context().isUserNode(s.alice()); }},
      {"wGetNodeAttributeString",
       [](const LibrarySettings& s) {
         WideString mail;
         return expectText(s.context().getAttributeText(AttributeTarget::node, s.alice(), u"mail", &mail), mail,
                           u"alice@" + s.domain);
       }},
      {"wGetNodeAttributeStringArray",
       [](const LibrarySettings& s) {
         VariantArray phones;
         HRESULT status =
             s.context().getAttributeStringArray(AttributeTarget::node, s.alice(), u"otherTelephone", &phones);
         return expectCount(status, phones, 3);
       }},
      {"wGetDeletedNodeAttributeString",
       [](const LibrarySettings& s) {
         WideString name;
         HRESULT status =
             s.adminContext().getAttributeText(AttributeTarget::deletedNode, tombstone(s), u"sAMAccountName", &name);
         return expectText(status, name, u"deleted-user");
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
      {"wSearchNodes 10,000 entries",
       [](const LibrarySettings& s) {
         StringList found;
         HRESULT status = s.context().searchNodes(LibrarySettings::wide(bench::objects::contactsContainer()),
                                                  LibrarySettings::wide(bench::objects::contactFilter), &found);
         return SUCCEEDED(status) && found.count() != bench::objects::contactCount ? E_UNEXPECTED : status;
       },
       {}, {}, true},
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
      {"bulk: 5 attributes of 10,000 users", bulkCase, {}, {}, true},
  };
}

}  // namespace bench
