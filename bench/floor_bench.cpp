// The floor of the side-by-side benchmark: for each native, the LDAP operations its job needs at
// the least, sent with libldap alone on one open StartTLS connection bound as the bind account
// (a second one for password binds). No code of the project: this is what the network and the
// directory cost, the line the library is measured against.
//
// Prints "floor<TAB>case<TAB>median ms<TAB>p90 ms<TAB>calls" per case (only the cases named as
// arguments, when there are any). Needs the test directory's environment (eval "$(bash
// tests/directory/dc.sh env)").
//
// A new native: one row in floorCases() below, named as in the other two programs' tables.
#include <ldap.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench_objects.h"
#include "timing.h"

namespace {

namespace objects = bench::objects;

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

struct LdapCloser {
  void operator()(LDAP* ld) const { ldap_unbind_ext_s(ld, nullptr, nullptr); }
};
using LdapHandle = std::unique_ptr<LDAP, LdapCloser>;

struct MessageFreer {
  void operator()(LDAPMessage* message) const { ldap_msgfree(message); }
};
using Message = std::unique_ptr<LDAPMessage, MessageFreer>;

struct ValuesFreer {
  void operator()(berval** values) const { ldap_value_free_len(values); }
};

struct DnFreer {
  void operator()(char* dn) const { ldap_memfree(dn); }
};

struct ControlFreer {
  void operator()(LDAPControl* control) const { ldap_control_free(control); }
};

struct ControlsFreer {
  void operator()(LDAPControl** controls) const { ldap_controls_free(controls); }
};

// One attribute of a modify or an add: the operation and the values.
struct Change {
  int operation;
  const char* attribute;
  std::vector<std::string> values;
};

// A Change as libldap takes it; holds the value pointers.
struct Mod {
  Mod(const Change& change) : values(change.values) {  // NOLINT(google-explicit-constructor): from a request's changes
    for (std::string& value : values) berValues.push_back({static_cast<ber_len_t>(value.size()), value.data()});
    for (berval& value : berValues) pointers.push_back(&value);
    pointers.push_back(nullptr);
    mod.mod_op = change.operation | LDAP_MOD_BVALUES;
    mod.mod_type = const_cast<char*>(change.attribute);
    mod.mod_bvalues = pointers.data();
  }
  Mod(const Mod&) = delete;
  Mod& operator=(const Mod&) = delete;
  std::vector<std::string> values;
  std::vector<berval> berValues;
  std::vector<berval*> pointers;
  LDAPMod mod{};
};

bool simpleBind(LDAP* ld, const std::string& user, const std::string& password) {
  berval credentials;
  credentials.bv_val = const_cast<char*>(password.c_str());
  credentials.bv_len = password.size();
  return ldap_sasl_bind_s(ld, user.c_str(), LDAP_SASL_SIMPLE, &credentials, nullptr, nullptr, nullptr) ==
         LDAP_SUCCESS;
}

// A StartTLS connection to the server; the certificate is verified through OpenLDAP's settings.
LdapHandle openTls(const std::string& server) {
  LDAP* raw = nullptr;
  std::string uri = "ldap://" + server;
  if (ldap_initialize(&raw, uri.c_str()) != LDAP_SUCCESS) return nullptr;
  LdapHandle ld(raw);
  int version = LDAP_VERSION3;
  ldap_set_option(ld.get(), LDAP_OPT_PROTOCOL_VERSION, &version);
  ldap_set_option(ld.get(), LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
  if (ldap_start_tls_s(ld.get(), nullptr, nullptr) != LDAP_SUCCESS) return nullptr;
  return ld;
}

struct Floor {
  std::string base = env("ORVISTAL_TEST_BASE_DN");
  std::string domain = env("ORVISTAL_TEST_DOMAIN");
  LdapHandle reader;    // bound as the bind account, for every read
  LdapHandle verifier;  // open TLS connection for the password binds
  LdapHandle admin;     // bound as an administrator, for the writes and the tombstone reads
  int sent = 0;         // LDAP requests sent, to print each case's count
  int turn = 0;         // the writes alternate between two values, so each one changes the entry
  std::string added;    // the user the last add made, for the untimed delete after it
  std::string password = objects::changingUserPassword;  // the changing user's, once reset
  std::vector<std::string> bulkUsers;                           // read once, untimed

  std::string people() const { return "OU=People,OU=Orvistal," + base; }
  std::string alice() const { return "CN=Alice Liddell," + people(); }
  std::string gDevs() const { return "CN=g-devs,OU=Groups,OU=Orvistal," + base; }
  std::string gDist() const { return "CN=g-dist,OU=Groups,OU=Orvistal," + base; }
  std::string wanda() const { return "CN=Wanda Writable,OU=Delegated,OU=Orvistal," + base; }

  // One search; true when it succeeded with exactly `expected` entries (any number: -1). The
  // first entry's DN goes to *dn, and the first value of each attribute (empty: none) to *values.
  bool search(const std::string& searchBase, int scope, const std::string& filter,
              std::vector<const char*> attributes, int expected, std::string* dn = nullptr,
              LDAPControl** controls = nullptr, std::vector<std::string>* values = nullptr) {
    return searchOn(reader.get(), searchBase, scope, filter, std::move(attributes), expected, dn, controls, values);
  }
  bool searchOn(LDAP* ld, const std::string& searchBase, int scope, const std::string& filter,
                std::vector<const char*> attributes, int expected, std::string* dn = nullptr,
                LDAPControl** controls = nullptr, std::vector<std::string>* values = nullptr) {
    size_t asked = attributes.size();
    attributes.push_back(nullptr);
    LDAPMessage* raw = nullptr;
    ++sent;
    int code = ldap_search_ext_s(ld, searchBase.c_str(), scope, filter.c_str(), const_cast<char**>(attributes.data()),
                                 0, controls, nullptr, nullptr, 0, &raw);
    Message result(raw);
    if (code != LDAP_SUCCESS) return false;
    if (expected >= 0 && ldap_count_entries(ld, result.get()) != expected) return false;
    LDAPMessage* entry = ldap_first_entry(ld, result.get());
    if (dn != nullptr) {
      std::unique_ptr<char, DnFreer> text(entry == nullptr ? nullptr : ldap_get_dn(ld, entry));
      if (!text) return false;
      *dn = text.get();
    }
    if (values != nullptr) {
      if (entry == nullptr) return false;
      values->clear();
      for (size_t i = 0; i < asked; ++i) values->push_back(firstValue(ld, entry, attributes[i]));
    }
    return true;
  }
  static std::string firstValue(LDAP* ld, LDAPMessage* entry, const char* attribute) {
    berval** raw = ldap_get_values_len(ld, entry, attribute);
    std::unique_ptr<berval*, ValuesFreer> values(raw);
    if (raw == nullptr || raw[0] == nullptr) return std::string();
    return std::string(raw[0]->bv_val, raw[0]->bv_len);
  }
  bool searchSubtree(const std::string& filter, const char* attribute, std::string* dn = nullptr) {
    return search(base, LDAP_SCOPE_SUBTREE, filter, {attribute}, 1, dn);
  }
  bool readBase(const std::string& dn, const char* attribute) {
    return search(dn, LDAP_SCOPE_BASE, "(objectClass=*)", {attribute}, 1);
  }

  // One modify of the entry on the connection given (one change per attribute).
  bool modify(LDAP* ld, const std::string& dn, const std::vector<Change>& changes) {
    std::vector<Mod> mods(changes.begin(), changes.end());
    std::vector<LDAPMod*> pointers;
    for (Mod& mod : mods) pointers.push_back(&mod.mod);
    pointers.push_back(nullptr);
    ++sent;
    return ldap_modify_ext_s(ld, dn.c_str(), pointers.data(), nullptr, nullptr) == LDAP_SUCCESS;
  }
  bool replace(const std::string& dn, const char* attribute, std::vector<std::string> values) {
    return modify(admin.get(), dn, {{LDAP_MOD_REPLACE, attribute, std::move(values)}});
  }
  bool add(const std::string& dn, const std::vector<Change>& attributes) {
    std::vector<Mod> mods(attributes.begin(), attributes.end());
    std::vector<LDAPMod*> pointers;
    for (Mod& mod : mods) pointers.push_back(&mod.mod);
    pointers.push_back(nullptr);
    ++sent;
    return ldap_add_ext_s(admin.get(), dn.c_str(), pointers.data(), nullptr, nullptr) == LDAP_SUCCESS;
  }
  bool remove(const std::string& dn) {
    ++sent;
    return ldap_delete_ext_s(admin.get(), dn.c_str(), nullptr, nullptr) == LDAP_SUCCESS;
  }

  // A paged subtree search at the library's page size; true when it found `expected` entries.
  bool pagedSearch(const std::string& searchBase, const std::string& filter, size_t expected) {
    std::string cookie;
    size_t found = 0;
    do {
      berval cookieValue{static_cast<ber_len_t>(cookie.size()), cookie.empty() ? nullptr : &cookie[0]};
      LDAPControl* paged = nullptr;
      if (ldap_create_page_control(reader.get(), objects::searchPageSize, &cookieValue, 0, &paged) !=
          LDAP_SUCCESS)
        return false;
      std::unique_ptr<LDAPControl, ControlFreer> pagedOwner(paged);
      LDAPControl* controls[] = {paged, nullptr};
      const char* attributes[] = {"distinguishedName", nullptr};
      LDAPMessage* raw = nullptr;
      ++sent;
      int code = ldap_search_ext_s(reader.get(), searchBase.c_str(), LDAP_SCOPE_SUBTREE, filter.c_str(),
                                   const_cast<char**>(attributes), 0, controls, nullptr, nullptr, 0, &raw);
      Message page(raw);
      if (code != LDAP_SUCCESS) return false;
      found += static_cast<size_t>(ldap_count_entries(reader.get(), page.get()));
      cookie = nextCookie(page.get());
    } while (!cookie.empty());
    return found == expected;
  }
  std::string nextCookie(LDAPMessage* page) {
    LDAPControl** raw = nullptr;
    if (ldap_parse_result(reader.get(), page, nullptr, nullptr, nullptr, nullptr, &raw, 0) != LDAP_SUCCESS) return {};
    std::unique_ptr<LDAPControl*, ControlsFreer> response(raw);
    LDAPControl* control = raw == nullptr ? nullptr : ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, raw, nullptr);
    berval next{0, nullptr};
    ber_int_t estimate = 0;
    if (control == nullptr || ldap_parse_pageresponse_control(reader.get(), control, &estimate, &next) != 0) return {};
    std::string cookie(next.bv_val != nullptr ? next.bv_val : "", next.bv_len);
    ber_memfree(next.bv_val);
    return cookie;
  }
};

// The object's descriptor (owner, group and DACL: what a reader without the security privilege
// may ask for), its SID and classes; then the bind account's SID and groups: a token's makings.
bool readAccessCheckInputs(Floor& f) {
  static char sdFlagsOid[] = "1.2.840.113556.1.4.801";
  static char ownerGroupDacl[] = {0x30, 0x03, 0x02, 0x01, 0x07};
  LDAPControl sdFlags{sdFlagsOid, {sizeof ownerGroupDacl, ownerGroupDacl}, 1};
  LDAPControl* controls[] = {&sdFlags, nullptr};
  std::string account;
  return f.search(f.wanda(), LDAP_SCOPE_BASE, "(objectClass=*)", {"nTSecurityDescriptor", "objectSid", "objectClass"},
                  1, nullptr, controls) &&
         f.searchSubtree("(userPrincipalName=" + env("ORVISTAL_TEST_BIND_USER") + ")", "objectSid", &account) &&
         f.search(account, LDAP_SCOPE_BASE, "(objectClass=*)", {"tokenGroups", "objectSid"}, 1);
}

std::string filterBytes(const std::string& bytes) {
  static const char hex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += '\\';
    out += hex[c >> 4];
    out += hex[c & 0xF];
  }
  return out;
}

// The primary group of an account: the group whose SID is the account's domain part and the
// account's primaryGroupID.
bool searchPrimaryGroup(Floor& f, const std::string& accountSid, const std::string& primaryGroupId) {
  if (accountSid.size() < 12 || primaryGroupId.empty()) return false;
  unsigned long rid = std::strtoul(primaryGroupId.c_str(), nullptr, 10);
  std::string groupSid = accountSid.substr(0, accountSid.size() - 4);
  for (int i = 0; i < 4; ++i) groupSid += static_cast<char>((rid >> (8 * i)) & 0xFF);
  return f.searchSubtree("(&(objectClass=group)(objectSid=" + filterBytes(groupSid) + "))", "distinguishedName");
}

// An account found by one search or read that brings its SID and primary group (and its
// memberOf, for the group lists), then its primary group.
bool readGroupsOf(Floor& f, const std::string& base, int scope, const std::string& filter) {
  std::vector<std::string> values;
  return f.search(base, scope, filter, {"objectSid", "primaryGroupID", "memberOf"}, 1, nullptr, nullptr, &values) &&
         searchPrimaryGroup(f, values[0], values[1]);
}

const char aliceFilter[] = "(&(objectClass=user)(sAMAccountName=alice))";
const char showDeletedOid[] = "1.2.840.113556.1.4.417";
// What the bulk job reads of each user.
const char* const bulkAttributes[] = {"mail", "description", "otherTelephone", "userAccountControl", "accountExpires"};

// The tombstone of the seeded deleted-user, found once.
const std::string& tombstone(Floor& f) {
  static std::string dn;
  if (dn.empty()) {
    LDAPControl showDeleted{const_cast<char*>(showDeletedOid), {0, nullptr}, 1};
    LDAPControl* controls[] = {&showDeleted, nullptr};
    f.searchOn(f.admin.get(), "CN=Deleted Objects," + f.base, LDAP_SCOPE_ONELEVEL, "(sAMAccountName=deleted-user)",
               {"1.1"}, 1, &dn, controls);
  }
  return dn;
}

std::string uniqueAccountName() {
  static int count = 0;
  return "orvb-f" + std::to_string(getpid() % 100000) + "-" + std::to_string(++count);
}

// As a new account is made: disabled, with its account and principal names.
bool addUser(Floor& f) {
  std::string name = uniqueAccountName();
  f.added = "CN=" + name + "," + objects::writablesContainer();
  return f.add(f.added, {{LDAP_MOD_ADD, "objectClass", {"user"}},
                         {LDAP_MOD_ADD, "sAMAccountName", {name}},
                         {LDAP_MOD_ADD, "userAccountControl", {"514"}},
                         {LDAP_MOD_ADD, "userPrincipalName", {name + "@" + f.domain}}});
}

// The user's own change: a bind as the user, then the old password deleted and the new one added
// in one modify. Each new password is one the account never had (its history is kept).
bool changePassword(Floor& f) {
  std::string user = "orvb-change@" + f.domain;
  if (f.password == objects::changingUserPassword &&
      !f.replace(objects::changingUser(), "unicodePwd", {objects::unicodePwd(f.password)}))
    return false;
  std::string next = "Bench.Floor." + std::to_string(getpid()) + "." + std::to_string(++f.turn);
  ++f.sent;
  if (!simpleBind(f.verifier.get(), user, f.password)) return false;
  if (!f.modify(f.verifier.get(), objects::changingUser(),
                {{LDAP_MOD_DELETE, "unicodePwd", {objects::unicodePwd(f.password)}},
                 {LDAP_MOD_ADD, "unicodePwd", {objects::unicodePwd(next)}}}))
    return false;
  f.password = next;
  return true;
}

// Five attributes of each bulk user, one base read a user (the DNs found once, untimed).
bool readBulkUsers(Floor& f) {
  if (f.bulkUsers.empty()) {
    for (int i = 0; i < objects::bulkUserCount; ++i)
      f.bulkUsers.push_back("CN=" + objects::bulkUserName(i) + "," + objects::bulkUsersContainer());
  }
  for (const std::string& user : f.bulkUsers) {
    std::vector<std::string> values;
    if (!f.search(user, LDAP_SCOPE_BASE, "(objectClass=user)", {bulkAttributes[0], bulkAttributes[1], bulkAttributes[2],
                  bulkAttributes[3], bulkAttributes[4]}, 1, nullptr, nullptr, &values) ||
        values[0].empty())
      return false;
  }
  return true;
}

struct FloorCase {
  const char* name;
  std::function<bool(Floor&)> run;
  std::function<bool(Floor&)> before = {};  // untimed, before each call
  std::function<bool(Floor&)> after = {};   // untimed, after each call
  bench::Rounds rounds = {};
};

// A write of one attribute of one of the benchmarks' objects, as an administrator: one modify,
// its values alternating between two lists so that every call changes the entry.
FloorCase alternatingWrite(const char* name, std::string (*dn)(), const char* attribute,
                           std::vector<std::string> first, std::vector<std::string> second) {
  return {name, [=](Floor& f) { return f.replace(dn(), attribute, ++f.turn % 2 ? first : second); }};
}

// The least LDAP work of each native's job, one row per benchmark case.
std::vector<FloorCase> floorCases() {
  return {
      {"wInit", [](Floor& f) { return f.readBase("", LDAP_NO_ATTRS); }},
      {"wGetUserDsn bare",
       [](Floor& f) {
         std::string dn;
         return f.searchSubtree(aliceFilter, "distinguishedName", &dn) &&
                f.readBase(dn, "userPrincipalName");
       }},
      {"wGetUserDsn NT4", [](Floor& f) { return f.searchSubtree("(sAMAccountName=alice)", "distinguishedName"); }},
      {"wGetUserDsn UPN",
       [](Floor& f) { return f.searchSubtree("(userPrincipalName=alice@" + f.domain + ")", "distinguishedName"); }},
      {"wGetUserDsn DN", [](Floor& f) { return f.readBase(f.alice(), "userPrincipalName"); }},
      {"wTranslateName NT4>DN",
       [](Floor& f) { return f.searchSubtree("(sAMAccountName=alice)", "distinguishedName"); }},
      {"wGetGroupDsn bare",
       [](Floor& f) { return f.searchSubtree("(&(objectClass=group)(sAMAccountName=g-devs))", "distinguishedName"); }},
      {"wGetGroupDsn DN", [](Floor& f) { return f.readBase(f.gDevs(), "objectClass"); }},
      {"wVerifyPassword",
       [](Floor& f) {
         ++f.sent;
         return simpleBind(f.verifier.get(), "alice@" + f.domain, "Alice.Pw.123");
       }},
      {"wIsUserContainerNode", [](Floor& f) { return f.readBase(f.people(), "objectClass"); }},
      {"wGetChildUserContainers",
       [](Floor& f) {
         return f.search("OU=Orvistal," + f.base, LDAP_SCOPE_ONELEVEL, "(objectClass=*)", {"objectClass"}, -1);
       }},
      // A named user's or group's attribute: one read that also checks the object's class.
      {"wGetUserAttributeString DN",
       [](Floor& f) { return f.search(f.alice(), LDAP_SCOPE_BASE, "(objectClass=user)", {"mail"}, 1); }},
      {"wGetUserAttributeStringArray DN",
       [](Floor& f) { return f.search(f.alice(), LDAP_SCOPE_BASE, "(objectClass=user)", {"otherTelephone"}, 1); }},
      {"wGetUserAttributeLargeInt DN",
       [](Floor& f) { return f.search(f.alice(), LDAP_SCOPE_BASE, "(objectClass=user)", {"accountExpires"}, 1); }},
      {"wGetGroupAttributeString DN",
       [](Floor& f) { return f.search(f.gDist(), LDAP_SCOPE_BASE, "(objectClass=group)", {"mail"}, 1); }},
      {"wGetUserAttributeInt DN",
       [](Floor& f) {
         return f.search(f.alice(), LDAP_SCOPE_BASE, "(objectClass=user)", {"userAccountControl"}, 1);
       }},
      {"wGetGroupAttributeInt DN",
       [](Floor& f) { return f.search(f.gDevs(), LDAP_SCOPE_BASE, "(objectClass=group)", {"groupType"}, 1); }},
      {"wGetGroupAttributeStringArray DN",
       [](Floor& f) { return f.search(f.gDevs(), LDAP_SCOPE_BASE, "(objectClass=group)", {"member"}, 1); }},
      // The writes, as an administrator, to the benchmarks' own objects: one modify each.
      alternatingWrite("wSetUserAttributeString DN", objects::writableUser, "description", {"bench a"}, {"bench b"}),
      alternatingWrite("wSetUserAttributeInt DN", objects::writableUser, "orvistalNumbers", {"1"}, {"2"}),
      alternatingWrite("wSetUserAttributeLargeInt DN", objects::writableUser, "orvistalCounter", {"4294967298"},
                       {"-1"}),
      alternatingWrite("wSetUserAttributeStringArray DN", objects::writableUser, "orvistalTags", {"one", "two"},
                       {"three", "two"}),
      alternatingWrite("wSetGroupAttributeString DN", objects::writableGroup, "description", {"bench a"},
                       {"bench b"}),
      alternatingWrite("wSetGroupAttributeInt DN", objects::writableGroup, "groupType", {"-2147483640"},
                       {"-2147483646"}),
      alternatingWrite("wSetGroupAttributeStringArray DN", objects::writableGroup, "member",
                       {objects::writableUser()}, {objects::changingUser()}),
      alternatingWrite("wSetNodeAttributeString", objects::writableNode, "description", {"bench a"}, {"bench b"}),
      alternatingWrite("wSetNodeAttributeStringArray", objects::writableNode, "otherTelephone",
                       {"+1 555 0100", "+1 555 0101"}, {"+1 555 0102", "+1 555 0101"}),
      // The account changes, as an administrator: an add (the user deleted after it, untimed), a
      // delete (of a user added before it, untimed), a password reset, an unlock (of an account
      // that is not locked: the same write), and the user's own password change.
      {"wAddUser", addUser, {}, [](Floor& f) { return f.remove(f.added); }},
      {"wDeleteUser DN", [](Floor& f) { return f.remove(f.added); }, addUser},
      {"wResetPassword DN",
       [](Floor& f) {
         return f.replace(objects::writableUser(), "unicodePwd", {objects::unicodePwd(objects::writableUserPassword)});
       }},
      {"wUnlockAccount DN", [](Floor& f) { return f.replace(objects::writableUser(), "lockoutTime", {"0"}); }},
      {"wChangePassword", changePassword},
      {"wIsGroupNode", [](Floor& f) { return f.readBase(f.gDevs(), "objectClass"); }},
      {"wIsUserNode", [](Floor& f) { return f.readBase(f.alice(), "objectClass"); }},
      {"wGetNodeAttributeString", [](Floor& f) { return f.readBase(f.alice(), "mail"); }},
      {"wGetNodeAttributeStringArray", [](Floor& f) { return f.readBase(f.alice(), "otherTelephone"); }},
      {"wGetDeletedNodeAttributeString",
       [](Floor& f) {
         LDAPControl showDeleted{const_cast<char*>(showDeletedOid), {0, nullptr}, 1};
         LDAPControl* controls[] = {&showDeleted, nullptr};
         const std::string& dn = tombstone(f);
         return !dn.empty() && f.searchOn(f.admin.get(), dn, LDAP_SCOPE_BASE, "(objectClass=*)", {"sAMAccountName"}, 1,
                                          nullptr, controls);
       }},
      {"wGetNodeGuid", [](Floor& f) { return f.readBase(f.alice(), "objectGUID"); }},
      {"wGetParentNode", [](Floor& f) { return f.readBase(f.alice(), "1.1"); }},
      {"wCheckNodeAccess", readAccessCheckInputs},
      {"wSearchNodes",
       [](Floor& f) {
         return f.search(f.people(), LDAP_SCOPE_SUBTREE, "(objectClass=user)", {"distinguishedName"}, -1);
       }},
      {"wSearchNodes 10,000 entries",
       [](Floor& f) {
         return f.pagedSearch(objects::contactsContainer(), objects::contactFilter, objects::contactCount);
       },
       {},
       {},
       bench::largeSetRounds},
      {"wSearchDeletedNodes",
       [](Floor& f) {
         LDAPControl showDeleted{const_cast<char*>(showDeletedOid), {0, nullptr}, 1};
         LDAPControl* controls[] = {&showDeleted, nullptr};
         return f.search("CN=Deleted Objects," + f.base, LDAP_SCOPE_SUBTREE, "(sAMAccountName=orvistal-never-deleted)",
                         {"distinguishedName"}, 0, nullptr, controls);
       }},
      {"wFindNodeValues",
       [](Floor& f) { return f.search(f.people(), LDAP_SCOPE_SUBTREE, "(objectClass=user)", {"cn"}, -1); }},
      {"wGetNodeAttributes",
       [](Floor& f) {
         return f.search(f.people(), LDAP_SCOPE_SUBTREE, "(sAMAccountName=alice)", {"cn", "userPrincipalName"}, 1);
       }},
      {"wGetNetbiosDomain",
       [](Floor& f) {
         return f.search("CN=Partitions,CN=Configuration," + f.base, LDAP_SCOPE_ONELEVEL,
                         "(&(objectClass=crossRef)(dnsRoot=" + f.domain + ")(nETBIOSName=*))", {"nETBIOSName"}, 1);
       }},
      {"wIsMemberOf",
       [](Floor& f) {
         std::string member = f.alice();
         berval value{static_cast<ber_len_t>(member.size()), member.data()};
         ++f.sent;
         return ldap_compare_ext_s(f.reader.get(), f.gDevs().c_str(), "member", &value, nullptr, nullptr) ==
                LDAP_COMPARE_TRUE;
       }},
      {"wGetUserPrimaryGroup", [](Floor& f) { return readGroupsOf(f, f.base, LDAP_SCOPE_SUBTREE, aliceFilter); }},
      {"wGetUserGroups", [](Floor& f) { return readGroupsOf(f, f.base, LDAP_SCOPE_SUBTREE, aliceFilter); }},
      {"wGetMachineGroups",
       [](Floor& f) {
         return readGroupsOf(f, "CN=WS01,OU=Machines,OU=Orvistal," + f.base, LDAP_SCOPE_BASE, "(objectClass=*)");
       }},
      {"bulk: 5 attributes of 10,000 users", readBulkUsers, {}, {}, bench::bulkRounds},
  };
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> wanted(argv + 1, argv + argc);
  std::string server = env("ORVISTAL_TEST_SERVER");
  if (server.empty()) {
    std::fprintf(stderr, "floor: the test directory's environment is not set\n");
    return 2;
  }
  Floor floor;
  floor.reader = openTls(server);
  floor.verifier = openTls(server);
  floor.admin = openTls(server);
  if (!floor.reader || !floor.verifier || !floor.admin ||
      !simpleBind(floor.reader.get(), env("ORVISTAL_TEST_BIND_USER"), env("ORVISTAL_TEST_BIND_PASSWORD")) ||
      !simpleBind(floor.admin.get(), env("ORVISTAL_TEST_ADMIN_USER"), env("ORVISTAL_TEST_ADMIN_PASSWORD"))) {
    std::fprintf(stderr, "floor: cannot open and bind a StartTLS connection to %s\n", server.c_str());
    return 1;
  }
  int failures = 0;
  for (FloorCase& floorCase : floorCases()) {
    if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), floorCase.name) == wanted.end()) continue;
    auto untimed = [&](const std::function<bool(Floor&)>& step) {
      return step ? std::function<bool()>([&] { return step(floor); }) : std::function<bool()>();
    };
    std::function<bool()> before = untimed(floorCase.before), after = untimed(floorCase.after);
    bench::Latency latency = bench::measure([&] { return floorCase.run(floor); }, before, after, floorCase.rounds);
    bench::printLatency("floor", floorCase.name, latency);
    if (!latency.ok) ++failures;
    if (before) before();
    int sentBefore = floor.sent;
    floorCase.run(floor);
    std::printf("floor-ops\t%s\t%d\n", floorCase.name, floor.sent - sentBefore);
    if (after) after();
  }
  return failures == 0 ? 0 : 1;
}
