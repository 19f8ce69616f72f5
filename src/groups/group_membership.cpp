// Whether an object is a member of a group: directly, or because the group is its primary
// group (which the group's member list never shows).
#include "directory/adsi_context.h"
#include "directory/values.h"
#include "groups/primary_group.h"

namespace {

HRESULT readInteger(IADs* object, const WCHAR* name, LONG* value) {
  UniqueBstr attribute = UniqueBstr::copyOf(name);
  UniqueVariant read;
  RETURN_IF_FAILED(object->Get(attribute.get(), read.put()));
  return variantToInt(*read.get(), value);
}

HRESULT readSid(IADs* object, SidBytes* sid) {
  UniqueBstr attribute = UniqueBstr::copyOf(WIDE("objectSid"));
  UniqueVariant read;
  RETURN_IF_FAILED(object->Get(attribute.get(), read.put()));
  return variantToBytes(*read.get(), sid);
}

// The group's SID must be the member's domain SID plus the identifier: the bare identifiers
// are the same in every domain of a forest.
HRESULT isPrimaryGroup(IADs* group, IADs* member, LONG primaryGroupId, bool* primary) {
  *primary = false;
  SidBytes memberSid, groupSid;
  HRESULT status = readSid(member, &memberSid);
  if (status != S_OK) return status;
  status = readSid(group, &groupSid);
  if (status != S_OK) return status;
  *primary = isPrimaryGroupOf(memberSid, primaryGroupId, groupSid);
  return S_OK;
}

}  // namespace

HRESULT AdsiContext::isMemberOf(const WideString& groupDn, const WideString& memberDn,
                                VARIANT_BOOL* isMember) const {
  // Both names are judged before either is bound: a refused one costs nothing sent.
  WideString memberObjectPath;
  RETURN_IF_FAILED(objectPath(memberDn, &memberObjectPath));
  ComPtr<IADsGroup> group;
  RETURN_IF_FAILED(bindGroup(groupDn, group.put()));
  ComPtr<IADsUser> member;
  RETURN_IF_FAILED(bindUser(memberDn, member.put()));
  // What is compared is loaded by name, without the rest of either object.
  RETURN_IF_FAILED(loadAttributes(member.get(), {WIDE("primaryGroupID"), WIDE("objectSid")}));
  LONG primaryGroupId = 0;
  // A value that is not a 32-bit integer (VALUE_TYPE_MISMATCH) is not compared at all.
  HRESULT status = readInteger(member.get(), WIDE("primaryGroupID"), &primaryGroupId);
  if (status != S_OK) return status;

  // primaryGroupToken is constructed: it is there only when asked for by name.
  RETURN_IF_FAILED(loadAttributes(group.get(), {WIDE("primaryGroupToken"), WIDE("objectSid")}));
  LONG groupToken = 0;
  status = readInteger(group.get(), WIDE("primaryGroupToken"), &groupToken);
  if (status != S_OK) return status;

  if (groupToken == primaryGroupId) {
    bool primary = false;
    status = isPrimaryGroup(group.get(), member.get(), primaryGroupId, &primary);
    if (status != S_OK) return status;
    if (primary) {
      *isMember = VARIANT_TRUE;
      return S_OK;
    }
  }
  UniqueBstr memberPath;
  RETURN_IF_FAILED(member->get_ADsPath(memberPath.put()));
  return group->IsMember(memberPath.get(), isMember);
}
