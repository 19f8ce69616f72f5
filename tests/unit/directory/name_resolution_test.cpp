#include <gtest/gtest.h>

#include "directory/ldap_filter.h"
#include "directory/name_resolution.h"

namespace {

TEST(AccountNameForm, ToldApartByTheCharactersPresent) {
  struct Case {
    const char16_t* name;
    AccountNameForm form;
  };
  const Case cases[] = {
      {u"CN=Jo Smith,OU=Staff,DC=alpha,DC=beta", AccountNameForm::DistinguishedName},
      {u",=", AccountNameForm::DistinguishedName},
      {u"ALPHA\\jsmith", AccountNameForm::QualifiedName},
      {u"jsmith@alpha.beta", AccountNameForm::QualifiedName},
      {u"CN=x", AccountNameForm::BareName},
      {u"a,b", AccountNameForm::BareName},
      {u"jsmith", AccountNameForm::BareName},
      {u"", AccountNameForm::BareName},
      {u"CN=a\\,b@c,DC=x", AccountNameForm::DistinguishedName},
  };
  for (const Case& c : cases) EXPECT_EQ(accountNameFormOf(c.name), c.form);
}

TEST(EscapeFilterValue, SpecialCharactersCannotWidenTheFilter) {
  EXPECT_EQ(escapeFilterValue(u"jsmith"), u"jsmith");
  EXPECT_EQ(escapeFilterValue(u"*"), u"\\2a");
  EXPECT_EQ(escapeFilterValue(u"a)(objectClass=*"), u"a\\29\\28objectClass=\\2a");
  EXPECT_EQ(escapeFilterValue(u"back\\slash"), u"back\\5cslash");
  std::u16string withNul = u"a";
  withNul.push_back(0);
  withNul += u"b";
  EXPECT_EQ(escapeFilterValue(withNul), u"a\\00b");
  EXPECT_EQ(escapeFilterValue(u"Zo\u00eb"), u"Zo\u00eb") << "other characters are kept as they are";
}

}  // namespace
