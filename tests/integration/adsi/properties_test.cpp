// IADs property access against the seeded directory: every value type read back through Get,
// the object's own names, constructed attributes, and writes through Put/PutEx/SetInfo.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "adsi/directory_env.h"
#include "adsi/large_integer.h"

using namespace adsitest;

namespace {

constexpr HRESULT propertyNotFound = static_cast<HRESULT>(0x8000500D);
constexpr HRESULT cannotConvert = static_cast<HRESULT>(0x8000500C);

std::vector<VARIANT*> elementsOf(const VARIANT& value) {
  std::vector<VARIANT*> elements;
  if (value.vt != (VT_ARRAY | VT_VARIANT)) return elements;
  auto* data = static_cast<VARIANT*>(value.parray->pvData);
  for (ULONG i = 0; i < value.parray->rgsabound[0].cElements; ++i) elements.push_back(&data[i]);
  return elements;
}

std::string bytesOf(const VARIANT& value) {
  if (value.vt != (VT_ARRAY | VT_UI1)) return std::string();
  return std::string(static_cast<const char*>(value.parray->pvData), value.parray->rgsabound[0].cElements);
}

int64_t largeOf(const VARIANT& value) {
  int64_t number = 0;
  EXPECT_EQ(value.vt, VT_DISPATCH);
  if (value.vt == VT_DISPATCH) {
    EXPECT_EQ(winapi::adsi::largeIntegerValue(value.pdispVal, &number), S_OK);
  }
  return number;
}

class Properties : public DirectoryTest {
 protected:
  HRESULT get(IADs* object, const char* name, Var* out) { return object->Get(Bstr(name).b, &out->v); }
  std::string text(IADs* object, HRESULT (STDMETHODCALLTYPE IADs::*getter)(BSTR*)) {
    BSTR value = nullptr;
    EXPECT_EQ((object->*getter)(&value), S_OK);
    std::string result = bstrText(value);
    SysFreeString(value);
    return result;
  }
};

TEST_F(Properties, EveryValueTypeReadsBackAsItsVariant) {
  Ptr<IADs> alice;
  ASSERT_EQ(openAsBind(s.alice(), IID_IADs, alice.put()), S_OK);

  Var given;
  ASSERT_EQ(get(alice.get(), "givenName", &given), S_OK);
  ASSERT_EQ(given.v.vt, VT_BSTR);
  EXPECT_EQ(bstrText(given.v.bstrVal), "Alice");

  Var phones;
  ASSERT_EQ(get(alice.get(), "otherTelephone", &phones), S_OK);
  ASSERT_EQ(phones.v.vt, VT_ARRAY | VT_VARIANT);
  std::vector<std::string> numbers;
  for (VARIANT* element : elementsOf(phones.v)) {
    ASSERT_EQ(element->vt, VT_BSTR);
    numbers.push_back(bstrText(element->bstrVal));
  }
  std::sort(numbers.begin(), numbers.end());
  EXPECT_EQ(numbers, (std::vector<std::string>{"+1 555 0101", "+1 555 0102", "+1 555 0103"}));

  Var tags;
  ASSERT_EQ(get(alice.get(), "orvistalTags", &tags), S_OK);
  std::vector<std::string> tagTexts;
  for (VARIANT* element : elementsOf(tags.v)) tagTexts.push_back(bstrText(element->bstrVal));
  std::sort(tagTexts.begin(), tagTexts.end());
  EXPECT_EQ(tagTexts, (std::vector<std::string>{"alpha", "gamma delta",
                                                "\xCE\xB2"
                                                "eta"}));

  Var country;
  ASSERT_EQ(get(alice.get(), "countryCode", &country), S_OK);
  ASSERT_EQ(country.v.vt, VT_I4);
  EXPECT_EQ(country.v.lVal, 276);

  Var several;
  ASSERT_EQ(get(alice.get(), "orvistalNumbers", &several), S_OK);
  std::vector<LONG> integers;
  for (VARIANT* element : elementsOf(several.v)) {
    ASSERT_EQ(element->vt, VT_I4);
    integers.push_back(element->lVal);
  }
  std::sort(integers.begin(), integers.end());
  EXPECT_EQ(integers, (std::vector<LONG>{-42, 7, 2147483647}));

  Var flag;
  ASSERT_EQ(get(alice.get(), "orvistalFlag", &flag), S_OK);
  ASSERT_EQ(flag.v.vt, VT_BOOL);
  EXPECT_EQ(flag.v.boolVal, VARIANT_TRUE);

  // 2^53 + 1: exact only if it never went through a double.
  Var counter;
  ASSERT_EQ(get(alice.get(), "orvistalCounter", &counter), S_OK);
  EXPECT_EQ(largeOf(counter.v), 9007199254740993LL);
  Var expires;
  ASSERT_EQ(get(alice.get(), "accountExpires", &expires), S_OK);
  EXPECT_EQ(largeOf(expires.v), 9223372036854775807LL);

  Var guid;
  ASSERT_EQ(get(alice.get(), "objectGUID", &guid), S_OK);
  ASSERT_EQ(guid.v.vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(bytesOf(guid.v).size(), 16u);

  Var sid;
  ASSERT_EQ(get(alice.get(), "objectSid", &sid), S_OK);
  std::string sidBytes = bytesOf(sid.v);
  ASSERT_EQ(sidBytes.size(), 28u);  // S-1-5-21-a-b-c-rid
  EXPECT_EQ(sidBytes[0], 1);
  EXPECT_EQ(sidBytes[1], 5);

  // 2024-02-29 12:34:56 UTC as an OLE date.
  Var when;
  ASSERT_EQ(get(alice.get(), "orvistalWhen", &when), S_OK);
  ASSERT_EQ(when.v.vt, VT_DATE);
  EXPECT_NEAR(when.v.date, 45351.0 + (12 * 3600 + 34 * 60 + 56) / 86400.0, 1e-9);
  Var created;
  ASSERT_EQ(get(alice.get(), "whenCreated", &created), S_OK);
  EXPECT_EQ(created.v.vt, VT_DATE);

  Var manager;
  ASSERT_EQ(get(alice.get(), "manager", &manager), S_OK);
  ASSERT_EQ(manager.v.vt, VT_BSTR);
  EXPECT_EQ(bstrText(manager.v.bstrVal), "CN=Bob Builder," + s.people());

  Ptr<IADs> zoe;
  ASSERT_EQ(openAsBind("CN=Zo\xC3\xAB \xC3\x87"
                       "elik," +
                           s.people(),
                       IID_IADs, zoe.put()),
            S_OK);
  Var zoeName;
  ASSERT_EQ(get(zoe.get(), "displayName", &zoeName), S_OK);
  EXPECT_EQ(bstrText(zoeName.v.bstrVal),
            "Zo\xC3\xAB \xC3\x87"
            "elik");
}

TEST_F(Properties, GetExAlwaysGivesAnArrayAndAbsentPropertiesAreNotFound) {
  Ptr<IADs> alice;
  ASSERT_EQ(openAsBind(s.alice(), IID_IADs, alice.put()), S_OK);
  Var one;
  ASSERT_EQ(alice->GetEx(Bstr("givenName").b, &one.v), S_OK);
  ASSERT_EQ(one.v.vt, VT_ARRAY | VT_VARIANT);
  ASSERT_EQ(elementsOf(one.v).size(), 1u);
  EXPECT_EQ(bstrText(elementsOf(one.v)[0]->bstrVal), "Alice");

  Var guid;
  ASSERT_EQ(alice->GetEx(Bstr("objectGUID").b, &guid.v), S_OK);
  ASSERT_EQ(elementsOf(guid.v).size(), 1u);
  EXPECT_EQ(elementsOf(guid.v)[0]->vt, VT_ARRAY | VT_UI1);

  Var missing;
  EXPECT_EQ(alice->Get(Bstr("facsimileTelephoneNumber").b, &missing.v), propertyNotFound);
  EXPECT_EQ(alice->GetEx(Bstr("facsimileTelephoneNumber").b, &missing.v), propertyNotFound);
  // Constructed attributes are not part of the ordinary load.
  EXPECT_EQ(alice->Get(Bstr("tokenGroups").b, &missing.v), propertyNotFound);
}

TEST_F(Properties, GetInfoExLoadsConstructedAttributes) {
  Ptr<IADs> alice;
  ASSERT_EQ(openAsBind(s.alice(), IID_IADs, alice.put()), S_OK);
  LPWSTR names[] = {const_cast<LPWSTR>(u"tokenGroups"), const_cast<LPWSTR>(u"canonicalName")};
  Var list;
  ASSERT_EQ(ADsBuildVarArrayStr(names, 2, &list.v), S_OK);
  ASSERT_EQ(alice->GetInfoEx(list.v, 0), S_OK);
  Var groups;
  ASSERT_EQ(alice->Get(Bstr("tokenGroups").b, &groups.v), S_OK);
  std::vector<VARIANT*> sids = elementsOf(groups.v);
  EXPECT_GE(sids.size(), 4u);  // g-devs, g-staff, g-all, g-dist and Domain Users at least
  for (VARIANT* element : sids) EXPECT_EQ(element->vt, VT_ARRAY | VT_UI1);
  Var canonical;
  ASSERT_EQ(alice->Get(Bstr("canonicalName").b, &canonical.v), S_OK);
  EXPECT_EQ(bstrText(canonical.v.bstrVal), s.domain + "/Orvistal/People/Alice Liddell");

  Ptr<IADs> group;
  ASSERT_EQ(openAsBind("CN=g-primary,OU=Groups,OU=Orvistal," + s.baseDn, IID_IADs, group.put()), S_OK);
  Var token;
  ASSERT_EQ(group->GetInfoEx(Var().v, 0), E_ADS_BAD_PARAMETER);
  Var one;
  one.v.vt = VT_BSTR;
  one.v.bstrVal = SysAllocString(u"primaryGroupToken");
  ASSERT_EQ(group->GetInfoEx(one.v, 0), S_OK);
  ASSERT_EQ(group->Get(Bstr("primaryGroupToken").b, &token.v), S_OK);
  ASSERT_EQ(token.v.vt, VT_I4);
  EXPECT_GT(token.v.lVal, 1000);
}

TEST_F(Properties, LargeGroupsAreReadWhole) {
  Ptr<IADs> big;
  ASSERT_EQ(openAsBind("CN=g-big,OU=Groups,OU=Orvistal," + s.baseDn, IID_IADs, big.put()), S_OK);
  Var members;
  ASSERT_EQ(big->Get(Bstr("member").b, &members.v), S_OK);
  EXPECT_EQ(elementsOf(members.v).size(), 300u);

  // A range asked for is a range given.
  Var list;
  list.v.vt = VT_BSTR;
  list.v.bstrVal = SysAllocString(u"member;range=0-99");
  ASSERT_EQ(big->GetInfoEx(list.v, 0), S_OK);
  Var chunk;
  ASSERT_EQ(big->Get(Bstr("member").b, &chunk.v), S_OK);
  EXPECT_EQ(elementsOf(chunk.v).size(), 100u);
}

TEST_F(Properties, ObjectNamesHaveTheProvidersFormats) {
  Ptr<IADs> alice;
  ASSERT_EQ(openAsBind(s.alice(), IID_IADs, alice.put()), S_OK);
  EXPECT_EQ(text(alice.get(), &IADs::get_Name), "CN=Alice Liddell");
  EXPECT_EQ(text(alice.get(), &IADs::get_Class), "user");
  EXPECT_EQ(text(alice.get(), &IADs::get_ADsPath), s.path(s.alice()));
  EXPECT_EQ(text(alice.get(), &IADs::get_Parent), s.path(s.people()));
  EXPECT_EQ(text(alice.get(), &IADs::get_Schema), "LDAP://" + s.server + "/schema/user");
  std::string guid = text(alice.get(), &IADs::get_GUID);
  Var bytes;
  ASSERT_EQ(alice->Get(Bstr("objectGUID").b, &bytes.v), S_OK);
  std::string expected;
  char hex[3];
  for (unsigned char c : bytesOf(bytes.v)) {
    std::snprintf(hex, sizeof hex, "%02x", c);
    expected += hex;
  }
  EXPECT_EQ(guid, expected);

  Ptr<IADs> computer;
  ASSERT_EQ(openAsBind("CN=WS01,OU=Machines,OU=Orvistal," + s.baseDn, IID_IADs, computer.put()), S_OK);
  EXPECT_EQ(text(computer.get(), &IADs::get_Class), "computer");
  Ptr<IADs> ou;
  ASSERT_EQ(openAsBind("OU=People,OU=Orvistal," + s.baseDn, IID_IADs, ou.put()), S_OK);
  EXPECT_EQ(text(ou.get(), &IADs::get_Name), "OU=People");
  EXPECT_EQ(text(ou.get(), &IADs::get_Class), "organizationalUnit");
}

// Writes run as the administrator on a user made for the test and removed after it.
class Writes : public Properties {
 protected:
  void SetUp() override {
    Properties::SetUp();
    if (HasFatalFailure()) return;
    name_ = "adsi-it-" + std::to_string(getpid()) + "-" +
            std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000);
    Ptr<IADsContainer> people;
    ASSERT_EQ(openAsAdmin(s.people(), IID_IADsContainer, people.put()), S_OK);
    Ptr<IDispatch> created;
    ASSERT_EQ(people->Create(Bstr("user").b, Bstr("CN=" + name_).b, reinterpret_cast<IDispatch**>(created.put())),
              S_OK);
    Ptr<IADs> user;
    ASSERT_EQ(created->QueryInterface(IID_IADs, user.put()), S_OK);
    Var account;
    account.v.vt = VT_BSTR;
    account.v.bstrVal = SysAllocString(wide(name_.substr(0, 20)).c_str());
    ASSERT_EQ(user->Put(Bstr("sAMAccountName").b, account.v), S_OK);
    ASSERT_EQ(user->SetInfo(), S_OK);
    dn_ = "CN=" + name_ + "," + s.people();
  }
  void TearDown() override {
    if (!dn_.empty()) {
      Ptr<IADsDeleteOps> doomed;
      EXPECT_EQ(openAsAdmin(dn_, IID_IADsDeleteOps, doomed.put()), S_OK);
      if (doomed.get() != nullptr) {
        EXPECT_EQ(doomed->DeleteObject(0), S_OK);
      }
    }
    Properties::TearDown();
  }

  // A fresh bind, so what is read comes from the server, not from a cache.
  void reread(const char* property, Var* out, HRESULT expected = S_OK) {
    Ptr<IADs> fresh;
    ASSERT_EQ(openAsAdmin(dn_, IID_IADs, fresh.put()), S_OK);
    EXPECT_EQ(fresh->Get(Bstr(property).b, &out->v), expected) << property;
  }

  std::string name_;
  std::string dn_;
};

TEST_F(Writes, PutAndSetInfoWriteEveryType) {
  Ptr<IADs> user;
  ASSERT_EQ(openAsAdmin(dn_, IID_IADs, user.put()), S_OK);
  Var text;
  text.v.vt = VT_BSTR;
  text.v.bstrVal = SysAllocString(u"written by the \u00e9 test");
  ASSERT_EQ(user->Put(Bstr("description").b, text.v), S_OK);
  Var number;
  number.v.vt = VT_I4;
  number.v.lVal = 208;
  ASSERT_EQ(user->Put(Bstr("countryCode").b, number.v), S_OK);
  Var flag;
  flag.v.vt = VT_BOOL;
  flag.v.boolVal = VARIANT_FALSE;
  ASSERT_EQ(user->Put(Bstr("orvistalFlag").b, flag.v), S_OK);
  Var large;
  large.v.vt = VT_DISPATCH;
  ASSERT_EQ(winapi::adsi::newLargeInteger(-9007199254740993LL, &large.v.pdispVal), S_OK);
  ASSERT_EQ(user->Put(Bstr("orvistalCounter").b, large.v), S_OK);
  Var date;
  date.v.vt = VT_DATE;
  date.v.date = 45351.5;  // 2024-02-29 12:00:00
  ASSERT_EQ(user->Put(Bstr("orvistalWhen").b, date.v), S_OK);
  Var bytes;
  bytes.v.vt = VT_ARRAY | VT_UI1;
  bytes.v.parray = SafeArrayCreateVector(VT_UI1, 0, 4);
  std::memcpy(bytes.v.parray->pvData, "\x00\xff\x10\x80", 4);
  ASSERT_EQ(user->Put(Bstr("thumbnailPhoto").b, bytes.v), S_OK);

  // The cache shows a Put before it is sent.
  Var staged;
  ASSERT_EQ(user->Get(Bstr("countryCode").b, &staged.v), S_OK);
  EXPECT_EQ(staged.v.lVal, 208);
  HRESULT stored = user->SetInfo();
  DWORD code = 0;
  WCHAR message[512];
  ADsGetLastError(&code, message, 512, nullptr, 0);
  ASSERT_EQ(stored, S_OK) << narrow(message);

  Var back;
  reread("description", &back);
  EXPECT_EQ(bstrText(back.v.bstrVal), "written by the \xC3\xA9 test");
  Var backNumber;
  reread("countryCode", &backNumber);
  EXPECT_EQ(backNumber.v.lVal, 208);
  Var backFlag;
  reread("orvistalFlag", &backFlag);
  EXPECT_EQ(backFlag.v.boolVal, VARIANT_FALSE);
  Var backLarge;
  reread("orvistalCounter", &backLarge);
  EXPECT_EQ(largeOf(backLarge.v), -9007199254740993LL);
  Var backDate;
  reread("orvistalWhen", &backDate);
  EXPECT_NEAR(backDate.v.date, 45351.5, 1e-9);
  Var backBytes;
  reread("thumbnailPhoto", &backBytes);
  EXPECT_EQ(bytesOf(backBytes.v), std::string("\x00\xff\x10\x80", 4));
}

TEST_F(Writes, PutExAppendsDeletesReplacesAndClears) {
  Ptr<IADs> user;
  ASSERT_EQ(openAsAdmin(dn_, IID_IADs, user.put()), S_OK);
  LPWSTR first[] = {const_cast<LPWSTR>(u"one"), const_cast<LPWSTR>(u"two")};
  Var values;
  ASSERT_EQ(ADsBuildVarArrayStr(first, 2, &values.v), S_OK);
  ASSERT_EQ(user->PutEx(ADS_PROPERTY_APPEND, Bstr("orvistalTags").b, values.v), S_OK);
  ASSERT_EQ(user->SetInfo(), S_OK);

  // Appending a value already there and deleting one that is not both succeed.
  LPWSTR again[] = {const_cast<LPWSTR>(u"two"), const_cast<LPWSTR>(u"three")};
  Var more;
  ASSERT_EQ(ADsBuildVarArrayStr(again, 2, &more.v), S_OK);
  ASSERT_EQ(user->PutEx(ADS_PROPERTY_APPEND, Bstr("orvistalTags").b, more.v), S_OK);
  LPWSTR gone[] = {const_cast<LPWSTR>(u"one"), const_cast<LPWSTR>(u"never there")};
  Var remove;
  ASSERT_EQ(ADsBuildVarArrayStr(gone, 2, &remove.v), S_OK);
  ASSERT_EQ(user->PutEx(ADS_PROPERTY_DELETE, Bstr("orvistalTags").b, remove.v), S_OK);
  ASSERT_EQ(user->SetInfo(), S_OK);
  Var tags;
  reread("orvistalTags", &tags);
  std::vector<std::string> texts;
  for (VARIANT* element : elementsOf(tags.v)) texts.push_back(bstrText(element->bstrVal));
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (std::vector<std::string>{"three", "two"}));

  LPWSTR only[] = {const_cast<LPWSTR>(u"only")};
  Var replacement;
  ASSERT_EQ(ADsBuildVarArrayStr(only, 1, &replacement.v), S_OK);
  ASSERT_EQ(user->PutEx(ADS_PROPERTY_UPDATE, Bstr("orvistalTags").b, replacement.v), S_OK);
  ASSERT_EQ(user->SetInfo(), S_OK);
  Var single;
  reread("orvistalTags", &single);
  ASSERT_EQ(single.v.vt, VT_BSTR);
  EXPECT_EQ(bstrText(single.v.bstrVal), "only");

  ASSERT_EQ(user->PutEx(ADS_PROPERTY_CLEAR, Bstr("orvistalTags").b, Var().v), S_OK);
  ASSERT_EQ(user->SetInfo(), S_OK);
  Var cleared;
  reread("orvistalTags", &cleared, propertyNotFound);
  EXPECT_EQ(user->PutEx(9, Bstr("orvistalTags").b, replacement.v), E_ADS_BAD_PARAMETER);
}

TEST_F(Writes, AFailedWriteLeavesTheDirectoryUnchanged) {
  Ptr<IADs> user;
  ASSERT_EQ(openAsAdmin(dn_, IID_IADs, user.put()), S_OK);
  Var text;
  text.v.vt = VT_BSTR;
  text.v.bstrVal = SysAllocString(u"before");
  ASSERT_EQ(user->Put(Bstr("description").b, text.v), S_OK);
  ASSERT_EQ(user->SetInfo(), S_OK);

  // A value of the wrong type is refused at Put; nothing is staged.
  Var wrong;
  wrong.v.vt = VT_BSTR;
  wrong.v.bstrVal = SysAllocString(u"not a number");
  EXPECT_EQ(user->Put(Bstr("countryCode").b, wrong.v), cannotConvert);
  EXPECT_EQ(user->Put(Bstr("noSuchAttributeAnywhere").b, wrong.v), propertyNotFound);

  // One change the server refuses sinks the whole SetInfo, the good change with it.
  Var after;
  after.v.vt = VT_BSTR;
  after.v.bstrVal = SysAllocString(u"after");
  ASSERT_EQ(user->Put(Bstr("description").b, after.v), S_OK);
  Var taken;
  taken.v.vt = VT_BSTR;
  taken.v.bstrVal = SysAllocString(u"alice");
  ASSERT_EQ(user->Put(Bstr("sAMAccountName").b, taken.v), S_OK);
  HRESULT hr = user->SetInfo();
  EXPECT_TRUE(FAILED(hr));
  Var description;
  reread("description", &description);
  EXPECT_EQ(bstrText(description.v.bstrVal), "before");

  // A user without rights is refused, and the directory keeps its value too.
  Ptr<IADs> asBind;
  ASSERT_EQ(openAsBind(dn_, IID_IADs, asBind.put()), S_OK);
  ASSERT_EQ(asBind->Put(Bstr("description").b, after.v), S_OK);
  EXPECT_EQ(asBind->SetInfo(), E_ACCESSDENIED);
  Var still;
  reread("description", &still);
  EXPECT_EQ(bstrText(still.v.bstrVal), "before");
}

// A call may answer its later reads of an object from its earlier ones, but no later call may:
// a change made between two calls, by another thread's connection, is what the next call sees.
TEST_F(Writes, TheNextCallSeesAChangeMadeBetweenCalls) {
  auto describe = [&](const char16_t* text) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Ptr<IADs> user;
    Var value;
    value.v.vt = VT_BSTR;
    value.v.bstrVal = SysAllocString(text);
    HRESULT hr = openAsAdmin(dn_, IID_IADs, user.put());
    if (SUCCEEDED(hr)) hr = user->Put(Bstr("description").b, value.v);
    if (SUCCEEDED(hr)) hr = user->SetInfo();
    user.reset();
    CoUninitialize();
    return hr;
  };
  ASSERT_EQ(describe(u"first"), S_OK);
  Var first;
  reread("description", &first);
  EXPECT_EQ(bstrText(first.v.bstrVal), "first");

  HRESULT elsewhere = E_FAIL;
  std::thread([&] { elsewhere = describe(u"second"); }).join();
  ASSERT_EQ(elsewhere, S_OK);
  // This call ends and the next begins.
  CoUninitialize();
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  Var second;
  reread("description", &second);
  EXPECT_EQ(bstrText(second.v.bstrVal), "second");
}

TEST_F(Writes, GroupMembershipAndAccountOperations) {
  Ptr<IADsGroup> devs;
  ASSERT_EQ(openAsAdmin("CN=g-devs,OU=Groups,OU=Orvistal," + s.baseDn, IID_IADsGroup, devs.put()), S_OK);
  VARIANT_BOOL member = VARIANT_FALSE;
  ASSERT_EQ(devs->IsMember(Bstr(s.path(s.alice())).b, &member), S_OK);
  EXPECT_EQ(member, VARIANT_TRUE);
  ASSERT_EQ(devs->IsMember(Bstr(s.path(dn_)).b, &member), S_OK);
  EXPECT_EQ(member, VARIANT_FALSE);
  // Nested membership does not count: bob is in g-staff, not g-devs.
  ASSERT_EQ(devs->IsMember(Bstr(s.path("CN=Bob Builder," + s.people())).b, &member), S_OK);
  EXPECT_EQ(member, VARIANT_FALSE);

  Ptr<IADsUser> user;
  ASSERT_EQ(openAsAdmin(dn_, IID_IADsUser, user.put()), S_OK);
  ASSERT_EQ(user->SetPassword(Bstr("Fresh.Pw.4567").b), S_OK);
  VARIANT_BOOL locked = VARIANT_TRUE;
  ASSERT_EQ(user->get_IsAccountLocked(&locked), S_OK);
  EXPECT_EQ(locked, VARIANT_FALSE);
  EXPECT_EQ(user->put_IsAccountLocked(VARIANT_TRUE), E_ADS_BAD_PARAMETER);
  EXPECT_TRUE(FAILED(user->SetPassword(Bstr("short").b)));
}

TEST_F(Writes, ContainersCreateFindAndDeleteChildren) {
  Ptr<IADsContainer> people;
  ASSERT_EQ(openAsAdmin(s.people(), IID_IADsContainer, people.put()), S_OK);
  std::string ou = "OU=" + name_;
  Ptr<IDispatch> created;
  ASSERT_EQ(people->Create(Bstr("organizationalUnit").b, Bstr(ou).b, reinterpret_cast<IDispatch**>(created.put())),
            S_OK);
  Ptr<IADs> unit;
  ASSERT_EQ(created->QueryInterface(IID_IADs, unit.put()), S_OK);
  // Nothing exists on the server before SetInfo.
  EXPECT_EQ(unit->GetInfo(), E_ADS_OBJECT_UNBOUND);
  Ptr<IADs> notYet;
  EXPECT_EQ(openAsAdmin(ou + "," + s.people(), IID_IADs, notYet.put()), static_cast<HRESULT>(0x80072030));
  ASSERT_EQ(unit->SetInfo(), S_OK);
  EXPECT_EQ(text(unit.get(), &IADs::get_ADsPath), s.path(ou + "," + s.people()));

  Ptr<IDispatch> found;
  ASSERT_EQ(people->GetObject(Bstr("organizationalUnit").b, Bstr(ou).b, reinterpret_cast<IDispatch**>(found.put())),
            S_OK);
  Ptr<IDispatch> again;
  ASSERT_EQ(people->Create(Bstr("organizationalUnit").b, Bstr(ou).b, reinterpret_cast<IDispatch**>(again.put())), S_OK);
  Ptr<IADs> duplicate;
  ASSERT_EQ(again->QueryInterface(IID_IADs, duplicate.put()), S_OK);
  EXPECT_EQ(duplicate->SetInfo(), static_cast<HRESULT>(0x80071392));  // ERROR_OBJECT_ALREADY_EXISTS

  // A class derived from user offers IADsUser before it exists on the server.
  Ptr<IDispatch> computer;
  ASSERT_EQ(
      people->Create(Bstr("computer").b, Bstr("CN=" + name_ + "-pc").b, reinterpret_cast<IDispatch**>(computer.put())),
      S_OK);
  Ptr<IADsUser> computerAsUser;
  EXPECT_EQ(computer->QueryInterface(IID_IADsUser, computerAsUser.put()), S_OK);
  Ptr<IADsGroup> computerAsGroup;
  EXPECT_EQ(computer->QueryInterface(IID_IADsGroup, computerAsGroup.put()), E_NOINTERFACE);

  Ptr<IDispatch> unknown;
  EXPECT_EQ(people->Create(Bstr("noSuchClassAnywhere").b, Bstr("CN=x").b, reinterpret_cast<IDispatch**>(unknown.put())),
            E_ADS_UNKNOWN_OBJECT);
  EXPECT_EQ(people->Create(Bstr("user").b, Bstr("no-type-here").b, reinterpret_cast<IDispatch**>(unknown.put())),
            E_ADS_BAD_PATHNAME);

  ASSERT_EQ(people->Delete(Bstr("organizationalUnit").b, Bstr(ou).b), S_OK);
  Ptr<IADs> gone;
  EXPECT_EQ(openAsAdmin(ou + "," + s.people(), IID_IADs, gone.put()), static_cast<HRESULT>(0x80072030));
  EXPECT_EQ(people->Delete(Bstr("organizationalUnit").b, Bstr(ou).b), static_cast<HRESULT>(0x80072030));
}

TEST_F(Writes, UsersChangeTheirOwnPassword) {
  Ptr<IADsUser> asAdmin;
  ASSERT_EQ(openAsAdmin(dn_, IID_IADsUser, asAdmin.put()), S_OK);
  ASSERT_EQ(asAdmin->SetPassword(Bstr("First.Pw.2468").b), S_OK);
  Var enabled;
  enabled.v.vt = VT_I4;
  enabled.v.lVal = 512;  // a normal, enabled account
  ASSERT_EQ(asAdmin->Put(Bstr("userAccountControl").b, enabled.v), S_OK);
  ASSERT_EQ(asAdmin->SetInfo(), S_OK);

  std::string account = name_.substr(0, 20) + "@" + s.domain;
  Ptr<IADsUser> self;
  ASSERT_EQ(open(s.path(dn_), account, "First.Pw.2468", ADS_SECURE_AUTHENTICATION, IID_IADsUser, self.put()), S_OK);
  EXPECT_EQ(self->ChangePassword(Bstr("Not.The.Old.1").b, Bstr("Second.Pw.1357").b),
            static_cast<HRESULT>(0x80070056));  // ERROR_INVALID_PASSWORD
  ASSERT_EQ(self->ChangePassword(Bstr("First.Pw.2468").b, Bstr("Second.Pw.1357").b), S_OK);

  Ptr<IADs> check;
  EXPECT_EQ(open(s.path(dn_), account, "First.Pw.2468", ADS_SECURE_AUTHENTICATION, IID_IADs, check.put()),
            static_cast<HRESULT>(0x8007052E));
  EXPECT_EQ(open(s.path(dn_), account, "Second.Pw.1357", ADS_SECURE_AUTHENTICATION, IID_IADs, check.put()), S_OK);
}

}  // namespace
