package orvistal.jvm;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvistal.jvm.Directory.ALICE;
import static orvistal.jvm.Directory.BASE_DN;
import static orvistal.jvm.Directory.BOB;
import static orvistal.jvm.Directory.E_NOINTERFACE;
import static orvistal.jvm.Directory.G_DEVS;
import static orvistal.jvm.Directory.GROUPS;
import static orvistal.jvm.Directory.NETBIOS;
import static orvistal.jvm.Directory.PEOPLE;

import kestrivane.qom.result.ResultBooleanValue;
import kestrivane.qom.result.ResultMessage;
import kestrivane.qom.result.ResultStringList;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/** wIsMemberOf, wGetUserPrimaryGroup, wGetUserGroups and wGetMachineGroups. */
class MembershipTest {
    static final String DOMAIN_USERS = "CN=Domain Users,CN=Users," + BASE_DN;
    static final String DOMAIN_COMPUTERS = "CN=Domain Computers,CN=Users," + BASE_DN;
    static final String G_DIST = "CN=g-dist," + GROUPS;
    static final String G_PRIMARY = "CN=g-primary," + GROUPS;
    static final String PATP = "CN=Pat Primary," + PEOPLE;
    static final String WS01 = "CN=WS01,OU=Machines,OU=Orvistal," + BASE_DN;
    static final int NO_SUCH_OBJECT = 0x80072030;
    static final int BAD_PATHNAME = 0x80005000;  // E_ADS_BAD_PATHNAME
    static final int NOT_RESOLVED = 0x80004005;

    @BeforeAll
    static void load() {
        Directory.load();
    }

    private static void assertMember(boolean expected, String group, String member) {
        ResultBooleanValue result = Directory.bound().wIsMemberOf(group, member);
        assertEquals(0, result.getErrCode(), group + " / " + member);
        assertEquals(expected, result.getValue(), group + " / " + member);
    }

    @Test
    void membershipIsDirectOrPrimary() {
        assertMember(true, G_DEVS, ALICE);
        assertMember(false, "CN=g-staff," + GROUPS, ALICE);
        assertMember(true, DOMAIN_USERS, ALICE);
        assertMember(true, G_PRIMARY, PATP);
        assertMember(false, "CN=g-empty," + GROUPS, ALICE);
        assertMember(true, "CN=g-local," + GROUPS, Directory.JO_SMITH);
    }

    @Test
    void membersThatAreNoUsersOrDoNotExist() {
        ResultBooleanValue group = Directory.bound().wIsMemberOf("CN=g-staff," + GROUPS, G_DEVS);
        assertEquals(E_NOINTERFACE, group.getErrCode());
        assertFalse(group.getValue());
        ResultBooleanValue missing = Directory.bound().wIsMemberOf(G_DEVS, "CN=Nobody," + PEOPLE);
        assertEquals(NO_SUCH_OBJECT, missing.getErrCode());
        assertFalse(missing.getValue());
    }

    @Test
    void primaryGroupOfAUser() {
        ResultMessage alice = Directory.bound().wGetUserPrimaryGroup("alice", null);
        assertEquals(0, alice.getErrCode());
        assertEquals(DOMAIN_USERS, alice.getMessage());
        ResultMessage patp = Directory.bound().wGetUserPrimaryGroup(NETBIOS + "\\patp", null);
        assertEquals(0, patp.getErrCode());
        assertEquals(G_PRIMARY, patp.getMessage());
        ResultMessage nobody = Directory.bound().wGetUserPrimaryGroup("nobody-here", null);
        assertEquals(NOT_RESOLVED, nobody.getErrCode());
        assertEquals("", nobody.getMessage());
    }

    @Test
    void groupsOfAUserAreMemberOfThenThePrimaryGroup() {
        ResultStringList alice = Directory.bound().wGetUserGroups("alice", null);
        assertEquals(0, alice.getErrCode());
        String[] groups = alice.getStringList();
        // Other tests may add alice to a group for a moment: her seeded groups come first, in any
        // order, and her primary group last.
        java.util.List<String> memberOf = java.util.Arrays.asList(groups).subList(0, groups.length - 1);
        assertTrue(memberOf.containsAll(java.util.List.of(G_DEVS, G_DIST)), String.join(" | ", groups));
        assertFalse(memberOf.contains(DOMAIN_USERS));
        assertEquals(DOMAIN_USERS, groups[groups.length - 1]);

        // patp has no memberOf of his own in g-primary; Samba lists him in Domain Users.
        ResultStringList patp = Directory.bound().wGetUserGroups("patp", null);
        assertEquals(0, patp.getErrCode());
        String[] patpGroups = patp.getStringList();
        assertEquals(G_PRIMARY, patpGroups[patpGroups.length - 1]);

        ResultStringList bob = Directory.bound().wGetUserGroups(BOB, null);
        assertEquals(0, bob.getErrCode());
        assertArrayEquals(new String[] {"CN=g-staff," + GROUPS, DOMAIN_USERS}, bob.getStringList());

        ResultStringList nobody = Directory.bound().wGetUserGroups("nobody-here", null);
        assertEquals(NOT_RESOLVED, nobody.getErrCode());
        assertEquals(0, nobody.getStringList().length);
    }

    @Test
    void aUserWithoutMemberOfHasOnlyItsPrimaryGroup() {
        ResultStringList zoe = Directory.bound().wGetUserGroups("zoe", null);
        assertEquals(0, zoe.getErrCode());
        assertArrayEquals(new String[] {DOMAIN_USERS}, zoe.getStringList());
    }

    @Test
    void groupsOfAMachine() {
        ResultStringList ws01 = Directory.bound().wGetMachineGroups(WS01);
        assertEquals(0, ws01.getErrCode());
        assertArrayEquals(new String[] {"CN=g-machines," + GROUPS, DOMAIN_COMPUTERS}, ws01.getStringList());

        // The name is not resolved: an account name is no distinguished name.
        ResultStringList byAccount = Directory.bound().wGetMachineGroups("WS01$");
        assertTrue(byAccount.getErrCode() < 0);
        assertEquals(0, byAccount.getStringList().length);
    }

    @Test
    void domainPartsInLowerCaseButNotInMixedCase() {
        ResultStringList lower = Directory.bound().wGetMachineGroups(WS01.toLowerCase());
        assertEquals(0, lower.getErrCode());
        assertEquals(DOMAIN_COMPUTERS, lower.getStringList()[lower.getStringList().length - 1]);

        ResultStringList mixed = Directory.bound().wGetMachineGroups(WS01.replace("DC=", "Dc="));
        assertEquals(BAD_PATHNAME, mixed.getErrCode());
        assertArrayEquals(new String[] {"CN=g-machines," + GROUPS}, mixed.getStringList());
    }
}
