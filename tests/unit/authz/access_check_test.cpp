// Known answers of AccessCheckByTypeResultList, one behaviour per test, descriptors in SDDL.
// The token is kUser with Everyone and Authenticated Users unless a test says otherwise; the
// object type list is the user class alone, as the node access check passes it.
#include <cstring>

#include "authz/access_check.h"
#include "authz_test_support.h"

using namespace authz_test;

namespace {

const std::string kNotOwner = "O:BAG:BA";
const std::string kOwnedByUser = std::string("O:") + kUser + "G:BA";

constexpr DWORD RP = ACTRL_DS_READ_PROP, WP = ACTRL_DS_WRITE_PROP, CR = ACTRL_DS_CONTROL_ACCESS;
constexpr DWORD LC = ACTRL_DS_LIST, CC = ACTRL_DS_CREATE_CHILD;

void expectGranted(const CheckResult& result, DWORD granted) {
  ASSERT_TRUE(result.succeeded) << "last error " << result.lastError;
  EXPECT_EQ(result.status, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(result.granted, granted);
}

// Windows reports a refused element with status ERROR_ACCESS_DENIED and a granted mask of 0.
void expectDenied(const CheckResult& result) {
  ASSERT_TRUE(result.succeeded) << "last error " << result.lastError;
  EXPECT_EQ(result.status, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(result.granted, 0u);
}

void expectFailure(const CheckResult& result, DWORD lastError) {
  EXPECT_FALSE(result.succeeded);
  EXPECT_EQ(result.lastError, lastError);
}

}  // namespace

// ---- Generic mapping -------------------------------------------------------------------------

TEST(AccessCheckGenericMapping, MapsEachGenericRightThroughTheDirectoryMapping) {
  GENERIC_MAPPING mapping = directoryMapping();
  struct Row { DWORD in, out; } rows[] = {
      {GENERIC_READ, 0x00020094}, {GENERIC_WRITE, 0x00020028}, {GENERIC_EXECUTE, 0x00020004},
      {GENERIC_ALL, 0x000F01FF}, {GENERIC_READ | WP, 0x000200B4}, {RP | DELETE, RP | DELETE},
      {GENERIC_ALL | MAXIMUM_ALLOWED, 0x000F01FF | MAXIMUM_ALLOWED},
  };
  for (const Row& row : rows) {
    DWORD mask = row.in;
    MapGenericMask(&mask, &mapping);
    EXPECT_EQ(mask, row.out) << std::hex << row.in;
  }
}

TEST(AccessCheckGenericMapping, UnmappedGenericRightsInTheRequestFailTheCall) {
  expectFailure(check("O:BAG:BAD:(A;;GA;;;WD)", GENERIC_READ), ERROR_GENERIC_NOT_MAPPED);
}

// Entries keep their masks as stored: the directory maps generic rights when it writes a
// descriptor, so a GR left in an entry does not stand for read property at check time.
TEST(AccessCheckGenericMapping, GenericRightsInsideAnEntryAreNotMappedAtCheckTime) {
  expectDenied(check(kNotOwner + "D:(A;;GR;;;WD)", RP));
}

// ---- The DACL walk ---------------------------------------------------------------------------

TEST(AccessCheckDacl, AnAllowEntryForTheUserGrantsTheRequestedRight) {
  expectGranted(check(kNotOwner + "D:(A;;RP;;;" + kUser + ")", RP), RP);
}

TEST(AccessCheckDacl, GrantedMaskIsTheRequestNotEverythingTheEntryAllows) {
  expectGranted(check(kNotOwner + "D:(A;;RPWPCR;;;WD)", RP), RP);
}

TEST(AccessCheckDacl, RightsAccumulateOverSeveralEntries) {
  expectGranted(check(kNotOwner + "D:(A;;RP;;;WD)(A;;WP;;;AU)", RP | WP), RP | WP);
}

TEST(AccessCheckDacl, ARightNoEntryGrantsIsDenied) {
  expectDenied(check(kNotOwner + "D:(A;;RP;;;WD)", RP | WP));
}

TEST(AccessCheckDacl, AnEarlierDenyWinsOverALaterAllow) {
  expectDenied(check(kNotOwner + "D:(D;;WP;;;WD)(A;;RPWP;;;" + kUser + ")", WP));
}

// Order decides, not the entry type: a right granted before a deny entry stays granted.
TEST(AccessCheckDacl, AnEarlierAllowWinsOverALaterDeny) {
  expectGranted(check(kNotOwner + "D:(A;;WP;;;" + kUser + ")(D;;WP;;;WD)", WP), WP);
}

TEST(AccessCheckDacl, ADenyOfAnotherRightDoesNotDenyTheRequest) {
  expectGranted(check(kNotOwner + "D:(D;;WP;;;WD)(A;;RP;;;WD)", RP), RP);
}

TEST(AccessCheckDacl, InheritOnlyEntriesAreSkipped) {
  expectDenied(check(kNotOwner + "D:(A;CIIO;RP;;;WD)", RP));
  expectGranted(check(kNotOwner + "D:(D;CIIO;RP;;;WD)(A;;RP;;;WD)", RP), RP);
}

TEST(AccessCheckDacl, InheritableEntriesThatAreNotInheritOnlyApply) {
  expectGranted(check(kNotOwner + "D:(A;CIID;RP;;;WD)", RP), RP);
}

TEST(AccessCheckDacl, EntriesForSidsOutsideTheTokenAreIgnored) {
  expectDenied(check(kNotOwner + "D:(A;;RP;;;" + kOtherUser + ")", RP));
  expectGranted(check(kNotOwner + "D:(D;;RP;;;" + kOtherUser + ")(A;;RP;;;WD)", RP), RP);
}

TEST(AccessCheckDacl, DisabledGroupsMatchNoEntry) {
  TokenShape shape;
  shape.groups.push_back({kGroup, SE_GROUP_MANDATORY});
  expectDenied(check(kNotOwner + "D:(A;;RP;;;" + kGroup + ")", RP, shape));
  expectGranted(check(kNotOwner + "D:(D;;RP;;;" + kGroup + ")(A;;RP;;;WD)", RP, shape), RP);
}

TEST(AccessCheckDacl, DenyOnlyGroupsMatchDenyEntriesOnly) {
  TokenShape shape;
  shape.groups.push_back({kGroup, SE_GROUP_USE_FOR_DENY_ONLY});
  expectDenied(check(kNotOwner + "D:(A;;RP;;;" + kGroup + ")", RP, shape));
  expectDenied(check(kNotOwner + "D:(D;;RP;;;" + kGroup + ")(A;;RP;;;WD)", RP, shape));
}

TEST(AccessCheckDacl, AnEnabledGroupMatchesBothKinds) {
  TokenShape shape;
  shape.groups.push_back({kGroup, kEnabled});
  expectGranted(check(kNotOwner + "D:(A;;RP;;;" + kGroup + ")", RP, shape), RP);
  expectDenied(check(kNotOwner + "D:(D;;RP;;;" + kGroup + ")(A;;RP;;;WD)", RP, shape));
}

TEST(AccessCheckDacl, AuditEntriesInTheDaclGrantNothing) {
  expectDenied(check(kNotOwner + "D:(AU;SA;RP;;;WD)", RP));
}

TEST(AccessCheckDacl, ANullDaclGrantsEverythingRequested) {
  expectGranted(check(kNotOwner + "D:NO_ACCESS_CONTROL", RP | WP | DELETE), RP | WP | DELETE);
}

TEST(AccessCheckDacl, AnAbsentDaclGrantsLikeANullOne) {
  expectGranted(check(kNotOwner, RP | WRITE_DAC), RP | WRITE_DAC);
}

TEST(AccessCheckDacl, AnEmptyDaclGrantsNothing) {
  expectDenied(check(kNotOwner + "D:", RP));
  expectDenied(check(kNotOwner + "D:", READ_CONTROL));
}

TEST(AccessCheckDacl, AskingForNothingIsDenied) {
  expectDenied(check(kNotOwner + "D:(A;;GA;;;WD)", 0));
}

// ---- Owner -----------------------------------------------------------------------------------

TEST(AccessCheckOwner, TheOwnerHoldsReadControlAndWriteDacWithoutAnEntry) {
  expectGranted(check(kOwnedByUser + "D:", READ_CONTROL | WRITE_DAC), READ_CONTROL | WRITE_DAC);
}

TEST(AccessCheckOwner, TheOwnerGetsNoOtherRightImplicitly) {
  expectDenied(check(kOwnedByUser + "D:", WRITE_OWNER));
  expectDenied(check(kOwnedByUser + "D:", RP));
}

// The implicit rights are granted before the DACL is read, so a deny entry cannot take them.
TEST(AccessCheckOwner, ADenyEntryDoesNotTakeTheImplicitRights) {
  expectGranted(check(kOwnedByUser + "D:(D;;RCWD;;;WD)", WRITE_DAC), WRITE_DAC);
}

TEST(AccessCheckOwner, OwnershipThroughAnEnabledGroupCounts) {
  TokenShape shape;
  shape.groups.push_back({kGroup, kEnabled});
  expectGranted(check(std::string("O:") + kGroup + "G:BAD:", READ_CONTROL, shape), READ_CONTROL);
}

TEST(AccessCheckOwner, OwnershipThroughADenyOnlyGroupDoesNotCount) {
  TokenShape shape;
  shape.groups.push_back({kGroup, SE_GROUP_USE_FOR_DENY_ONLY});
  expectDenied(check(std::string("O:") + kGroup + "G:BAD:", READ_CONTROL, shape));
}

// An OWNER RIGHTS entry (S-1-3-4) replaces the implicit rights: the owner then holds what such
// entries give it, and no longer READ_CONTROL and WRITE_DAC for free.
TEST(AccessCheckOwner, AnOwnerRightsEntryReplacesTheImplicitRights) {
  expectDenied(check(kOwnedByUser + "D:(A;;RC;;;OW)", WRITE_DAC));
  expectGranted(check(kOwnedByUser + "D:(A;;RC;;;OW)", READ_CONTROL), READ_CONTROL);
  expectGranted(check(kOwnedByUser + "D:(A;;RP;;;OW)", RP), RP);
}

TEST(AccessCheckOwner, AnOwnerRightsDenyTakesItsPlaceInTheOrder) {
  expectDenied(check(kOwnedByUser + "D:(D;;WD;;;OW)(A;;RCWD;;;WD)", WRITE_DAC));
  expectGranted(check(kOwnedByUser + "D:(D;;WD;;;OW)(A;;RCWD;;;WD)", READ_CONTROL), READ_CONTROL);
}

TEST(AccessCheckOwner, OwnerRightsEntriesDoNotApplyToOthers) {
  expectDenied(check(kNotOwner + "D:(A;;RP;;;OW)", RP));
}

// An inherit-only OWNER RIGHTS entry only describes children, so it does not remove the
// implicit rights on this object.
TEST(AccessCheckOwner, AnInheritOnlyOwnerRightsEntryKeepsTheImplicitRights) {
  expectGranted(check(kOwnedByUser + "D:(A;CIIO;RP;;;OW)", WRITE_DAC), WRITE_DAC);
}

// ---- MAXIMUM_ALLOWED -------------------------------------------------------------------------

TEST(AccessCheckMaximumAllowed, GrantsTheUnionOfApplicableAllowEntries) {
  expectGranted(check(kNotOwner + "D:(A;;RP;;;WD)(A;;WPCR;;;" + kUser + ")(A;;CC;;;" + kOtherUser + ")",
                      MAXIMUM_ALLOWED),
                RP | WP | CR);
}

TEST(AccessCheckMaximumAllowed, AnEarlierDenyRemovesARightALaterAllowGives) {
  expectGranted(check(kNotOwner + "D:(D;;WP;;;WD)(A;;RPWP;;;WD)", MAXIMUM_ALLOWED), RP);
}

TEST(AccessCheckMaximumAllowed, ALaterDenyDoesNotRemoveAGrantedRight) {
  expectGranted(check(kNotOwner + "D:(A;;RPWP;;;WD)(D;;WP;;;WD)", MAXIMUM_ALLOWED), RP | WP);
}

TEST(AccessCheckMaximumAllowed, IncludesTheOwnersImplicitRights) {
  expectGranted(check(kOwnedByUser + "D:(A;;RP;;;WD)", MAXIMUM_ALLOWED), RP | READ_CONTROL | WRITE_DAC);
}

TEST(AccessCheckMaximumAllowed, NothingAllowedIsADenial) {
  expectDenied(check(kNotOwner + "D:(A;;RP;;;" + kOtherUser + ")", MAXIMUM_ALLOWED));
}

TEST(AccessCheckMaximumAllowed, OtherRequestedRightsMustAlsoBeGranted) {
  expectGranted(check(kNotOwner + "D:(A;;RPWP;;;WD)", MAXIMUM_ALLOWED | RP), RP | WP);
  expectDenied(check(kNotOwner + "D:(A;;RP;;;WD)", MAXIMUM_ALLOWED | WP));
}

// With a null DACL the maximum is everything the object type defines: the mapping's "all".
TEST(AccessCheckMaximumAllowed, ANullDaclGivesTheGenericAllMapping) {
  expectGranted(check(kNotOwner + "D:NO_ACCESS_CONTROL", MAXIMUM_ALLOWED), 0x000F01FF);
}

TEST(AccessCheckMaximumAllowed, AFullControlEntryGivesTheFullDirectoryMask) {
  expectGranted(check(kNotOwner + "D:(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;WD)", MAXIMUM_ALLOWED), 0x000F01FF);
}

// ---- Privileges ------------------------------------------------------------------------------

TEST(AccessCheckPrivileges, SystemSecurityWithoutThePrivilegeIsPrivilegeNotHeld) {
  CheckResult result = check(kNotOwner + "D:(A;;0x010F01FF;;;WD)", ACCESS_SYSTEM_SECURITY | RP);
  ASSERT_TRUE(result.succeeded);
  EXPECT_EQ(result.status, static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));
  EXPECT_EQ(result.granted, 0u);
}

TEST(AccessCheckPrivileges, SystemSecurityWithoutThePrivilegeIsRefusedEvenWithANullDacl) {
  CheckResult result = check(kNotOwner + "D:NO_ACCESS_CONTROL", ACCESS_SYSTEM_SECURITY);
  ASSERT_TRUE(result.succeeded);
  EXPECT_EQ(result.status, static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));
}

TEST(AccessCheckPrivileges, ADisabledSecurityPrivilegeDoesNotCount) {
  TokenShape shape;
  shape.disabledPrivileges = {SE_SECURITY_PRIVILEGE};
  EXPECT_EQ(check(kNotOwner + "D:", ACCESS_SYSTEM_SECURITY, shape).status, static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));
}

TEST(AccessCheckPrivileges, TheSecurityPrivilegeGrantsSystemSecurityWhateverTheDacl) {
  TokenShape shape;
  shape.enabledPrivileges = {SE_SECURITY_PRIVILEGE};
  expectGranted(check(kNotOwner + "D:(D;;0x01000000;;;WD)", ACCESS_SYSTEM_SECURITY, shape), ACCESS_SYSTEM_SECURITY);
  expectDenied(check(kNotOwner + "D:", ACCESS_SYSTEM_SECURITY | RP, shape));
}

TEST(AccessCheckPrivileges, TheUsedPrivilegeIsListedInThePrivilegeSet) {
  TokenShape shape;
  shape.enabledPrivileges = {SE_SECURITY_PRIVILEGE};
  LocalBlock descriptor = descriptorFrom(kNotOwner + "D:");
  UniqueHandle token = makeToken(shape);
  GUID classGuid = guidOf(kUserClass);
  OBJECT_TYPE_LIST list{ACCESS_OBJECT_GUID, 0, &classGuid};
  GENERIC_MAPPING mapping = directoryMapping();
  alignas(8) BYTE buffer[256] = {};
  DWORD length = sizeof buffer, granted = 0, status = 0;
  ASSERT_TRUE(AccessCheckByTypeResultList(descriptor.get(), nullptr, token.get(), ACCESS_SYSTEM_SECURITY, &list, 1,
                                          &mapping, reinterpret_cast<PPRIVILEGE_SET>(buffer), &length, &granted, &status));
  auto* set = reinterpret_cast<PPRIVILEGE_SET>(buffer);
  ASSERT_EQ(set->PrivilegeCount, 1u);
  EXPECT_EQ(set->Privilege[0].Luid.LowPart, static_cast<DWORD>(SE_SECURITY_PRIVILEGE));
}

TEST(AccessCheckPrivileges, ADaclEntryCannotGrantSystemSecurity) {
  TokenShape shape;
  expectGranted(check(kNotOwner + "D:(A;;0x01000010;;;WD)", MAXIMUM_ALLOWED, shape), RP);
}

TEST(AccessCheckPrivileges, TakeOwnershipGrantsWriteOwnerOverADeny) {
  TokenShape shape;
  shape.enabledPrivileges = {SE_TAKE_OWNERSHIP_PRIVILEGE};
  expectGranted(check(kNotOwner + "D:(D;;WO;;;WD)(A;;RP;;;WD)", WRITE_OWNER | RP, shape), WRITE_OWNER | RP);
  expectDenied(check(kNotOwner + "D:(D;;WO;;;WD)", WRITE_OWNER));
}

// ---- Object entries --------------------------------------------------------------------------

TEST(AccessCheckObjectEntries, AnAllowForTheObjectsClassGrants) {
  expectGranted(check(kNotOwner + "D:(OA;;RPWP;" + kUserClass + ";;WD)", WP), WP);
}

// With only the class in the object type list, entries for properties, property sets,
// extended rights or validated writes have nothing to match and are ignored.
TEST(AccessCheckObjectEntries, AnAllowForAnotherGuidIsIgnored) {
  expectDenied(check(kNotOwner + "D:(OA;;RPWP;" + kOtherGuid + ";;WD)", WP));
  expectDenied(check(kNotOwner + "D:(OA;;CR;00299570-246d-11d0-a768-00aa006e0529;;WD)", CR));
}

TEST(AccessCheckObjectEntries, ADenyForTheObjectsClassDenies) {
  expectDenied(check(kNotOwner + "D:(OD;;WP;" + kUserClass + ";;WD)(A;;RPWP;;;WD)", WP));
}

TEST(AccessCheckObjectEntries, ADenyForAnotherGuidIsIgnored) {
  expectGranted(check(kNotOwner + "D:(OD;;WP;" + kOtherGuid + ";;WD)(A;;RPWP;;;WD)", WP), WP);
}

TEST(AccessCheckObjectEntries, AnEntryWithoutObjectTypeAppliesToTheWholeObject) {
  expectGranted(check(kNotOwner + "D:(OA;;RP;;;WD)", RP), RP);
  expectDenied(check(kNotOwner + "D:(OD;;RP;;;WD)(A;;RP;;;WD)", RP));
}

// The inherited object type only steers inheritance; it does not narrow the entry here.
TEST(AccessCheckObjectEntries, TheInheritedObjectTypeDoesNotNarrowTheEntry) {
  expectGranted(check(kNotOwner + "D:(OA;;RP;;" + kOtherGuid + ";WD)", RP), RP);
}

TEST(AccessCheckObjectEntries, MaximumAllowedCountsOnlyMatchingObjectEntries) {
  expectGranted(check(kNotOwner + "D:(OA;;RP;" + kUserClass + ";;WD)(OA;;WP;" + kOtherGuid + ";;WD)", MAXIMUM_ALLOWED),
                RP);
}

// ---- Principal self --------------------------------------------------------------------------

namespace {

CheckResult checkWithSelf(const std::string& sddl, DWORD desired, const char* selfSid) {
  LocalBlock descriptor = descriptorFrom(sddl);
  UniqueHandle token = makeToken(TokenShape{});
  authz::SidBytes self = selfSid ? sidFrom(selfSid) : authz::SidBytes{};
  return checkAccess(descriptor.get(), token.get(), desired, selfSid ? self.data() : nullptr);
}

}  // namespace

TEST(AccessCheckPrincipalSelf, ASelfEntryAppliesWhenTheSelfSidIsInTheToken) {
  expectGranted(checkWithSelf(kNotOwner + "D:(A;;WP;;;PS)", WP, kUser), WP);
}

TEST(AccessCheckPrincipalSelf, ASelfEntryDoesNotApplyForAnotherObjectsSid) {
  expectDenied(checkWithSelf(kNotOwner + "D:(A;;WP;;;PS)", WP, kOtherUser));
}

TEST(AccessCheckPrincipalSelf, WithoutASelfSidASelfEntryMatchesNobody) {
  expectDenied(checkWithSelf(kNotOwner + "D:(A;;WP;;;PS)", WP, nullptr));
}

TEST(AccessCheckPrincipalSelf, ASelfDenyAppliesToTheObjectItself) {
  expectDenied(checkWithSelf(kNotOwner + "D:(D;;WP;;;PS)(A;;WP;;;WD)", WP, kUser));
}

TEST(AccessCheckPrincipalSelf, ASelfObjectEntryIsMatchedAgainstTheClassToo) {
  expectGranted(checkWithSelf(kNotOwner + "D:(OA;;WP;" + kUserClass + ";;PS)", WP, kUser), WP);
  expectDenied(checkWithSelf(kNotOwner + "D:(OA;;WP;" + kOtherGuid + ";;PS)", WP, kUser));
}

// ---- The node access check's own cases --------------------------------------------------------

TEST(AccessCheckNodeCases, ReadPropertyOnAReadableUserObject) {
  expectGranted(check(kNotOwner + "D:(A;;RPLCLORC;;;AU)", RP), RP);
}

TEST(AccessCheckNodeCases, WritePropertyWhereTheDescriptorDeniesIt) {
  CheckResult result = check(kNotOwner + "D:(D;;WP;;;" + kUser + ")(A;;RPWP;;;AU)", WP);
  ASSERT_TRUE(result.succeeded);
  EXPECT_NE(result.status, 0u);
}

TEST(AccessCheckNodeCases, MaximumAllowedGivesTheFullGrantedMask) {
  expectGranted(check(kNotOwner + "D:(A;;RPLCLORC;;;AU)(A;;WP;;;" + kUser + ")", MAXIMUM_ALLOWED),
                RP | LC | ACTRL_DS_LIST_OBJECT | READ_CONTROL | WP);
}

// ---- Failures of the function itself ---------------------------------------------------------

TEST(AccessCheckFailures, APrimaryTokenIsRefused) {
  TokenShape shape;
  shape.type = TokenPrimary;
  expectFailure(check(kNotOwner + "D:", RP, shape), ERROR_NO_IMPERSONATION_TOKEN);
}

TEST(AccessCheckFailures, AnAnonymousLevelTokenIsRefused) {
  TokenShape shape;
  shape.level = SecurityAnonymous;
  expectFailure(check(kNotOwner + "D:", RP, shape), ERROR_BAD_IMPERSONATION_LEVEL);
}

TEST(AccessCheckFailures, AnIdentificationLevelTokenIsEnough) {
  TokenShape shape;
  shape.level = SecurityIdentification;
  expectGranted(check(kNotOwner + "D:(A;;RP;;;WD)", RP, shape), RP);
}

TEST(AccessCheckFailures, AHandleWithoutTokenQueryIsRefused) {
  TokenShape shape;
  shape.handleAccess = TOKEN_IMPERSONATE;
  expectFailure(check(kNotOwner + "D:", RP, shape), ERROR_ACCESS_DENIED);
}

TEST(AccessCheckFailures, AClosedHandleIsRefused) {
  LocalBlock descriptor = descriptorFrom(kNotOwner + "D:");
  HANDLE stale;
  {
    UniqueHandle token = makeToken(TokenShape{});
    stale = token.get();
  }
  expectFailure(checkAccess(descriptor.get(), stale, RP), ERROR_INVALID_HANDLE);
}

TEST(AccessCheckFailures, ADescriptorWithoutOwnerOrGroupIsRefused) {
  expectFailure(check("G:BAD:(A;;RP;;;WD)", RP), ERROR_INVALID_SECURITY_DESCR);
  expectFailure(check("O:BAD:(A;;RP;;;WD)", RP), ERROR_INVALID_SECURITY_DESCR);
}

TEST(AccessCheckFailures, AMalformedDaclIsRefused) {
  LocalBlock descriptor = descriptorFrom(kNotOwner + "D:(A;;RP;;;WD)");
  DWORD daclOffset = 0;
  std::memcpy(&daclOffset, static_cast<BYTE*>(descriptor.get()) + 16, 4);
  BYTE* aceSize = static_cast<BYTE*>(descriptor.get()) + daclOffset + 8 + 2;
  aceSize[0] = 0xF0;  // the entry now claims to run past its ACL
  UniqueHandle token = makeToken(TokenShape{});
  expectFailure(checkAccess(descriptor.get(), token.get(), RP), ERROR_INVALID_ACL);
}

TEST(AccessCheckFailures, BadObjectTypeListsAreInvalidParameters) {
  LocalBlock descriptor = descriptorFrom(kNotOwner + "D:(A;;RP;;;WD)");
  UniqueHandle token = makeToken(TokenShape{});
  GUID a = guidOf(kUserClass), b = guidOf(kOtherGuid), c = guidOf("00299570-246d-11d0-a768-00aa006e0529");
  struct Row {
    const char* what;
    std::vector<OBJECT_TYPE_LIST> list;
  } rows[] = {
      {"empty", {}},
      {"first not level 0", {{1, 0, &a}}},
      {"two level-0 entries", {{0, 0, &a}, {0, 0, &b}}},
      {"a skipped level", {{0, 0, &a}, {2, 0, &b}}},
      {"beyond the deepest level", {{0, 0, &a}, {1, 0, &b}, {2, 0, &c}, {3, 0, &c}, {4, 0, &c}, {5, 0, &c}}},
      {"a repeated GUID", {{0, 0, &a}, {1, 0, &b}, {1, 0, &b}}},
      {"a null GUID", {{0, 0, nullptr}}},
  };
  GENERIC_MAPPING mapping = directoryMapping();
  for (Row& row : rows) {
    alignas(8) BYTE privileges[256] = {};
    DWORD length = sizeof privileges;
    std::vector<DWORD> granted(row.list.size() + 1), status(row.list.size() + 1);
    EXPECT_FALSE(AccessCheckByTypeResultList(descriptor.get(), nullptr, token.get(), RP, row.list.data(),
                                             static_cast<DWORD>(row.list.size()), &mapping,
                                             reinterpret_cast<PPRIVILEGE_SET>(privileges), &length, granted.data(),
                                             status.data()))
        << row.what;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << row.what;
  }
}

TEST(AccessCheckFailures, ATooSmallPrivilegeSetReportsTheNeededLength) {
  LocalBlock descriptor = descriptorFrom(kNotOwner + "D:(A;;RP;;;WD)");
  UniqueHandle token = makeToken(TokenShape{});
  GUID classGuid = guidOf(kUserClass);
  OBJECT_TYPE_LIST list{ACCESS_OBJECT_GUID, 0, &classGuid};
  GENERIC_MAPPING mapping = directoryMapping();
  PRIVILEGE_SET set{};
  DWORD length = 4, granted = 0, status = 0;
  EXPECT_FALSE(AccessCheckByTypeResultList(descriptor.get(), nullptr, token.get(), RP, &list, 1, &mapping, &set,
                                           &length, &granted, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(length, static_cast<DWORD>(sizeof(PRIVILEGE_SET)));
}

// ---- Object type lists with properties -------------------------------------------------------

namespace {

// The user class with one property set holding two properties, checked for WP.
struct TreeCheck {
  std::vector<DWORD> granted = std::vector<DWORD>(4);
  std::vector<DWORD> status = std::vector<DWORD>(4);
};

constexpr const char* kPropertySet = "e45795b2-9455-11d1-aebd-0000f80367c1";
constexpr const char* kPropertyA = "bf967a49-0de6-11d0-a285-00aa003049e2";
constexpr const char* kPropertyB = "bf967a4a-0de6-11d0-a285-00aa003049e2";

TreeCheck checkTree(const std::string& sddl, DWORD desired) {
  LocalBlock descriptor = descriptorFrom(sddl);
  UniqueHandle token = makeToken(TokenShape{});
  GUID guids[4] = {guidOf(kUserClass), guidOf(kPropertySet), guidOf(kPropertyA), guidOf(kPropertyB)};
  OBJECT_TYPE_LIST list[4] = {{0, 0, &guids[0]}, {1, 0, &guids[1]}, {2, 0, &guids[2]}, {2, 0, &guids[3]}};
  GENERIC_MAPPING mapping = directoryMapping();
  alignas(8) BYTE privileges[256] = {};
  DWORD length = sizeof privileges;
  TreeCheck result;
  EXPECT_TRUE(AccessCheckByTypeResultList(descriptor.get(), nullptr, token.get(), desired, list, 4, &mapping,
                                          reinterpret_cast<PPRIVILEGE_SET>(privileges), &length, result.granted.data(),
                                          result.status.data()));
  return result;
}

}  // namespace

TEST(AccessCheckObjectTypeTree, APropertyEntryGrantsThatPropertyOnly) {
  TreeCheck result = checkTree(kNotOwner + "D:(OA;;WP;" + kPropertyA + ";;WD)", WP);
  EXPECT_EQ(result.status, (std::vector<DWORD>{5, 5, 0, 5}));
  EXPECT_EQ(result.granted, (std::vector<DWORD>{0, 0, WP, 0}));
}

// The set is the class's only child here, so granting the set grants the class as well.
TEST(AccessCheckObjectTypeTree, APropertySetEntryGrantsItsPropertiesAndASoleParent) {
  TreeCheck result = checkTree(kNotOwner + "D:(OA;;WP;" + std::string(kPropertySet) + ";;WD)", WP);
  EXPECT_EQ(result.status, (std::vector<DWORD>{0, 0, 0, 0}));
  EXPECT_EQ(result.granted, (std::vector<DWORD>{WP, WP, WP, WP}));
}

// A parent holds a right once every child holds it.
TEST(AccessCheckObjectTypeTree, AllChildrenGrantedGrantsTheParents) {
  TreeCheck result = checkTree(
      kNotOwner + "D:(OA;;WP;" + kPropertyA + ";;WD)(OA;;WP;" + std::string(kPropertyB) + ";;WD)", WP);
  EXPECT_EQ(result.status, (std::vector<DWORD>{0, 0, 0, 0}));
}

// A deny on a property also denies everything above it, so a later allow on the class leaves
// the class and the set refused while the sibling property is granted.
TEST(AccessCheckObjectTypeTree, ADenyOnAPropertyDeniesItsAncestors) {
  TreeCheck result = checkTree(kNotOwner + "D:(OD;;WP;" + kPropertyA + ";;WD)(A;;WP;;;WD)", WP);
  EXPECT_EQ(result.status, (std::vector<DWORD>{5, 5, 5, 0}));
}
