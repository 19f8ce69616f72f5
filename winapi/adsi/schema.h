// The directory's schema as the provider needs it: each attribute's syntax (hence ADSTYPE and
// VARIANT type) and whether it is single-valued; each class's superclasses, auxiliary classes,
// mandatory and optional attributes. Read once per server from the subschema entry and kept.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "iads.h"

namespace winapi::adsi {

class Connection;

// The ADSTYPE ADSI gives an LDAP syntax OID; case-ignore string for one it does not know.
ADSTYPE adsTypeOfSyntax(std::string_view syntaxOid);

struct AttributeInfo {
  std::string name;
  std::string syntax;
  ADSTYPE type = ADSTYPE_CASE_IGNORE_STRING;
  bool singleValued = false;
};

enum class ClassKind { Structural, Abstract, Auxiliary };

struct ClassInfo {
  std::string name;
  ClassKind kind = ClassKind::Structural;
  std::vector<std::string> superclasses;  // direct SUP
  std::vector<std::string> auxiliaries;   // from the class's content rule
  std::vector<std::string> must;
  std::vector<std::string> may;
};

// Parsers of RFC 4512 descriptions as AD and Samba publish them (SYNTAX OIDs may be quoted).
// Pure: any input bytes are safe; false when the text is not a description.
bool parseAttributeType(std::string_view description, AttributeInfo* out);
bool parseObjectClass(std::string_view description, ClassInfo* out);
// A dITContentRule: the class it governs (by OID or NAME) and its AUX classes.
bool parseContentRule(std::string_view description, std::string* oid, std::string* name,
                      std::vector<std::string>* auxiliaries);

class Schema {
 public:
  void addAttribute(AttributeInfo info);
  void addClass(ClassInfo info, std::string_view oid);
  void addContentRule(std::string_view oid, std::string_view name, std::vector<std::string> auxiliaries);

  const AttributeInfo* attribute(std::string_view name) const;
  const ClassInfo* objectClass(std::string_view name) const;
  // Unknown attributes (rootDSE operational ones, for instance) read as case-ignore strings.
  ADSTYPE typeOf(std::string_view name) const;

  // The class with all its superclasses and auxiliary classes (and theirs), each once.
  std::vector<const ClassInfo*> closure(std::string_view className) const;
  // Whether `ancestor` is on the superclass chain of `className` (a class is not its own).
  bool isSubclassOf(std::string_view className, std::string_view ancestor) const;

 private:
  std::map<std::string, AttributeInfo> attributes_;  // keyed by lower-case name
  std::map<std::string, ClassInfo> classes_;
  std::map<std::string, std::string> classByOid_;
};

// The most derived structural class among an entry's objectClass values, judged by the
// schema's superclass chains rather than by the order the server lists them, in its
// lDAPDisplayName spelling. The last value when the schema knows none of them as structural.
std::string mostDerivedStructuralClass(const Schema& schema, const std::vector<std::string>& objectClasses);

// The schema of the server behind the connection, read on first use and shared afterwards.
HRESULT schemaFor(Connection* connection, std::shared_ptr<const Schema>* out);

}  // namespace winapi::adsi
