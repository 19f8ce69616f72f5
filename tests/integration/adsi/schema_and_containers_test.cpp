// The abstract schema's class objects, an object's schema class, and the enumeration of a
// container's children, against the test directory.
#include <cstring>
#include <set>

#include "adsi/object.h"
#include "adsi/test_hooks.h"
#include "directory_env.h"

namespace adsitest {
namespace {

std::vector<std::string> namesIn(const VARIANT& value) {
  std::vector<std::string> names;
  if (value.vt == VT_BSTR) names.push_back(bstrText(value.bstrVal));
  if (value.vt == (VT_ARRAY | VT_VARIANT)) {
    const VARIANT* elements = static_cast<const VARIANT*>(value.parray->pvData);
    for (ULONG i = 0; i < value.parray->rgsabound[0].cElements; ++i) names.push_back(bstrText(elements[i].bstrVal));
  }
  return names;
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& n : names)
    if (n == name) return true;
  return false;
}

class SchemaClasses : public DirectoryTest {
 protected:
  std::string schemaOf(const std::string& dn) {
    Ptr<IADs> object;
    EXPECT_EQ(openAsBind(dn, IID_IADs, object.put()), S_OK);
    if (object.get() == nullptr) return {};
    BSTR schema = nullptr;
    EXPECT_EQ(object->get_Schema(&schema), S_OK);
    std::string text = bstrText(schema);
    SysFreeString(schema);
    return text;
  }
  HRESULT openClass(const std::string& name, Ptr<IADsClass>* out) {
    return open("LDAP://" + s.server + "/schema/" + name, s.bindUser, s.bindPassword, ADS_SECURE_AUTHENTICATION,
                IID_IADsClass, out->put());
  }
};

TEST_F(SchemaClasses, ObjectsNameTheirMostDerivedStructuralClass) {
  std::string prefix = "LDAP://" + s.server + "/schema/";
  EXPECT_EQ(schemaOf(s.alice()), prefix + "user");
  EXPECT_EQ(schemaOf("CN=WS01,OU=Machines,OU=Orvistal," + s.baseDn), prefix + "computer");
  EXPECT_EQ(schemaOf("OU=People,OU=Orvistal," + s.baseDn), prefix + "organizationalUnit");
  EXPECT_EQ(schemaOf(s.baseDn), prefix + "domainDNS");
  EXPECT_EQ(schemaOf("CN=g-devs,OU=Groups,OU=Orvistal," + s.baseDn), prefix + "group");
  EXPECT_EQ(schemaOf("CN=Ext Contact," + s.people()), prefix + "contact");
}

TEST_F(SchemaClasses, ClassObjectGivesNameContainmentMandatoryAttributesAndGuid) {
  Ptr<IADsClass> ou;
  ASSERT_EQ(openClass("organizationalUnit", &ou), S_OK);
  BSTR name = nullptr;
  ASSERT_EQ(ou->get_Name(&name), S_OK);
  EXPECT_EQ(bstrText(name), "organizationalUnit");
  SysFreeString(name);
  Var containment;
  ASSERT_EQ(ou->get_Containment(&containment.v), S_OK);
  std::vector<std::string> inferiors = namesIn(containment.v);
  EXPECT_TRUE(contains(inferiors, "user"));
  EXPECT_TRUE(contains(inferiors, "organizationalUnit"));
  EXPECT_TRUE(contains(inferiors, "group"));

  Ptr<IADsClass> user;
  ASSERT_EQ(openClass("user", &user), S_OK);
  Var mandatory;
  ASSERT_EQ(user->get_MandatoryProperties(&mandatory.v), S_OK);
  std::vector<std::string> attributes = namesIn(mandatory.v);
  EXPECT_TRUE(contains(attributes, "sAMAccountName")) << "through the auxiliary class securityPrincipal";
  EXPECT_TRUE(contains(attributes, "objectClass"));

  Var guid;
  Bstr guidName("schemaIDGUID");
  ASSERT_EQ(user->Get(guidName.b, &guid.v), S_OK);
  ASSERT_EQ(guid.v.vt, VT_ARRAY | VT_UI1);
  ASSERT_EQ(guid.v.parray->rgsabound[0].cElements, 16u);
  // The user class's schemaIDGUID is the same in every forest: bf967aba-0de6-11d0-a285-00aa003049e2.
  const unsigned char expected[16] = {0xba, 0x7a, 0x96, 0xbf, 0xe6, 0x0d, 0xd0, 0x11,
                                      0xa2, 0x85, 0x00, 0xaa, 0x00, 0x30, 0x49, 0xe2};
  EXPECT_EQ(std::memcmp(guid.v.parray->pvData, expected, 16), 0);
}

TEST_F(SchemaClasses, OneContainedClassComesBackAsOneString) {
  // A group may contain only classStore.
  Ptr<IADsClass> group;
  ASSERT_EQ(openClass("group", &group), S_OK);
  Var containment;
  ASSERT_EQ(group->get_Containment(&containment.v), S_OK);
  EXPECT_EQ(containment.v.vt, VT_BSTR);
  EXPECT_EQ(namesIn(containment.v), std::vector<std::string>{"classStore"});
}

TEST_F(SchemaClasses, UnknownClassFailsToBind) {
  Ptr<IADsClass> missing;
  EXPECT_EQ(openClass("noSuchClassAnywhere", &missing), HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT));
}

TEST_F(SchemaClasses, ObjectInformationNamesTheSchemaClassPath) {
  Ptr<IDirectoryObject> alice;
  ASSERT_EQ(openAsBind(s.alice(), IID_IDirectoryObject, alice.put()), S_OK);
  ADS_OBJECT_INFO* info = nullptr;
  ASSERT_EQ(alice->GetObjectInformation(&info), S_OK);
  EXPECT_EQ(narrow(info->pszSchemaDN), "LDAP://" + s.server + "/schema/user");
  EXPECT_EQ(narrow(info->pszClassName), "user");
  EXPECT_EQ(narrow(info->pszRDN), "CN=Alice Liddell");
  FreeADsMem(info);
}

class Containers : public DirectoryTest {};

TEST_F(Containers, EnumerationWithHintsDeliversChildrenWithTheirHintedValues) {
  Ptr<IADsContainer> people;
  ASSERT_EQ(openAsBind(s.people(), IID_IADsContainer, people.put()), S_OK);
  WCHAR hint[] = u"distinguishedName";
  LPWSTR hints[] = {hint};
  Var hintArray;
  ASSERT_EQ(ADsBuildVarArrayStr(hints, 1, &hintArray.v), S_OK);
  ASSERT_EQ(people->put_Hints(hintArray.v), S_OK);
  IEnumVARIANT* enumerator = nullptr;
  ASSERT_EQ(ADsBuildEnumerator(people.get(), &enumerator), S_OK);
  std::set<std::string> names;
  HRESULT last = S_OK;
  for (;;) {
    Var element;
    ULONG fetched = 7;
    last = ADsEnumerateNext(enumerator, 1, &element.v, &fetched);
    if (last != S_OK) {
      EXPECT_EQ(fetched, 0u);
      break;
    }
    ASSERT_EQ(fetched, 1u);
    ASSERT_EQ(element.v.vt, VT_DISPATCH);
    Ptr<IADs> child;
    ASSERT_EQ(element.v.pdispVal->QueryInterface(IID_IADs, child.put()), S_OK);
    Var dn;
    Bstr property("distinguishedName");
    ASSERT_EQ(child->Get(property.b, &dn.v), S_OK);
    names.insert(bstrText(dn.v.bstrVal));
  }
  EXPECT_EQ(last, S_FALSE) << "the end is S_FALSE with nothing fetched";
  EXPECT_EQ(ADsFreeEnumerator(enumerator), S_OK);
  EXPECT_EQ(names.count(s.alice()), 1u);
  EXPECT_EQ(names.count("OU=Staff," + s.people()), 1u);
  EXPECT_EQ(names.count("OU=Engineering,OU=Staff," + s.people()), 0u) << "one level only";
}

// Every child once, whether the children fit in one page or not (then read again page by page).
TEST_F(Containers, EnumerationDeliversEveryChildOfALargeContainerOnce) {
  auto childrenOfBulk = [&]() {
    std::multiset<std::string> names;
    Ptr<IADsContainer> bulk;
    EXPECT_EQ(openAsBind("OU=Bulk,OU=Orvistal," + s.baseDn, IID_IADsContainer, bulk.put()), S_OK);
    if (bulk.get() == nullptr) return names;
    IEnumVARIANT* enumerator = nullptr;
    EXPECT_EQ(ADsBuildEnumerator(bulk.get(), &enumerator), S_OK);
    VARIANT batch[64];
    for (;;) {
      ULONG fetched = 0;
      HRESULT hr = ADsEnumerateNext(enumerator, 64, batch, &fetched);
      EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
      for (ULONG i = 0; i < fetched; ++i) {
        Ptr<IADs> child;
        BSTR name = nullptr;
        if (SUCCEEDED(batch[i].pdispVal->QueryInterface(IID_IADs, reinterpret_cast<void**>(child.put()))) &&
            SUCCEEDED(child->get_Name(&name)))
          names.insert(bstrText(name));
        SysFreeString(name);
        VariantClear(&batch[i]);
      }
      if (hr != S_OK) break;
    }
    ADsFreeEnumerator(enumerator);
    return names;
  };
  std::multiset<std::string> inOnePage = childrenOfBulk();
  EXPECT_GE(inOnePage.size(), 300u);
  winapi::adsi::testing::limitRowsWithoutPaging(64);
  std::multiset<std::string> inPages = childrenOfBulk();
  winapi::adsi::testing::limitRowsWithoutPaging(0);
  EXPECT_EQ(inPages, inOnePage);
  EXPECT_EQ(std::set<std::string>(inPages.begin(), inPages.end()).size(), inPages.size());
}

TEST_F(Containers, HintsRefuseValuesThatAreNotNames) {
  Ptr<IADsContainer> people;
  ASSERT_EQ(openAsBind(s.people(), IID_IADsContainer, people.put()), S_OK);
  VARIANT number;
  VariantInit(&number);
  number.vt = VT_I4;
  number.lVal = 3;
  EXPECT_EQ(people->put_Hints(number), E_ADS_BAD_PARAMETER);
}

}  // namespace
}  // namespace adsitest
