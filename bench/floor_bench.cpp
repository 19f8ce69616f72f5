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

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "timing.h"

namespace {

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
  int sent = 0;         // LDAP requests sent, to print each case's count

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
    size_t asked = attributes.size();
    attributes.push_back(nullptr);
    LDAPMessage* raw = nullptr;
    ++sent;
    int code = ldap_search_ext_s(reader.get(), searchBase.c_str(), scope, filter.c_str(),
                                 const_cast<char**>(attributes.data()), 0, controls, nullptr, nullptr, 0, &raw);
    Message result(raw);
    if (code != LDAP_SUCCESS) return false;
    if (expected >= 0 && ldap_count_entries(reader.get(), result.get()) != expected) return false;
    LDAPMessage* entry = ldap_first_entry(reader.get(), result.get());
    if (dn != nullptr) {
      std::unique_ptr<char, DnFreer> text(entry == nullptr ? nullptr : ldap_get_dn(reader.get(), entry));
      if (!text) return false;
      *dn = text.get();
    }
    if (values != nullptr) {
      if (entry == nullptr) return false;
      values->clear();
      for (size_t i = 0; i < asked; ++i) values->push_back(firstValue(entry, attributes[i]));
    }
    return true;
  }
  std::string firstValue(LDAPMessage* entry, const char* attribute) {
    berval** raw = ldap_get_values_len(reader.get(), entry, attribute);
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

struct FloorCase {
  const char* name;
  std::function<bool(Floor&)> run;
};

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
      {"wIsGroupNode", [](Floor& f) { return f.readBase(f.gDevs(), "objectClass"); }},
      {"wIsUserNode", [](Floor& f) { return f.readBase(f.alice(), "objectClass"); }},
      {"wGetNodeAttributeString", [](Floor& f) { return f.readBase(f.alice(), "mail"); }},
      {"wGetNodeGuid", [](Floor& f) { return f.readBase(f.alice(), "objectGUID"); }},
      {"wGetParentNode", [](Floor& f) { return f.readBase(f.alice(), "1.1"); }},
      {"wCheckNodeAccess", readAccessCheckInputs},
      {"wSearchNodes",
       [](Floor& f) {
         return f.search(f.people(), LDAP_SCOPE_SUBTREE, "(objectClass=user)", {"distinguishedName"}, -1);
       }},
      {"wSearchDeletedNodes",
       [](Floor& f) {
         static char showDeletedOid[] = "1.2.840.113556.1.4.417";
         LDAPControl showDeleted{showDeletedOid, {0, nullptr}, 1};
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
  if (!floor.reader || !floor.verifier ||
      !simpleBind(floor.reader.get(), env("ORVISTAL_TEST_BIND_USER"), env("ORVISTAL_TEST_BIND_PASSWORD"))) {
    std::fprintf(stderr, "floor: cannot open and bind a StartTLS connection to %s\n", server.c_str());
    return 1;
  }
  int failures = 0;
  for (FloorCase& floorCase : floorCases()) {
    if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), floorCase.name) == wanted.end()) continue;
    bench::Latency latency = bench::measure([&] { return floorCase.run(floor); });
    bench::printLatency("floor", floorCase.name, latency);
    if (!latency.ok) ++failures;
    int before = floor.sent;
    floorCase.run(floor);
    std::printf("floor-ops\t%s\t%d\n", floorCase.name, floor.sent - before);
  }
  return failures == 0 ? 0 : 1;
}
