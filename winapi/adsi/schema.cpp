#include "adsi/schema.h"

#include <algorithm>
#include <iterator>
#include <mutex>
#include <set>

#include "adsi/connection.h"
#include "adsi/errors.h"
#include "adsi/test_hooks.h"
#include "adsi/text.h"

namespace winapi::adsi {

namespace {

struct SyntaxRow {
  const char* oid;
  ADSTYPE type;
};

// Sorted by OID text. The LDAP syntax OIDs ADSI knows; any other is a case-ignore string.
constexpr SyntaxRow syntaxTable[] = {
    {"1.2.840.113556.1.4.1221", ADSTYPE_CASE_IGNORE_STRING},  // OR-Name
    {"1.2.840.113556.1.4.1362", ADSTYPE_CASE_EXACT_STRING},   // case-sensitive string
    {"1.2.840.113556.1.4.903", ADSTYPE_DN_WITH_BINARY},
    {"1.2.840.113556.1.4.904", ADSTYPE_DN_WITH_STRING},
    {"1.2.840.113556.1.4.905", ADSTYPE_CASE_IGNORE_STRING},  // teletex
    {"1.2.840.113556.1.4.906", ADSTYPE_LARGE_INTEGER},
    {"1.2.840.113556.1.4.907", ADSTYPE_NT_SECURITY_DESCRIPTOR},
    {"1.3.6.1.4.1.1466.115.121.1.12", ADSTYPE_DN_STRING},
    {"1.3.6.1.4.1.1466.115.121.1.15", ADSTYPE_CASE_IGNORE_STRING},  // directory string
    {"1.3.6.1.4.1.1466.115.121.1.23", ADSTYPE_OCTET_STRING},        // fax
    {"1.3.6.1.4.1.1466.115.121.1.24", ADSTYPE_UTC_TIME},            // generalized time
    {"1.3.6.1.4.1.1466.115.121.1.26", ADSTYPE_CASE_IGNORE_STRING},  // IA5 string
    {"1.3.6.1.4.1.1466.115.121.1.27", ADSTYPE_INTEGER},
    {"1.3.6.1.4.1.1466.115.121.1.28", ADSTYPE_OCTET_STRING},  // JPEG
    {"1.3.6.1.4.1.1466.115.121.1.36", ADSTYPE_NUMERIC_STRING},
    {"1.3.6.1.4.1.1466.115.121.1.38", ADSTYPE_CASE_IGNORE_STRING},  // OID
    {"1.3.6.1.4.1.1466.115.121.1.4", ADSTYPE_OCTET_STRING},         // audio
    {"1.3.6.1.4.1.1466.115.121.1.40", ADSTYPE_OCTET_STRING},
    {"1.3.6.1.4.1.1466.115.121.1.44", ADSTYPE_PRINTABLE_STRING},
    {"1.3.6.1.4.1.1466.115.121.1.5", ADSTYPE_OCTET_STRING},  // binary
    {"1.3.6.1.4.1.1466.115.121.1.51", ADSTYPE_OCTET_STRING},
    {"1.3.6.1.4.1.1466.115.121.1.53", ADSTYPE_UTC_TIME},  // UTC time
    {"1.3.6.1.4.1.1466.115.121.1.7", ADSTYPE_BOOLEAN},
    {"1.3.6.1.4.1.1466.115.121.1.8", ADSTYPE_OCTET_STRING},  // certificate
    {"1.3.6.1.4.1.1466.115.121.1.9", ADSTYPE_OCTET_STRING},  // certificate list
};

// Tokens of a description: "(", ")", "$", quoted strings (quotes removed) and bare words.
std::vector<std::string> tokenize(std::string_view text) {
  std::vector<std::string> tokens;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      ++i;
    } else if (c == '(' || c == ')' || c == '$') {
      tokens.emplace_back(1, c);
      ++i;
    } else if (c == '\'') {
      size_t end = text.find('\'', i + 1);
      if (end == std::string_view::npos) end = text.size();
      tokens.emplace_back(text.substr(i + 1, end - i - 1));
      i = end + 1;
    } else {
      size_t end = i;
      while (end < text.size() && text[end] != ' ' && text[end] != '(' && text[end] != ')' && text[end] != '$' &&
             text[end] != '\'' && text[end] != '\t' && text[end] != '\n')
        ++end;
      tokens.emplace_back(text.substr(i, end - i));
      i = end;
    }
  }
  return tokens;
}

// One value or a parenthesised "$"-separated list starting at tokens[*i].
std::vector<std::string> readList(const std::vector<std::string>& tokens, size_t* i) {
  std::vector<std::string> values;
  if (*i >= tokens.size()) return values;
  if (tokens[*i] != "(") {
    values.push_back(tokens[(*i)++]);
    return values;
  }
  ++*i;
  while (*i < tokens.size() && tokens[*i] != ")") {
    if (tokens[*i] != "$") values.push_back(tokens[*i]);
    ++*i;
  }
  if (*i < tokens.size()) ++*i;
  return values;
}

// The keyword/value pairs of a description, after its opening "(" and numeric OID.
bool walkDescription(std::string_view description, std::string* oid,
                     std::vector<std::pair<std::string, std::vector<std::string>>>* fields) {
  std::vector<std::string> tokens = tokenize(description);
  if (tokens.size() < 2 || tokens.front() != "(" || tokens.back() != ")") return false;
  *oid = tokens[1];
  size_t i = 2;
  while (i + 1 < tokens.size()) {
    std::string keyword = tokens[i++];
    static const std::set<std::string> flags = {
        "SINGLE-VALUE", "COLLECTIVE", "NO-USER-MODIFICATION", "OBSOLETE", "STRUCTURAL", "ABSTRACT", "AUXILIARY"};
    if (flags.count(keyword) != 0) {
      fields->push_back({keyword, {}});
      continue;
    }
    if (i + 1 >= tokens.size()) break;
    fields->push_back({keyword, readList(tokens, &i)});
  }
  return !oid->empty();
}

}  // namespace

ADSTYPE adsTypeOfSyntax(std::string_view syntaxOid) {
  // A syntax may carry a length bound: "1.2.3{64}".
  std::string_view oid = syntaxOid.substr(0, syntaxOid.find('{'));
  auto row = std::lower_bound(std::begin(syntaxTable), std::end(syntaxTable), oid,
                              [](const SyntaxRow& r, std::string_view key) { return std::string_view(r.oid) < key; });
  if (row == std::end(syntaxTable) || std::string_view(row->oid) != oid) return ADSTYPE_CASE_IGNORE_STRING;
  return row->type;
}

bool parseAttributeType(std::string_view description, AttributeInfo* out) {
  std::string oid;
  std::vector<std::pair<std::string, std::vector<std::string>>> fields;
  if (!walkDescription(description, &oid, &fields)) return false;
  *out = AttributeInfo();
  for (const auto& [keyword, values] : fields) {
    if (keyword == "NAME" && !values.empty()) out->name = values.front();
    if (keyword == "SYNTAX" && !values.empty()) out->syntax = values.front().substr(0, values.front().find('{'));
    if (keyword == "SINGLE-VALUE") out->singleValued = true;
  }
  if (out->name.empty()) out->name = oid;
  out->type = adsTypeOfSyntax(out->syntax);
  return true;
}

bool parseObjectClass(std::string_view description, ClassInfo* out) {
  std::string oid;
  std::vector<std::pair<std::string, std::vector<std::string>>> fields;
  if (!walkDescription(description, &oid, &fields)) return false;
  *out = ClassInfo();
  for (const auto& [keyword, values] : fields) {
    if (keyword == "NAME" && !values.empty()) out->name = values.front();
    if (keyword == "SUP") out->superclasses = values;
    if (keyword == "MUST") out->must = values;
    if (keyword == "MAY") out->may = values;
    if (keyword == "ABSTRACT") out->kind = ClassKind::Abstract;
    if (keyword == "AUXILIARY") out->kind = ClassKind::Auxiliary;
  }
  if (out->name.empty()) out->name = oid;
  return true;
}

bool parseContentRule(std::string_view description, std::string* oid, std::string* name,
                      std::vector<std::string>* auxiliaries) {
  std::vector<std::pair<std::string, std::vector<std::string>>> fields;
  if (!walkDescription(description, oid, &fields)) return false;
  name->clear();
  auxiliaries->clear();
  for (const auto& [keyword, values] : fields) {
    if (keyword == "NAME" && !values.empty()) *name = values.front();
    if (keyword == "AUX") *auxiliaries = values;
  }
  return true;
}

void Schema::addAttribute(AttributeInfo info) {
  std::string key = toLowerAscii(info.name);
  attributes_[key] = std::move(info);
}

void Schema::addClass(ClassInfo info, std::string_view oid) {
  std::string key = toLowerAscii(info.name);
  classByOid_[std::string(oid)] = key;
  classes_[key] = std::move(info);
}

void Schema::addContentRule(std::string_view oid, std::string_view name, std::vector<std::string> auxiliaries) {
  std::string key = toLowerAscii(name);
  auto byOid = classByOid_.find(std::string(oid));
  if (byOid != classByOid_.end()) key = byOid->second;
  auto it = classes_.find(key);
  if (it != classes_.end()) it->second.auxiliaries = std::move(auxiliaries);
}

const AttributeInfo* Schema::attribute(std::string_view name) const {
  auto it = attributes_.find(toLowerAscii(name));
  return it == attributes_.end() ? nullptr : &it->second;
}

const ClassInfo* Schema::objectClass(std::string_view name) const {
  auto it = classes_.find(toLowerAscii(name));
  return it == classes_.end() ? nullptr : &it->second;
}

ADSTYPE Schema::typeOf(std::string_view name) const {
  const AttributeInfo* info = attribute(name);
  return info == nullptr ? ADSTYPE_CASE_IGNORE_STRING : info->type;
}

std::vector<const ClassInfo*> Schema::closure(std::string_view className) const {
  std::vector<const ClassInfo*> found;
  std::set<std::string> seen;
  std::vector<std::string> pending{std::string(className)};
  while (!pending.empty()) {
    std::string name = toLowerAscii(pending.back());
    pending.pop_back();
    if (!seen.insert(name).second) continue;
    const ClassInfo* info = objectClass(name);
    if (info == nullptr) continue;
    found.push_back(info);
    for (const std::string& next : info->superclasses) pending.push_back(next);
    for (const std::string& next : info->auxiliaries) pending.push_back(next);
  }
  return found;
}

bool Schema::isSubclassOf(std::string_view className, std::string_view ancestor) const {
  std::set<std::string> seen;
  std::vector<std::string> pending;
  if (const ClassInfo* start = objectClass(className)) pending = start->superclasses;
  while (!pending.empty()) {
    std::string name = toLowerAscii(pending.back());
    pending.pop_back();
    if (equalsIgnoreCase(name, ancestor)) return true;
    if (!seen.insert(name).second) continue;
    if (const ClassInfo* info = objectClass(name))
      pending.insert(pending.end(), info->superclasses.begin(), info->superclasses.end());
  }
  return false;
}

std::string mostDerivedStructuralClass(const Schema& schema, const std::vector<std::string>& objectClasses) {
  std::vector<const ClassInfo*> structural;
  for (const std::string& name : objectClasses) {
    const ClassInfo* info = schema.objectClass(name);
    if (info != nullptr && info->kind == ClassKind::Structural) structural.push_back(info);
  }
  for (const ClassInfo* candidate : structural) {
    bool derivedFurther = false;
    for (const ClassInfo* other : structural)
      derivedFurther |= other != candidate && schema.isSubclassOf(other->name, candidate->name);
    if (!derivedFurther) return candidate->name;
  }
  return objectClasses.empty() ? std::string() : objectClasses.back();
}

namespace {

HRESULT readSubschemaName(Connection* connection, std::string* name) {
  LdapMessage result;
  LdapOutcome outcome =
      connection->search("", LDAP_SCOPE_BASE, "(objectClass=*)", {"subschemaSubentry"}, nullptr, 0, 0, &result);
  if (!outcome.ok()) return failWith(outcome);
  LDAPMessage* entry = ldap_first_entry(connection->handle(), result.get());
  if (entry == nullptr) return failLdap(LDAP_NO_SUCH_OBJECT, "the server names no subschema entry");
  std::vector<std::string> values = entryValues(connection->handle(), entry, "subschemaSubentry");
  if (values.empty()) return failLdap(LDAP_NO_SUCH_OBJECT, "the server names no subschema entry");
  *name = values.front();
  return S_OK;
}

HRESULT loadSchema(Connection* connection, std::shared_ptr<Schema>* out) {
  std::string subschema;
  HRESULT hr = readSubschemaName(connection, &subschema);
  if (FAILED(hr)) return hr;
  // Operational attributes of the subschema entry come only when asked for by name.
  LdapMessage result;
  LdapOutcome outcome =
      connection->search(subschema, LDAP_SCOPE_BASE, "(objectClass=*)",
                         {"attributeTypes", "objectClasses", "dITContentRules"}, nullptr, 0, 0, &result);
  if (!outcome.ok()) return failWith(outcome);
  LDAPMessage* entry = ldap_first_entry(connection->handle(), result.get());
  if (entry == nullptr) return failLdap(LDAP_NO_SUCH_OBJECT, "the subschema entry is empty");
  auto schema = std::make_shared<Schema>();
  for (const std::string& text : entryValues(connection->handle(), entry, "attributeTypes")) {
    AttributeInfo info;
    if (parseAttributeType(text, &info)) schema->addAttribute(std::move(info));
  }
  for (const std::string& text : entryValues(connection->handle(), entry, "objectClasses")) {
    ClassInfo info;
    std::vector<std::pair<std::string, std::vector<std::string>>> unused;
    std::string oid;
    if (parseObjectClass(text, &info) && walkDescription(text, &oid, &unused)) schema->addClass(std::move(info), oid);
  }
  for (const std::string& text : entryValues(connection->handle(), entry, "dITContentRules")) {
    std::string oid, name;
    std::vector<std::string> auxiliaries;
    if (parseContentRule(text, &oid, &name, &auxiliaries)) schema->addContentRule(oid, name, std::move(auxiliaries));
  }
  *out = std::move(schema);
  return S_OK;
}

struct SchemaCache {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<const Schema>> byServer;
};

SchemaCache& schemaCache() {
  static SchemaCache* cache = new SchemaCache();
  return *cache;
}

}  // namespace

HRESULT schemaFor(Connection* connection, std::shared_ptr<const Schema>* out) {
  std::string key = toLowerAscii(connection->endpoint().host) + ":" + std::to_string(connection->endpoint().port);
  SchemaCache& cache = schemaCache();
  {
    std::lock_guard<std::mutex> lock(cache.mutex);
    auto it = cache.byServer.find(key);
    if (it != cache.byServer.end()) {
      *out = it->second;
      return S_OK;
    }
  }
  // Read outside the lock: two first readers may both load; the first stored is kept.
  std::shared_ptr<Schema> loaded;
  HRESULT hr = loadSchema(connection, &loaded);
  if (FAILED(hr)) return hr;
  std::lock_guard<std::mutex> lock(cache.mutex);
  auto inserted = cache.byServer.emplace(key, std::move(loaded));
  *out = inserted.first->second;
  return S_OK;
}

namespace testing {
void clearSchemaCache() {
  SchemaCache& cache = schemaCache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  cache.byServer.clear();
}
}  // namespace testing

}  // namespace winapi::adsi
