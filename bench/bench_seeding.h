// The seeding of the benchmarks' own objects (bench_objects.h) through the stand-in's LDAP
// connection, as an administrator: only what is missing is added.
#pragma once
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "adsi/connection.h"
#include "adsi/ldap_owners.h"
#include "adsi/pool.h"
#include "adsi/text.h"
#include "bench_objects.h"

namespace bench::objects {

namespace adsi = winapi::adsi;

using Attribute = std::pair<std::string, std::vector<std::string>>;

inline std::shared_ptr<adsi::Connection> openConnection(const char* user, const char* password) {
  adsi::Credentials credentials;
  credentials.mode = adsi::BindMode::Simple;
  credentials.user = env(user);
  credentials.password = adsi::Secret(env(password));
  std::shared_ptr<adsi::Connection> connection;
  if (FAILED(adsi::openFreshConnection({env("ORVISTAL_TEST_SERVER"), 636}, credentials, &connection))) return nullptr;
  return connection;
}

inline std::shared_ptr<adsi::Connection> openAdmin() {
  return openConnection("ORVISTAL_TEST_ADMIN_USER", "ORVISTAL_TEST_ADMIN_PASSWORD");
}

// One add of the values given; an entry already there counts as made.
inline bool addEntry(adsi::Connection* connection, const std::string& dn, const std::vector<Attribute>& attributes) {
  std::vector<std::vector<berval>> values(attributes.size());
  std::vector<std::vector<berval*>> valuePointers(attributes.size());
  std::vector<LDAPMod> mods(attributes.size());
  std::vector<LDAPMod*> modPointers;
  for (size_t i = 0; i < attributes.size(); ++i) {
    for (const std::string& value : attributes[i].second)
      values[i].push_back({static_cast<ber_len_t>(value.size()), const_cast<char*>(value.data())});
    for (berval& value : values[i]) valuePointers[i].push_back(&value);
    valuePointers[i].push_back(nullptr);
    mods[i].mod_op = LDAP_MOD_ADD | LDAP_MOD_BVALUES;
    mods[i].mod_type = const_cast<char*>(attributes[i].first.c_str());
    mods[i].mod_bvalues = valuePointers[i].data();
    modPointers.push_back(&mods[i]);
  }
  modPointers.push_back(nullptr);
  adsi::LdapOutcome outcome = connection->add(dn, modPointers.data(), nullptr);
  if (!outcome.ok() && outcome.code != LDAP_ALREADY_EXISTS) {
    std::fprintf(stderr, "cannot add %s: %d %s\n", dn.c_str(), outcome.code, outcome.diagnostic.c_str());
    return false;
  }
  return true;
}

// The DNs of a paged subtree search, as ldapsearch -E pr=100 reads them.
inline bool pagedDistinguishedNames(adsi::Connection* connection, const std::string& base, const std::string& filter,
                                    std::vector<std::string>* names) {
  std::string cookie;
  do {
    berval cookieValue{static_cast<ber_len_t>(cookie.size()), cookie.empty() ? nullptr : &cookie[0]};
    adsi::LdapControl paged;
    if (ldap_create_page_control(connection->handle(), searchPageSize, &cookieValue, 0, paged.put()) != LDAP_SUCCESS)
      return false;
    LDAPControl* controls[] = {paged.get(), nullptr};
    adsi::LdapMessage page;
    adsi::LdapControls response;
    if (!connection->search(base, LDAP_SCOPE_SUBTREE, filter, {"distinguishedName"}, controls, 0, 0, &page, &response)
             .ok())
      return false;
    for (LDAPMessage* entry = ldap_first_entry(connection->handle(), page.get()); entry != nullptr;
         entry = ldap_next_entry(connection->handle(), entry))
      names->push_back(adsi::firstEntryValue(connection->handle(), entry, "distinguishedName"));
    cookie.clear();
    LDAPControl* control = response ? ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, response.get(), nullptr) : nullptr;
    berval next{0, nullptr};
    ber_int_t estimate = 0;
    if (control != nullptr && ldap_parse_pageresponse_control(connection->handle(), control, &estimate, &next) == 0) {
      cookie.assign(next.bv_val != nullptr ? next.bv_val : "", next.bv_len);
      ber_memfree(next.bv_val);
    }
  } while (!cookie.empty());
  return true;
}

// The container, and what is missing of `count` entries matching filter below it.
template <typename MakeEntry>
bool seedSet(adsi::Connection* admin, const std::string& container, const char* filter, int count,
             MakeEntry makeEntry) {
  std::vector<std::string> present;
  if (!pagedDistinguishedNames(admin, container, filter, &present) &&
      !addEntry(admin, container, {{"objectClass", {"container"}}}))
    return false;
  if (static_cast<int>(present.size()) >= count) return true;
  std::fprintf(stderr, "seeding %d entries below %s (once per directory; many minutes)...\n", count,
               container.c_str());
  for (int i = 0; i < count; ++i) {
    std::pair<std::string, std::vector<Attribute>> entry = makeEntry(i);
    if (!addEntry(admin, entry.first + "," + container, entry.second)) return false;
  }
  return true;
}

inline bool seedContacts(adsi::Connection* admin) {
  return seedSet(admin, contactsContainer(), contactFilter, contactCount, [](int i) {
    char cn[32];
    std::snprintf(cn, sizeof cn, "bench-%05d", i);
    return std::make_pair("CN=" + std::string(cn), std::vector<Attribute>{{"objectClass", {"contact"}}});
  });
}

// Users without a password (disabled): the five attributes the bulk read asks for are set or
// made by the directory (userAccountControl, accountExpires).
inline bool seedBulkUsers(adsi::Connection* admin) {
  return seedSet(admin, bulkUsersContainer(), bulkUserFilter, bulkUserCount, [](int i) {
    std::string name = bulkUserName(i);
    return std::make_pair("CN=" + name, std::vector<Attribute>{{"objectClass", {"user"}},
                                                              {"sAMAccountName", {name}},
                                                              {"description", {"bench user " + std::to_string(i)}},
                                                              {"mail", {name + "@example.org"}},
                                                              {"otherTelephone", {"+1 555 0100", "+1 555 0101"}}});
  });
}

inline std::vector<Attribute> enabledUser(const std::string& name, const std::string& password) {
  return {{"objectClass", {"user"}},
          {"sAMAccountName", {name}},
          {"userPrincipalName", {name + "@" + env("ORVISTAL_TEST_DOMAIN")}},
          {"unicodePwd", {unicodePwd(password)}},
          {"userAccountControl", {"512"}}};
}

inline bool seedWritables(adsi::Connection* admin) {
  return addEntry(admin, writablesContainer(), {{"objectClass", {"container"}}}) &&
         addEntry(admin, writableUser(), enabledUser("orvb-user", writableUserPassword)) &&
         addEntry(admin, changingUser(), enabledUser("orvb-change", changingUserPassword)) &&
         addEntry(admin, writableGroup(),
                  {{"objectClass", {"group"}}, {"sAMAccountName", {"orvb-group"}}, {"groupType", {"-2147483646"}}}) &&
         addEntry(admin, writableNode(), {{"objectClass", {"contact"}}});
}

inline bool seedWritables() {
  std::shared_ptr<adsi::Connection> admin = openAdmin();
  return admin && seedWritables(admin.get());
}

// Everything the side-by-side benchmark needs.
inline bool seedAll() {
  std::shared_ptr<adsi::Connection> admin = openAdmin();
  return admin && seedWritables(admin.get()) && seedContacts(admin.get()) && seedBulkUsers(admin.get());
}

}  // namespace bench::objects
