// Subschema descriptions as AD and Samba publish them, and the syntax → ADSTYPE table.
#include "adsi/schema.h"

#include <gtest/gtest.h>

namespace adsi = winapi::adsi;

namespace {

TEST(SyntaxTable, EverySyntaxHasTheTypeAdsiGivesIt) {
  struct Row {
    const char* oid;
    ADSTYPE type;
  };
  const Row rows[] = {
      {"1.3.6.1.4.1.1466.115.121.1.7", ADSTYPE_BOOLEAN},
      {"1.3.6.1.4.1.1466.115.121.1.27", ADSTYPE_INTEGER},
      {"1.2.840.113556.1.4.906", ADSTYPE_LARGE_INTEGER},
      {"1.3.6.1.4.1.1466.115.121.1.15", ADSTYPE_CASE_IGNORE_STRING},
      {"1.2.840.113556.1.4.1362", ADSTYPE_CASE_EXACT_STRING},
      {"1.2.840.113556.1.4.905", ADSTYPE_CASE_IGNORE_STRING},
      {"1.3.6.1.4.1.1466.115.121.1.44", ADSTYPE_PRINTABLE_STRING},
      {"1.3.6.1.4.1.1466.115.121.1.26", ADSTYPE_CASE_IGNORE_STRING},
      {"1.3.6.1.4.1.1466.115.121.1.36", ADSTYPE_NUMERIC_STRING},
      {"1.3.6.1.4.1.1466.115.121.1.38", ADSTYPE_CASE_IGNORE_STRING},
      {"1.3.6.1.4.1.1466.115.121.1.40", ADSTYPE_OCTET_STRING},
      {"1.2.840.113556.1.4.907", ADSTYPE_NT_SECURITY_DESCRIPTOR},
      {"1.3.6.1.4.1.1466.115.121.1.53", ADSTYPE_UTC_TIME},
      {"1.3.6.1.4.1.1466.115.121.1.24", ADSTYPE_UTC_TIME},
      {"1.3.6.1.4.1.1466.115.121.1.12", ADSTYPE_DN_STRING},
      {"1.2.840.113556.1.4.903", ADSTYPE_DN_WITH_BINARY},
      {"1.2.840.113556.1.4.904", ADSTYPE_DN_WITH_STRING},
      {"1.2.840.113556.1.4.1221", ADSTYPE_CASE_IGNORE_STRING},
      {"1.3.6.1.4.1.1466.115.121.1.4", ADSTYPE_OCTET_STRING},
      {"1.3.6.1.4.1.1466.115.121.1.5", ADSTYPE_OCTET_STRING},
      {"1.3.6.1.4.1.1466.115.121.1.8", ADSTYPE_OCTET_STRING},
      {"1.3.6.1.4.1.1466.115.121.1.9", ADSTYPE_OCTET_STRING},
      {"1.3.6.1.4.1.1466.115.121.1.23", ADSTYPE_OCTET_STRING},
      {"1.3.6.1.4.1.1466.115.121.1.28", ADSTYPE_OCTET_STRING},
      {"1.3.6.1.4.1.1466.115.121.1.51", ADSTYPE_OCTET_STRING},
      {"1.3.6.1.4.1.1466.115.121.1.15{64}", ADSTYPE_CASE_IGNORE_STRING},
      {"1.3.6.1.4.1.1466.115.121.1.40{16}", ADSTYPE_OCTET_STRING},
  };
  for (const Row& row : rows) EXPECT_EQ(adsi::adsTypeOfSyntax(row.oid), row.type) << row.oid;
  for (const char* unknown : {"", "1.2.3", "1.3.6.1.4.1.1466.115.121.1.43", "1.3.6.1.4.1.1466.115.121.1.400"})
    EXPECT_EQ(adsi::adsTypeOfSyntax(unknown), ADSTYPE_CASE_IGNORE_STRING) << unknown;
}

TEST(SubschemaDescriptions, AttributeTypesWithQuotedOrBareSyntax) {
  adsi::AttributeInfo info;
  ASSERT_TRUE(adsi::parseAttributeType(
      "( 1.2.840.113556.1.4.159 NAME 'accountExpires' SYNTAX '1.2.840.113556.1.4.906' SINGLE-VALUE )", &info));
  EXPECT_EQ(info.name, "accountExpires");
  EXPECT_EQ(info.syntax, "1.2.840.113556.1.4.906");
  EXPECT_EQ(info.type, ADSTYPE_LARGE_INTEGER);
  EXPECT_TRUE(info.singleValued);

  ASSERT_TRUE(adsi::parseAttributeType(
      "( 2.5.4.3 NAME ( 'cn' 'commonName' ) DESC 'a (name)' SYNTAX 1.3.6.1.4.1.1466.115.121.1.15{64} )", &info));
  EXPECT_EQ(info.name, "cn");
  EXPECT_EQ(info.syntax, "1.3.6.1.4.1.1466.115.121.1.15");
  EXPECT_FALSE(info.singleValued);

  ASSERT_TRUE(adsi::parseAttributeType("( 1.2.3.4 )", &info));
  EXPECT_EQ(info.name, "1.2.3.4");
  EXPECT_EQ(info.type, ADSTYPE_CASE_IGNORE_STRING);
  for (const char* broken : {"", "(", ")", "1.2.3 NAME 'x'", "( 1.2.3 NAME 'x'", "( 'unterminated )"})
    EXPECT_FALSE(adsi::parseAttributeType(broken, &info)) << broken;
}

TEST(SubschemaDescriptions, ClassesAndContentRulesBuildTheClosure) {
  adsi::Schema schema;
  auto addClass = [&](const char* text) {
    adsi::ClassInfo info;
    ASSERT_TRUE(adsi::parseObjectClass(text, &info)) << text;
    std::string oid = std::string(text).substr(2, std::string(text).find(' ', 2) - 2);
    schema.addClass(info, oid);
  };
  addClass("( 2.5.6.0 NAME 'top' ABSTRACT MUST (objectClass $ instanceType) MAY (cn $ description) )");
  addClass("( 2.5.6.6 NAME 'person' SUP top STRUCTURAL MUST (cn ) MAY (sn $ telephoneNumber ) )");
  addClass("( 1.2.840.113556.1.5.9 NAME 'user' SUP person STRUCTURAL MAY (userAccountControl) )");
  addClass("( 1.2.840.113556.1.5.6 NAME 'securityPrincipal' SUP top AUXILIARY MUST (objectSid $ sAMAccountName ) )");
  std::string oid, name;
  std::vector<std::string> auxiliaries;
  ASSERT_TRUE(adsi::parseContentRule("( 1.2.840.113556.1.5.9 NAME 'user' AUX ( securityPrincipal ) )", &oid, &name,
                                     &auxiliaries));
  EXPECT_EQ(oid, "1.2.840.113556.1.5.9");
  EXPECT_EQ(auxiliaries, std::vector<std::string>{"securityPrincipal"});
  schema.addContentRule(oid, name, auxiliaries);

  const adsi::ClassInfo* top = schema.objectClass("TOP");
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->kind, adsi::ClassKind::Abstract);
  EXPECT_EQ(schema.objectClass("securityPrincipal")->kind, adsi::ClassKind::Auxiliary);
  std::vector<std::string> must;
  for (const adsi::ClassInfo* info : schema.closure("user"))
    must.insert(must.end(), info->must.begin(), info->must.end());
  std::sort(must.begin(), must.end());
  EXPECT_EQ(must, (std::vector<std::string>{"cn", "instanceType", "objectClass", "objectSid", "sAMAccountName"}));
  EXPECT_TRUE(schema.closure("noSuchClass").empty());

  adsi::AttributeInfo attribute;
  ASSERT_TRUE(adsi::parseAttributeType(
      "( 1.2.840.113556.1.4.8 NAME 'userAccountControl' SYNTAX '1.3.6.1.4.1.1466.115.121.1.27' SINGLE-VALUE )",
      &attribute));
  schema.addAttribute(attribute);
  EXPECT_EQ(schema.typeOf("USERACCOUNTCONTROL"), ADSTYPE_INTEGER);
  EXPECT_EQ(schema.typeOf("defaultNamingContext"), ADSTYPE_CASE_IGNORE_STRING);
}

}  // namespace
