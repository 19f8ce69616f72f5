#include <gtest/gtest.h>

#include "nodes/netbios_domain.h"

namespace {

TEST(CrossRefFilter, LowerCaseAndEscaped) {
  EXPECT_EQ(crossRefFilter(u"Orvistal.TEST"), u"(&(objectcategory=crossRef)(dnsRoot=orvistal.test)(netbiosName=*))");
  // Only A to Z change case.
  EXPECT_EQ(crossRefFilter(u"ÄB.Ö"), u"(&(objectcategory=crossRef)(dnsRoot=Äb.Ö)(netbiosName=*))");
  EXPECT_EQ(crossRefFilter(u"*"), u"(&(objectcategory=crossRef)(dnsRoot=\\2a)(netbiosName=*))");
  EXPECT_EQ(crossRefFilter(u"a)(dnsRoot=*"),
            u"(&(objectcategory=crossRef)(dnsRoot=a\\29\\28dnsroot=\\2a)(netbiosName=*))");
  // A name longer than any fixed buffer is built whole.
  EXPECT_EQ(crossRefFilter(WideString(2000, u'a')).size(), 2000u + 53u);
}

}  // namespace
