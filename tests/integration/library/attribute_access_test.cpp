// The attribute operations of users, groups and any object against the test directory: every
// value form through the three families, list writes with each control code, refused writes,
// deleted objects, GUIDs and parents. Writes go, as the bind account, to objects made for the
// run below the delegated OU and removed after it.
#include <ldap.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <memory>

#include "adsi/directory_env.h"
#include "directory/adsi_context.h"
#include "directory/values.h"

using namespace adsitest;

namespace {

constexpr HRESULT propertyNotFound = static_cast<HRESULT>(0x8000500D);
constexpr HRESULT noSuchObject = static_cast<HRESULT>(0x80072030);
constexpr HRESULT accessDenied = static_cast<HRESULT>(0x80070005);

using TextGetter = HRESULT (AdsiContext::*)(AttributeTarget, const WideString&, const WideString&, WideString*) const;

// One family of operations and the object of the run it works on; a node's text is read leniently.
struct Family {
  const char* name;
  AttributeTarget target;
  TextGetter getText;
};

const Family userFamily{"user", AttributeTarget::user, &AdsiContext::getAttributeString};
const Family groupFamily{"group", AttributeTarget::group, &AdsiContext::getAttributeString};
const Family nodeFamily{"node", AttributeTarget::node, &AdsiContext::getAttributeText};

// A list of texts, held until the end of the full expression that uses it.
std::unique_ptr<VariantArray> listOf(std::initializer_list<const char16_t*> texts) {
  auto list = std::make_unique<VariantArray>();
  for (const char16_t* text : texts) {
    UniqueVariant value;
    *value.get() = bstrVariant(text);
    EXPECT_EQ(list->append(*value.get()), S_OK);
  }
  return list;
}

// The texts of a list; elements that are not text show as "<type N>".
std::vector<std::u16string> textsOf(const VariantArray& list) {
  std::vector<std::u16string> texts;
  for (LONG i = 0; i < list.count(); ++i) {
    void* element = nullptr;
    EXPECT_EQ(SafeArrayPtrOfIndex(list.array(), &i, &element), S_OK);
    const VARIANT* value = static_cast<const VARIANT*>(element);
    texts.push_back(value->vt == VT_BSTR ? std::u16string(value->bstrVal)
                                         : u"<type " + wide(std::to_string(value->vt)) + u">");
  }
  return texts;
}

std::vector<std::u16string> sorted(std::vector<std::u16string> texts) {
  std::sort(texts.begin(), texts.end());
  return texts;
}

int64_t largeOf(LONG lowPart, LONG highPart) {
  return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(highPart)) << 32) |
                              static_cast<uint32_t>(lowPart));
}

class AttributeAccess : public DirectoryTest {
 protected:
  void SetUp() override {
    DirectoryTest::SetUp();
    if (HasFatalFailure()) return;
    static std::atomic<int> counter{0};
    std::string suffix = std::to_string(getpid()) + "-" + std::to_string(++counter);
    ouDn_ = "OU=attr-it-" + suffix + ",OU=Delegated,OU=Orvistal," + s.baseDn;
    ASSERT_NO_FATAL_FAILURE(
        create("OU=Delegated,OU=Orvistal," + s.baseDn, "organizationalUnit", "OU=attr-it-" + suffix, ""));
    ASSERT_NO_FATAL_FAILURE(create(ouDn_, "user", "CN=attr-user-" + suffix, "atu-" + suffix));
    ASSERT_NO_FATAL_FAILURE(create(ouDn_, "group", "CN=attr-group-" + suffix, "atg-" + suffix));
    userDn_ = wide("CN=attr-user-" + suffix + "," + ouDn_);
    groupDn_ = wide("CN=attr-group-" + suffix + "," + ouDn_);
  }
  void TearDown() override {
    if (!ouDn_.empty()) {
      Ptr<IADsDeleteOps> doomed;
      EXPECT_EQ(openAsAdmin(ouDn_, IID_IADsDeleteOps, doomed.put()), S_OK);
      if (doomed.get() != nullptr) {
        EXPECT_EQ(doomed->DeleteObject(0), S_OK);
      }
    }
    DirectoryTest::TearDown();
  }

  void create(const std::string& parent, const char* objectClass, const std::string& rdn, const std::string& account) {
    Ptr<IADsContainer> container;
    ASSERT_EQ(openAsAdmin(parent, IID_IADsContainer, container.put()), S_OK);
    Ptr<IDispatch> created;
    ASSERT_EQ(container->Create(Bstr(objectClass).b, Bstr(rdn).b, reinterpret_cast<IDispatch**>(created.put())), S_OK);
    Ptr<IADs> object;
    ASSERT_EQ(created->QueryInterface(IID_IADs, object.put()), S_OK);
    if (!account.empty()) {
      Var name;
      name.v.vt = VT_BSTR;
      name.v.bstrVal = SysAllocString(wide(account).c_str());
      ASSERT_EQ(object->Put(Bstr("sAMAccountName").b, name.v), S_OK);
    }
    ASSERT_EQ(object->SetInfo(), S_OK);
  }

  WideString objectOf(const Family& family) const {
    return &family == &groupFamily ? groupDn_ : &family == &userFamily ? userDn_ : wide(ouDn_);
  }

  AdsiContext admin{wide(s.adminUser), wide(s.adminPassword), wide(s.server), false};
  AdsiContext bound{wide(s.bindUser), wide(s.bindPassword), wide(s.server), false};
  std::string ouDn_;
  WideString userDn_;
  WideString groupDn_;
  WideString alice = wide(s.alice());
};

TEST_F(AttributeAccess, TextsRoundTripThroughEveryFamily) {
  const char16_t* texts[] = {u"plain", u"accented \u00e9 and \u00df", u"outside the BMP \U0001F600 \U0001D11E",
                             u"  spaces kept  "};
  for (const Family* family : {&userFamily, &groupFamily, &nodeFamily}) {
    WideString dn = objectOf(*family);
    for (const char16_t* text : texts) {
      EXPECT_EQ(bound.setAttributeString(family->target, dn, u"description", text), S_OK) << family->name;
      WideString back = u"untouched";
      EXPECT_EQ((bound.*family->getText)(family->target, dn, u"description", &back), S_OK) << family->name;
      EXPECT_EQ(back, text) << family->name;
    }
  }
}

TEST_F(AttributeAccess, SignedIntegersKeepTheirSign) {
  for (LONG value : {LONG(INT_MIN), LONG(-1), LONG(0), LONG(INT_MAX)}) {
    ASSERT_EQ(bound.setAttributeInt(AttributeTarget::user, userDn_, u"orvistalNumbers", value), S_OK);
    LONG back = 12345;
    EXPECT_EQ(bound.getAttributeInt(AttributeTarget::user, userDn_, u"orvistalNumbers", &back), S_OK);
    EXPECT_EQ(back, value);
    back = 12345;
    EXPECT_EQ(bound.getAttributeInt(AttributeTarget::node, userDn_, u"orvistalNumbers", &back), S_OK);
    EXPECT_EQ(back, value);
  }
  // A universal, then again a global, security group: the top bit set both times.
  for (LONG groupType : {LONG(-2147483640), LONG(-2147483646)}) {
    ASSERT_EQ(bound.setAttributeInt(AttributeTarget::group, groupDn_, u"groupType", groupType), S_OK);
    LONG back = 0;
    EXPECT_EQ(bound.getAttributeInt(AttributeTarget::group, groupDn_, u"groupType", &back), S_OK);
    EXPECT_EQ(back, groupType);
    WideString text;
    EXPECT_EQ(bound.getAttributeText(AttributeTarget::node, groupDn_, u"groupType", &text), S_OK);
    EXPECT_EQ(text, wide(std::to_string(groupType)));
  }
}

TEST_F(AttributeAccess, LargeIntegersRoundTripAsLowAndHighParts) {
  const int64_t values[] = {0, -1, INT64_MAX, 0x0000000100000002LL, -36288000000000LL /* 42 days, as maxPwdAge */};
  for (int64_t value : values) {
    LONG low = static_cast<LONG>(static_cast<uint32_t>(value));
    LONG high = static_cast<LONG>(static_cast<uint64_t>(value) >> 32);
    ASSERT_EQ(bound.setAttributeLargeInt(AttributeTarget::user, userDn_, u"orvistalCounter", low, high), S_OK) << value;
    LONG backLow = 7, backHigh = 7;
    EXPECT_EQ(bound.getAttributeLargeInt(AttributeTarget::user, userDn_, u"orvistalCounter", &backLow, &backHigh),
              S_OK);
    EXPECT_EQ(largeOf(backLow, backHigh), value);
  }
  LONG low = 0, high = 0;
  // pwdLastSet takes -1 ("now") and 0 ("must change"); only the signed decimal text is accepted.
  ASSERT_EQ(admin.setAttributeLargeInt(AttributeTarget::user, userDn_, u"pwdLastSet", -1, -1), S_OK);
  ASSERT_EQ(admin.getAttributeLargeInt(AttributeTarget::user, userDn_, u"pwdLastSet", &low, &high), S_OK);
  EXPECT_GT(largeOf(low, high), 130000000000000000LL) << "a time stamp of this century";
  ASSERT_EQ(admin.setAttributeLargeInt(AttributeTarget::user, userDn_, u"pwdLastSet", 0, 0), S_OK);
  ASSERT_EQ(admin.getAttributeLargeInt(AttributeTarget::user, userDn_, u"pwdLastSet", &low, &high), S_OK);
  EXPECT_EQ(largeOf(low, high), 0);

  // A large integer has no text: the node text read fails and leaves the text alone.
  WideString text = u"untouched";
  EXPECT_EQ(bound.getAttributeText(AttributeTarget::node, alice, u"accountExpires", &text), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(text, u"untouched");
  // And the typed readers take only their own type.
  LONG number = 5;
  EXPECT_EQ(bound.getAttributeInt(AttributeTarget::user, alice, u"accountExpires", &number), VALUE_TYPE_MISMATCH);
  EXPECT_EQ(number, 5);
  EXPECT_EQ(bound.getAttributeLargeInt(AttributeTarget::user, alice, u"mail", &low, &high), VALUE_TYPE_MISMATCH);
}

TEST_F(AttributeAccess, ListsKeepTheDirectoryOrderAndShape) {
  ASSERT_EQ(bound.setAttributeStringArray(AttributeTarget::user, userDn_, u"orvistalTags", ADS_PROPERTY_UPDATE,
                                              *listOf({u"charlie", u"alpha", u"\U0001F600 bravo"})),
            S_OK);
  VariantArray tags;
  ASSERT_EQ(bound.getAttributeStringArray(AttributeTarget::user, userDn_, u"orvistalTags", &tags), S_OK);
  VariantArray asNode;
  ASSERT_EQ(bound.getAttributeStringArray(AttributeTarget::node, userDn_, u"orvistalTags", &asNode), S_OK);
  EXPECT_EQ(sorted(textsOf(tags)), sorted({u"charlie", u"alpha", u"\U0001F600 bravo"}));
  EXPECT_EQ(textsOf(tags), textsOf(asNode)) << "both families give the directory's order";
  // Several values are not one text.
  WideString text = u"untouched";
  EXPECT_EQ(bound.getAttributeString(AttributeTarget::user, userDn_, u"orvistalTags", &text), VALUE_TYPE_MISMATCH);
  EXPECT_EQ(bound.getAttributeText(AttributeTarget::node, userDn_, u"orvistalTags", &text), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(text, u"untouched");

  // A list of one is read as a list of one; an integer list gives elements that are not text.
  ASSERT_EQ(bound.setAttributeStringArray(AttributeTarget::group, groupDn_, u"member", ADS_PROPERTY_UPDATE,
                                          *listOf({alice.c_str()})),
            S_OK);
  VariantArray members;
  ASSERT_EQ(bound.getAttributeStringArray(AttributeTarget::group, groupDn_, u"member", &members), S_OK);
  EXPECT_EQ(textsOf(members), std::vector<std::u16string>{alice});
  VariantArray numbers;
  ASSERT_EQ(bound.getAttributeStringArray(AttributeTarget::user, alice, u"orvistalNumbers", &numbers), S_OK);
  EXPECT_EQ(textsOf(numbers), (std::vector<std::u16string>(3, u"<type 3>")));
  // A single integer is not a list at all.
  VariantArray country;
  EXPECT_EQ(bound.getAttributeStringArray(AttributeTarget::node, alice, u"countryCode", &country), VALUE_TYPE_MISMATCH);
  EXPECT_EQ(country.count(), 0);
}

TEST_F(AttributeAccess, MissingAttributesFailEveryGetterAndTouchNothing) {
  for (const Family* family : {&userFamily, &groupFamily, &nodeFamily}) {
    WideString dn = objectOf(*family);
    WideString text = u"untouched";
    EXPECT_EQ((bound.*family->getText)(family->target, dn, u"facsimileTelephoneNumber", &text), propertyNotFound)
        << family->name;
    EXPECT_EQ(text, u"untouched");
    LONG number = 99;
    EXPECT_EQ(bound.getAttributeInt(family->target, dn, u"facsimileTelephoneNumber", &number), propertyNotFound)
        << family->name;
    EXPECT_EQ(number, 99);
    VariantArray list;
    EXPECT_EQ(bound.getAttributeStringArray(family->target, dn, u"facsimileTelephoneNumber", &list), propertyNotFound)
        << family->name;
    EXPECT_EQ(list.count(), 0);
  }
  LONG low = 3, high = 4;
  EXPECT_EQ(bound.getAttributeLargeInt(AttributeTarget::user, userDn_, u"facsimileTelephoneNumber", &low, &high),
            propertyNotFound);
  EXPECT_EQ(low, 3);
  EXPECT_EQ(high, 4);
  WideString text = u"untouched";
  EXPECT_EQ(bound.getAttributeText(AttributeTarget::deletedNode, userDn_, u"facsimileTelephoneNumber", &text),
            propertyNotFound);
  EXPECT_EQ(text, u"untouched");
}

TEST_F(AttributeAccess, ListWritesFollowTheirControlCode) {
  auto tags = [&]() {
    VariantArray list;
    HRESULT status = bound.getAttributeStringArray(AttributeTarget::user, userDn_, u"orvistalTags", &list);
    return status == propertyNotFound ? std::vector<std::u16string>{u"<none>"} : sorted(textsOf(list));
  };
  const WideString name = u"orvistalTags";
  ASSERT_EQ(bound.setAttributeStringArray(AttributeTarget::user, userDn_, name, ADS_PROPERTY_UPDATE,
                                          *listOf({u"one", u"two"})),
            S_OK);
  EXPECT_EQ(tags(), sorted({u"one", u"two"}));
  // Appending a value that is there already and deleting one that is not both succeed.
  ASSERT_EQ(bound.setAttributeStringArray(AttributeTarget::user, userDn_, name, ADS_PROPERTY_APPEND,
                                          *listOf({u"two", u"three"})),
            S_OK);
  EXPECT_EQ(tags(), sorted({u"one", u"two", u"three"}));
  ASSERT_EQ(bound.setAttributeStringArray(AttributeTarget::user, userDn_, name, ADS_PROPERTY_DELETE,
                                          *listOf({u"one", u"never there"})),
            S_OK);
  EXPECT_EQ(tags(), sorted({u"two", u"three"}));

  // No other code becomes another operation; a list without values clears only when asked to.
  for (LONG code : {0L, 5L, -1L}) {
    EXPECT_EQ(bound.setAttributeStringArray(AttributeTarget::user, userDn_, name, code, *listOf({u"x"})),
              E_ADS_BAD_PARAMETER)
        << code;
  }
  for (LONG code : {0L, 2L, 3L, 4L}) {
    EXPECT_EQ(bound.setAttributeStringArray(AttributeTarget::user, userDn_, name, code, VariantArray()), E_INVALIDARG)
        << code;
  }
  EXPECT_EQ(tags(), sorted({u"two", u"three"}));

  ASSERT_EQ(bound.setAttributeStringArray(AttributeTarget::user, userDn_, name, ADS_PROPERTY_CLEAR, VariantArray()),
            S_OK);
  EXPECT_EQ(tags(), std::vector<std::u16string>{u"<none>"});
}

TEST_F(AttributeAccess, AWriteWithoutTheRightIsRefusedAndNothingChanges) {
  WideString before;
  ASSERT_EQ(admin.getAttributeString(AttributeTarget::user, alice, u"description", &before), S_OK);
  EXPECT_EQ(bound.setAttributeString(AttributeTarget::user, alice, u"description", u"not allowed"), accessDenied);
  EXPECT_EQ(bound.setAttributeString(AttributeTarget::node, alice, u"description", u"not allowed"), accessDenied);
  EXPECT_EQ(bound.setAttributeStringArray(AttributeTarget::user, alice, u"orvistalTags", ADS_PROPERTY_UPDATE,
                                          *listOf({u"x"})),
            accessDenied);
  EXPECT_EQ(bound.setAttributeLargeInt(AttributeTarget::user, alice, u"orvistalCounter", 1, 0), accessDenied);
  EXPECT_EQ(bound.setAttributeInt(AttributeTarget::user, alice, u"countryCode", 1), accessDenied);
  // Read back through the administrator's own connection.
  WideString after;
  ASSERT_EQ(admin.getAttributeString(AttributeTarget::user, alice, u"description", &after), S_OK);
  EXPECT_EQ(after, before);
  VariantArray tags;
  ASSERT_EQ(admin.getAttributeStringArray(AttributeTarget::user, alice, u"orvistalTags", &tags), S_OK);
  EXPECT_EQ(tags.count(), 3);
  LONG low = 0, high = 0;
  ASSERT_EQ(admin.getAttributeLargeInt(AttributeTarget::user, alice, u"orvistalCounter", &low, &high), S_OK);
  EXPECT_EQ(largeOf(low, high), 9007199254740993LL);
}

TEST_F(AttributeAccess, EachFamilyBindsOnlyItsOwnKindOfObject) {
  WideString text;
  EXPECT_EQ(bound.getAttributeString(AttributeTarget::group, alice, u"mail", &text), E_NOINTERFACE);
  EXPECT_EQ(bound.getAttributeString(AttributeTarget::user, groupDn_, u"description", &text), E_NOINTERFACE);
  EXPECT_EQ(bound.getAttributeText(AttributeTarget::node, wide(ouDn_), u"ou", &text), S_OK);
  EXPECT_EQ(bound.isGroupNode(groupDn_), S_OK);
  EXPECT_EQ(bound.isGroupNode(alice), E_NOINTERFACE);
  EXPECT_EQ(bound.isGroupNode(u"CN=nobody," + wide(ouDn_)), noSuchObject);
}

// The seeded deleted user's tombstone, as a search with the show-deleted control names it.
class DeletedObjects : public AttributeAccess {
 protected:
  std::string tombstoneDn() {
    Ptr<IDirectorySearch> deleted;
    EXPECT_EQ(openAsAdmin("<WKGUID=18e2ea80684f11d2b9aa00c04f79f805," + s.baseDn + ">", IID_IDirectorySearch,
                          deleted.put(), ADS_SECURE_AUTHENTICATION | ADS_FAST_BIND),
              S_OK);
    if (deleted.get() == nullptr) return std::string();
    ADS_SEARCHPREF_INFO tombstones{};
    tombstones.dwSearchPref = ADS_SEARCHPREF_TOMBSTONE;
    tombstones.vValue.dwType = ADSTYPE_BOOLEAN;
    tombstones.vValue.Boolean = 1;
    EXPECT_EQ(deleted->SetSearchPreference(&tombstones, 1), S_OK);
    std::u16string filter = u"(sAMAccountName=deleted-user)", column = u"distinguishedName";
    LPWSTR names[] = {&column[0]};
    ADS_SEARCH_HANDLE handle = nullptr;
    EXPECT_EQ(deleted->ExecuteSearch(&filter[0], names, 1, &handle), S_OK);
    std::string dn;
    if (deleted->GetFirstRow(handle) == S_OK) {
      ADS_SEARCH_COLUMN found;
      if (deleted->GetColumn(handle, names[0], &found) == S_OK) {
        dn = narrow(found.pADsValues[0].DNString);
        deleted->FreeColumn(&found);
      }
    }
    deleted->CloseSearchHandle(handle);
    return dn;
  }
};

TEST_F(DeletedObjects, ATombstoneIsReadOnlyThroughTheDeletedObjectRead) {
  std::string dn = tombstoneDn();
  ASSERT_NE(dn.find("\\0ADEL:"), std::string::npos) << dn;
  WideString text;
  EXPECT_EQ(admin.getAttributeText(AttributeTarget::deletedNode, wide(dn), u"sAMAccountName", &text), S_OK);
  EXPECT_EQ(text, u"deleted-user");
  EXPECT_EQ(admin.getAttributeText(AttributeTarget::deletedNode, wide(dn), u"isDeleted", &text), S_OK);
  EXPECT_EQ(text, u"-1") << "a boolean's text";
  EXPECT_EQ(admin.getAttributeText(AttributeTarget::deletedNode, wide(dn), u"lastKnownParent", &text), S_OK);
  EXPECT_EQ(text, wide(s.people()));
  EXPECT_EQ(admin.getAttributeText(AttributeTarget::deletedNode, wide(dn), u"objectSid", &text), S_OK);
  EXPECT_EQ(text.rfind(u"010500000000000515000000", 0), 0u) << "a SID's bytes in hexadecimal";

  // The ordinary bind looks for the object without deleted objects in view.
  text = u"untouched";
  EXPECT_EQ(admin.getAttributeText(AttributeTarget::node, wide(dn), u"sAMAccountName", &text), noSuchObject);
  EXPECT_EQ(text, u"untouched");
  WideString guid;
  EXPECT_EQ(admin.getNodeGuid(wide(dn), &guid), noSuchObject);
}

TEST_F(DeletedObjects, AttributesOfLiveObjectsReadThroughTheFastBindToo) {
  WideString text;
  EXPECT_EQ(bound.getAttributeText(AttributeTarget::deletedNode, alice, u"mail", &text), S_OK);
  EXPECT_EQ(text, u"alice@orvistal.test");
  EXPECT_EQ(bound.getAttributeText(AttributeTarget::deletedNode, alice, u"orvistalWhen", &text), S_OK);
  EXPECT_EQ(text, u"2/29/2024 12:34:56 PM") << "dates in the system's fixed US English form";
  EXPECT_EQ(bound.getAttributeText(AttributeTarget::deletedNode, u"CN=nobody," + wide(s.people()), u"mail", &text),
            noSuchObject);
}

// The GUID as a plain LDAP read of objectGUID gives it, bytes in storage order.
std::string guidReadOverLdap(const Settings& s, const std::string& dn) {
  LDAP* ld = nullptr;
  EXPECT_EQ(ldap_initialize(&ld, ("ldaps://" + s.server).c_str()), LDAP_SUCCESS);
  int version = LDAP_VERSION3;
  ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
  berval password{static_cast<ber_len_t>(s.bindPassword.size()), const_cast<char*>(s.bindPassword.data())};
  EXPECT_EQ(ldap_sasl_bind_s(ld, s.bindUser.c_str(), LDAP_SASL_SIMPLE, &password, nullptr, nullptr, nullptr),
            LDAP_SUCCESS);
  char objectGuid[] = "objectGUID";
  char* attributes[] = {objectGuid, nullptr};
  LDAPMessage* result = nullptr;
  EXPECT_EQ(ldap_search_ext_s(ld, dn.c_str(), LDAP_SCOPE_BASE, "(objectClass=*)", attributes, 0, nullptr, nullptr,
                              nullptr, 0, &result),
            LDAP_SUCCESS);
  std::string hex;
  LDAPMessage* entry = result != nullptr ? ldap_first_entry(ld, result) : nullptr;
  berval** values = entry != nullptr ? ldap_get_values_len(ld, entry, objectGuid) : nullptr;
  if (values != nullptr && values[0] != nullptr) {
    char two[3];
    for (ber_len_t i = 0; i < values[0]->bv_len; ++i) {
      std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(values[0]->bv_val[i]));
      hex += two;
    }
  }
  ldap_value_free_len(values);
  ldap_msgfree(result);
  ldap_unbind_ext_s(ld, nullptr, nullptr);
  return hex;
}

TEST_F(AttributeAccess, GuidsMatchAPlainLdapRead) {
  for (const std::string& dn : {s.alice(), "CN=Smith\\, Jo," + s.people(), ouDn_}) {
    WideString guid;
    ASSERT_EQ(bound.getNodeGuid(wide(dn), &guid), S_OK);
    EXPECT_EQ(guid.size(), 32u);
    EXPECT_EQ(narrow(guid.c_str()), guidReadOverLdap(s, dn)) << dn;
    WideString asText;
    ASSERT_EQ(bound.getAttributeText(AttributeTarget::node, wide(dn), u"objectGUID", &asText), S_OK);
    EXPECT_EQ(asText, guid);
  }
  WideString none = u"untouched";
  EXPECT_EQ(bound.getNodeGuid(u"CN=nobody," + wide(s.people()), &none), noSuchObject);
  EXPECT_EQ(none, u"untouched");
}

TEST_F(AttributeAccess, ParentsAreDistinguishedNamesWithEscapesKept) {
  WideString parent;
  ASSERT_EQ(bound.getParentNode(wide("CN=Smith\\, Jo," + s.people()), &parent), S_OK);
  EXPECT_EQ(parent, wide(s.people()));
  ASSERT_EQ(bound.getParentNode(wide(s.people()), &parent), S_OK);
  EXPECT_EQ(parent, wide("OU=Orvistal," + s.baseDn));

  // A slash inside a name comes back escaped as the provider writes it, and is never a cut.
  ASSERT_NO_FATAL_FAILURE(create(ouDn_, "organizationalUnit", "OU=in/out", ""));
  ASSERT_NO_FATAL_FAILURE(create("OU=in\\/out," + ouDn_, "organizationalUnit", "OU=child", ""));
  ASSERT_EQ(bound.getParentNode(wide("OU=child,OU=in\\/out," + ouDn_), &parent), S_OK);
  EXPECT_EQ(parent, wide("OU=in\\/out," + ouDn_));
  ASSERT_EQ(bound.getParentNode(wide("OU=in\\/out," + ouDn_), &parent), S_OK);
  EXPECT_EQ(parent, wide(ouDn_));

  WideString none = u"untouched";
  EXPECT_EQ(bound.getParentNode(u"CN=nobody," + wide(s.people()), &none), noSuchObject);
  EXPECT_EQ(none, u"untouched");
}

// With no server in the settings the directory named by the client's configured default is
// used, and the paths the provider gives have no host: the parent is still a plain name.
TEST_F(AttributeAccess, ParentsOfServerlessBindsAreNamesToo) {
  char* previous = nullptr;
  ASSERT_EQ(ldap_get_option(nullptr, LDAP_OPT_URI, &previous), LDAP_OPT_SUCCESS);
  std::string defaultUri = "ldap://" + s.server;
  ASSERT_EQ(ldap_set_option(nullptr, LDAP_OPT_URI, defaultUri.c_str()), LDAP_OPT_SUCCESS);
  AdsiContext serverless{wide(s.bindUser), wide(s.bindPassword), u"", false};
  WideString parent;
  EXPECT_EQ(serverless.getParentNode(wide("CN=Smith\\, Jo," + s.people()), &parent), S_OK);
  EXPECT_EQ(parent, wide(s.people()));
  WideString mail;
  EXPECT_EQ(serverless.getAttributeString(AttributeTarget::user, alice, u"mail", &mail), S_OK);
  EXPECT_EQ(mail, u"alice@orvistal.test");
  ldap_set_option(nullptr, LDAP_OPT_URI, previous);
  ldap_memfree(previous);
}

}  // namespace
