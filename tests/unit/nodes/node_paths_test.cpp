#include "nodes/node_paths.h"

#include <gtest/gtest.h>

#include "directory/values.h"

namespace {

struct PathCase {
  const char16_t* path;
  const char16_t* dn;
};

TEST(DistinguishedNameOfPath, SchemeAndHostAreCutNamesNever) {
  const PathCase cases[] = {
      {u"LDAP://dc1/OU=Staff,DC=alpha,DC=beta", u"OU=Staff,DC=alpha,DC=beta"},
      {u"LDAP://dc1.alpha.beta:636/OU=Staff,DC=alpha,DC=beta", u"OU=Staff,DC=alpha,DC=beta"},
      {u"ldap://dc1/OU=Staff,DC=alpha", u"OU=Staff,DC=alpha"},
      // Without a host the path holds only the name.
      {u"LDAP://OU=Staff,DC=alpha,DC=beta", u"OU=Staff,DC=alpha,DC=beta"},
      // An escaped slash is part of a name, with or without a host before it.
      {u"LDAP://OU=in\\/out,DC=alpha", u"OU=in\\/out,DC=alpha"},
      {u"LDAP://dc1/OU=in\\/out,DC=alpha", u"OU=in\\/out,DC=alpha"},
      {u"LDAP://CN=a\\/b\\/c,OU=x\\/y,DC=alpha", u"CN=a\\/b\\/c,OU=x\\/y,DC=alpha"},
      // An unescaped slash after an "=" is inside the name, not after a host.
      {u"LDAP://CN=a/b,DC=alpha", u"CN=a/b,DC=alpha"},
      {u"LDAP://CN=Hart\\, Ronan,OU=x,DC=alpha", u"CN=Hart\\, Ronan,OU=x,DC=alpha"},
      {u"LDAP://dc1", u"dc1"},
      {u"LDAP://", u""},
      {u"OU=Staff,DC=alpha", u"OU=Staff,DC=alpha"},
      {u"", u""},
  };
  for (const PathCase& c : cases) EXPECT_EQ(distinguishedNameOfPath(c.path), c.dn) << std::u16string(c.path).size();
}

TEST(CheckListWrite, OnlyAClearMayGoWithoutValues) {
  VariantArray none;
  EXPECT_EQ(checkListWrite(ADS_PROPERTY_CLEAR, none), S_OK);
  for (LONG code : {0L, 2L, 3L, 4L, 9L}) EXPECT_EQ(checkListWrite(code, none), E_INVALIDARG) << code;
  VariantArray one;
  VARIANT value = intVariant(1);
  ASSERT_EQ(one.append(value), S_OK);
  for (LONG code : {1L, 2L, 3L, 4L, 9L}) EXPECT_EQ(checkListWrite(code, one), S_OK) << code;
}

}  // namespace
