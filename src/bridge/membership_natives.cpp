// Native methods of group membership and group expansion.
#include "bridge/call_context.h"
#include "bridge/entry_points.h"
#include "bridge/traced_call.h"
#include "bridge/java_arrays.h"
#include "bridge/java_classes.h"
#include "bridge/local_ref.h"
#include "bridge/result_objects.h"
#include "directory/values.h"

namespace {

// A member's groups: its memberOf values and, when found, its primary group.
struct GroupList {
  VariantArray memberOf;
  LONG memberOfCount = 0;
  WideString primaryGroup;
  HRESULT status = S_OK;
};

// The memberOf values are read first, then the primary group is looked up; the status is that
// of the lookup, unless memberOf could not be read for another reason than having no value:
// then the list is not complete, and that failure is the status.
template <typename ReadMemberOf, typename FindPrimaryGroup>
void collectGroups(ReadMemberOf readMemberOf, FindPrimaryGroup findPrimaryGroup, GroupList* groups) {
  HRESULT readStatus = readMemberOf(&groups->memberOf);
  groups->memberOfCount = FAILED(readStatus) ? 0 : groups->memberOf.count();
  groups->status = findPrimaryGroup(&groups->primaryGroup);
  if (FAILED(groups->status)) groups->primaryGroup.clear();
  if (FAILED(readStatus) && readStatus != E_ADS_PROPERTY_NOT_FOUND) groups->status = readStatus;
}

// memberOf values in their order (a value without a text stays null), then the primary group.
jobject groupListResult(JNIEnv* env, const GroupList& groups) {
  jsize count = static_cast<jsize>(groups.memberOfCount) + (groups.primaryGroup.empty() ? 0 : 1);
  jclass stringType = javaStringClass(env);
  if (stringType == nullptr) return nullptr;
  SAFEARRAY* array = groups.memberOf.array();
  LocalRef<jobjectArray> strings(env, newJavaArray(env, stringType, count, [&](jsize index, jobject* element) {
    WideString text = groups.primaryGroup;
    if (index < groups.memberOfCount) {
      LONG position = index;
      void* value = nullptr;
      if (array == nullptr || FAILED(SafeArrayPtrOfIndex(array, &position, &value)) ||
          !elementText(*static_cast<const VARIANT*>(value), &text))
        return true;
    }
    *element = newJavaString(env, text);
    return *element != nullptr;
  }));
  if (!strings) return nullptr;
  return newResultStringList(env, groups.status, strings.get());
}

}  // namespace

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wIsMemberOf)(JNIEnv* env, jobject self, jstring groupDn,
                                                                    jstring memberDn) {
  TracedCall traced(env, "wIsMemberOf", {{"groupDn", groupDn}, {"memberDn", memberDn}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString group = wideParameter(env, groupDn);
    WideString member = wideParameter(env, memberDn);
    AdsiContext context = contextFor(settings);
    VARIANT_BOOL isMember = VARIANT_FALSE;
    HRESULT status = context.isMemberOf(group, member, &isMember);
    return newResultBooleanValue(env, status, isMember);
  }));
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetUserPrimaryGroup)(JNIEnv* env, jobject self,
                                                                             jstring userName, jstring userDomain) {
  TracedCall traced(env, "wGetUserPrimaryGroup", {{"userName", userName}, {"userDomain", userDomain}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString groupDn;
    HRESULT status = onUser(env, settings, userName, userDomain,
                            [&](Context context, Name dn) { return context.getUserPrimaryGroup(dn, &groupDn); });
    return newResultMessage(env, status, groupDn);
  }));
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetUserGroups)(JNIEnv* env, jobject self, jstring userName,
                                                                       jstring userDomain) {
  TracedCall traced(env, "wGetUserGroups", {{"userName", userName}, {"userDomain", userDomain}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    GroupList groups;
    groups.status = onUser(env, settings, userName, userDomain, [&](Context context, Name dn) {
      collectGroups(
          [&](VariantArray* values) {
            return context.getAttributeStringArray(AttributeTarget::user, dn, WIDE("memberOf"), values);
          },
          [&](WideString* primary) { return context.getUserPrimaryGroup(dn, primary); }, &groups);
      return groups.status;
    });
    return groupListResult(env, groups);
  }));
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetMachineGroups)(JNIEnv* env, jobject self,
                                                                          jstring machineDn) {
  TracedCall traced(env, "wGetMachineGroups", {{"machineDn", machineDn}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString dn = wideParameter(env, machineDn);
    AdsiContext context = contextFor(settings);
    GroupList groups;
    collectGroups(
        [&](VariantArray* values) {
          return context.getAttributeStringArray(AttributeTarget::node, dn, WIDE("memberOf"), values);
        },
        [&](WideString* primary) { return context.getMachinePrimaryGroup(dn, primary); }, &groups);
    return groupListResult(env, groups);
  }));
}
