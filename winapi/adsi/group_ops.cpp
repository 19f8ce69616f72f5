// IADsGroup of a directory object. IsMember answers for direct members only, as the system's
// provider does: one LDAP compare of the group's member attribute with the member's name, so
// no filter is built from the name and no cut of a large member list can hide a member.
#include "adserr.h"
#include "adsi/call_entries.h"
#include "adsi/com_guard.h"
#include "adsi/errors.h"
#include "adsi/object.h"
#include "adsi/text.h"

namespace winapi::adsi {

namespace {

std::string bstrText(BSTR text) {
  return text == nullptr ? std::string() : toUtf8(std::u16string_view(text, SysStringLen(text)));
}

// Some servers (Samba) answer a compare through a search filter built from the raw value, so
// a value that holds filter syntax (an escaped comma, a star) is misread there. Such a member,
// and one named by an extended name, is compared in the form <GUID=..>, which holds none.
bool needsGuidForm(const std::string& name) {
  return name.front() == '<' || name.find_first_of(std::string("*()\\\0", 5)) != std::string::npos;
}

// The <GUID=..> name of an object; empty when there is no such object.
HRESULT guidFormOf(Connection* connection, const std::string& name, std::string* guidName) {
  guidName->clear();
  LdapMessage result;
  LdapOutcome outcome =
      connection->search(name, LDAP_SCOPE_BASE, "(objectClass=*)", {"objectGUID"}, nullptr, 0, 0, &result);
  if (outcome.code == LDAP_NO_SUCH_OBJECT) return S_OK;
  if (!outcome.ok()) return failWith(outcome);
  LDAPMessage* entry = ldap_first_entry(connection->handle(), result.get());
  std::string guid = entry != nullptr ? firstEntryValue(connection->handle(), entry, "objectGUID") : std::string();
  if (guid.size() != 16) return S_OK;
  static const char hex[] = "0123456789abcdef";
  *guidName = "<GUID=";
  for (char c : guid) {
    auto byte = static_cast<unsigned char>(c);
    *guidName += hex[byte >> 4];
    *guidName += hex[byte & 0xF];
  }
  *guidName += '>';
  return S_OK;
}

}  // namespace

// The whole member list this call read of the group (at its bind) settles a name it holds as
// written; any other name (another spelling of the same name, say) is left to the server.
bool DirectoryObject::listedInMembersReadThisCall(const std::string& memberName) const {
  const EntryOfThisCall* group = entryOfThisCall(setup_.connection.get(), setup_.ldapName);
  const CachedProperty* members = nullptr;
  if (group == nullptr || !entrySettles(*group, "member", &members) || members == nullptr) return false;
  for (const std::string& member : members->values)
    if (equalsIgnoreCase(member, memberName)) return true;
  return false;
}

HRESULT DirectoryObject::IsMember(BSTR bstrMember, VARIANT_BOOL* bMember) try {
  if (bMember == nullptr) return E_POINTER;
  *bMember = VARIANT_FALSE;
  AdsPath member;
  if (FAILED(parseAdsPath(bstrText(bstrMember), &member)) || member.kind != PathKind::Object || member.dn.empty())
    return E_ADS_BAD_PATHNAME;
  std::string memberName = member.dn;
  if (needsGuidForm(memberName)) {
    HRESULT hr = guidFormOf(setup_.connection.get(), member.dn, &memberName);
    if (FAILED(hr)) return hr;
    if (memberName.empty()) return S_OK;  // no such object: a member of nothing
  }
  if (listedInMembersReadThisCall(memberName)) {
    *bMember = VARIANT_TRUE;
    return S_OK;
  }
  LdapOutcome outcome = setup_.connection->compare(setup_.ldapName, "member", memberName, nullptr);
  switch (outcome.code) {
    case LDAP_COMPARE_TRUE:
      *bMember = VARIANT_TRUE;
      return S_OK;
    case LDAP_COMPARE_FALSE:
    case LDAP_NO_SUCH_ATTRIBUTE:  // a group without members
      return S_OK;
    default:
      return failWith(outcome);
  }
} catch (...) {
  return hresultOfCurrentException();
}

}  // namespace winapi::adsi
