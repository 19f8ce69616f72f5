// IADsContainer::Create with relative names that hold escapes: the object gets exactly the
// escaped name in the container it was made in, and a name of several values is refused.
#include <unistd.h>

#include <chrono>

#include "adsi/directory_env.h"

using namespace adsitest;

namespace {

class CreateOps : public DirectoryTest {
 protected:
  HRESULT create(const std::string& relativeName, const std::string& account, IADs** made) {
    Ptr<IADsContainer> people;
    HRESULT hr = openAsAdmin(s.people(), IID_IADsContainer, people.put());
    if (FAILED(hr)) return hr;
    Ptr<IDispatch> created;
    hr = people->Create(Bstr("user").b, Bstr(relativeName).b, reinterpret_cast<IDispatch**>(created.put()));
    if (FAILED(hr)) return hr;
    hr = created->QueryInterface(IID_IADs, reinterpret_cast<void**>(made));
    if (FAILED(hr)) return hr;
    Var name;
    name.v.vt = VT_BSTR;
    name.v.bstrVal = SysAllocString(wide(account).c_str());
    hr = (*made)->Put(Bstr("sAMAccountName").b, name.v);
    return FAILED(hr) ? hr : (*made)->SetInfo();
  }
  std::string suffix() const {
    return std::to_string(getpid() % 100000) + "-" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 100000);
  }
  void remove(const std::string& dn) {
    Ptr<IADsDeleteOps> doomed;
    if (openAsAdmin(dn, IID_IADsDeleteOps, doomed.put()) == S_OK) doomed->DeleteObject(0);
  }
};

TEST_F(CreateOps, EscapedRelativeNamesAreKeptAsWritten) {
  std::string tag = suffix();
  struct Case {
    std::string relativeName;
    std::string commonName;
  } cases[] = {
      {"CN=c" + tag + "\\,OU\\=Groups", "c" + tag + ",OU=Groups"},
      {"cn=p" + tag + "\\+sn\\=other", "p" + tag + "+sn=other"},
      {"CN=e" + tag + "\\3dx", "e" + tag + "=x"},
      {"CN=\\#h" + tag, "#h" + tag},
  };
  int n = 0;
  for (const Case& c : cases) {
    Ptr<IADs> made;
    std::string account = "co" + tag.substr(0, 12) + std::to_string(++n);
    ASSERT_EQ(create(c.relativeName, account, reinterpret_cast<IADs**>(made.put())), S_OK) << c.relativeName;
    std::string dn = c.relativeName + "," + s.people();
    Ptr<IADs> found;
    ASSERT_EQ(openAsAdmin(dn, IID_IADs, found.put()), S_OK) << dn;
    Var cn;
    EXPECT_EQ(found->Get(Bstr("cn").b, &cn.v), S_OK);
    EXPECT_EQ(bstrText(cn.v.bstrVal), c.commonName);
    BSTR parent = nullptr;
    ASSERT_EQ(found->get_Parent(&parent), S_OK);
    EXPECT_EQ(bstrText(parent), s.path(s.people()));
    SysFreeString(parent);
    remove(dn);
  }
  // The comma's container got nothing.
  Ptr<IADs> elsewhere;
  EXPECT_EQ(openAsAdmin("CN=c" + tag + ",OU=Groups,OU=Orvistal," + s.baseDn, IID_IADs, elsewhere.put()),
            static_cast<HRESULT>(0x80072030));
}

TEST_F(CreateOps, NamesOfSeveralValuesAndUnboundReadsAreRefused) {
  Ptr<IADsContainer> people;
  ASSERT_EQ(openAsAdmin(s.people(), IID_IADsContainer, people.put()), S_OK);
  Ptr<IDispatch> created;
  EXPECT_EQ(people->Create(Bstr("user").b, Bstr("CN=a+sn=b").b, reinterpret_cast<IDispatch**>(created.put())),
            E_ADS_BAD_PATHNAME);
  EXPECT_EQ(people->Create(Bstr("user").b, Bstr("CN=a,OU=b").b, reinterpret_cast<IDispatch**>(created.put())),
            E_ADS_BAD_PATHNAME);
  ASSERT_EQ(people->Create(Bstr("user").b, Bstr("CN=unbound" + suffix()).b,
                           reinterpret_cast<IDispatch**>(created.put())),
            S_OK);
  Ptr<IADsUser> user;
  ASSERT_EQ(created->QueryInterface(IID_IADsUser, user.put()), S_OK);
  EXPECT_EQ(user->GetInfo(), E_ADS_OBJECT_UNBOUND);
  EXPECT_EQ(user->SetPassword(Bstr("Not.Yet.Pw1").b), E_ADS_OBJECT_UNBOUND);
  Ptr<IADsDeleteOps> deleteOps;
  ASSERT_EQ(created->QueryInterface(IID_IADsDeleteOps, deleteOps.put()), S_OK);
  EXPECT_EQ(deleteOps->DeleteObject(0), E_ADS_OBJECT_UNBOUND);
}

}  // namespace
