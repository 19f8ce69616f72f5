// The primary group of a user or of any object with a primaryGroupID. The object names its
// primary group only by a relative identifier; the group is the one in the object's domain
// whose SID is the domain's SID followed by that identifier, found by one search for that SID
// (no walk over every group, which a server's unpaged limit could cut short).
#include "directory/row_walk.h"
#include "directory/values.h"
#include "groups/primary_group.h"

namespace {

// The member's SID, loaded alone. The member was bound (and so found) a moment before: a fast
// bind spares a second read of its classes.
HRESULT readMemberSid(const AdsiContext& context, const WideString& dn, SidBytes* sid) {
  ComPtr<IADs> member;
  RETURN_IF_FAILED(context.bindObjectFast(dn, member.put()));
  RETURN_IF_FAILED(loadAttributes(member.get(), {WIDE("objectSid")}));
  UniqueBstr attribute = UniqueBstr::copyOf(WIDE("objectSid"));
  UniqueVariant read;
  RETURN_IF_FAILED(member->Get(attribute.get(), read.put()));
  return variantToBytes(*read.get(), sid);
}

// The first row with a distinguished name wins; a row whose column is empty or not a string
// is passed over, and no match leaves the output as it was with status 0.
HRESULT firstGroupName(IDirectorySearch* search, ADS_SEARCH_HANDLE handle, WideString* groupDn) {
  const WideString columnName = WIDE("distinguishedName");
  for (;;) {
    HRESULT status = search->GetNextRow(handle);
    if (status == S_OK) {
      FetchedColumn column(search);
      RETURN_IF_FAILED(column.fetch(handle, columnName));
      WideString name;
      if (firstStringValue(column.get(), &name)) {
        *groupDn = name;
        return S_OK;
      }
      continue;
    }
    if (status == S_ADS_NOMORE_ROWS) {
      if (serverHasMoreRows()) continue;
      return S_OK;
    }
    return status;
  }
}

HRESULT findPrimaryGroup(const AdsiContext& context, const WideString& memberDn, LONG primaryGroupId,
                         WideString* groupDn) {
  WideString domain;
  if (!domainPart(memberDn, &domain)) return E_ADS_BAD_PATHNAME;
  SidBytes memberSid, groupSid;
  HRESULT status = readMemberSid(context, memberDn, &memberSid);
  if (status != S_OK) return status;
  if (!primaryGroupSid(memberSid, primaryGroupId, &groupSid)) return VALUE_TYPE_MISMATCH;

  ComPtr<IDirectorySearch> search;
  RETURN_IF_FAILED(context.openSearch(domain, search.put()));
  WideString filter = primaryGroupFilter(groupSid);
  WCHAR distinguishedName[] = WIDE("distinguishedName");
  LPWSTR names[] = {distinguishedName};
  SearchHandle handle(search.get());
  RETURN_IF_FAILED(search->ExecuteSearch(&filter[0], names, 1, handle.put()));
  return firstGroupName(search.get(), handle.get(), groupDn);
}

}  // namespace

HRESULT AdsiContext::getUserPrimaryGroup(const WideString& userDn, WideString* groupDn) const {
  LONG primaryGroupId = 0;
  // A value that is not an integer names no group: its status ends the lookup.
  HRESULT status = getAttributeInt(AttributeTarget::user, userDn, WIDE("primaryGroupID"), &primaryGroupId);
  if (status != S_OK) return status;
  return findPrimaryGroup(*this, userDn, primaryGroupId, groupDn);
}

HRESULT AdsiContext::getMachinePrimaryGroup(const WideString& dn, WideString* groupDn) const {
  LONG primaryGroupId = 0;
  HRESULT status = getAttributeInt(AttributeTarget::node, dn, WIDE("primaryGroupID"), &primaryGroupId);
  if (status != S_OK) return status;
  return findPrimaryGroup(*this, dn, primaryGroupId, groupDn);
}
