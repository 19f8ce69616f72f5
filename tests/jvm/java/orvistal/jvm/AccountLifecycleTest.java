package orvistal.jvm;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvistal.jvm.Directory.ALICE;
import static orvistal.jvm.Directory.BASE_DN;
import static orvistal.jvm.Directory.DOMAIN;
import static orvistal.jvm.Directory.E_NOINTERFACE;
import static orvistal.jvm.Directory.G_DEVS;
import static orvistal.jvm.Directory.GROUPS;
import static orvistal.jvm.Directory.LOGON_FAILURE;
import static orvistal.jvm.Directory.NETBIOS;
import static orvistal.jvm.Directory.PEOPLE;
import static orvistal.jvm.Directory.SERVER;

import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.TreeMap;
import javax.naming.directory.DirContext;
import kestrivane.qom.userstoreproxy.multidomain.Orvistal;
import org.junit.jupiter.api.Test;

/** Creating, deleting, unlocking accounts and setting their passwords, as Java sees it. */
class AccountLifecycleTest extends MadeAccounts {
    static final int ALREADY_EXISTS = 0x80071392;
    static final int CONSTRAINT_VIOLATION = 0x8007202F;
    static final int NO_SUCH_OBJECT = 0x80072030;
    static final int ACCESS_DENIED = 0x80070005;
    static final int INVALID_ARG = 0x80070057;
    static final int PASSWORD_POLICY = 0x800708C5;
    static int verify(String name, String password) {
        return Directory.bound().wVerifyPassword(name + "@" + DOMAIN, password, "");
    }

    @Test
    void addUserMakesWhatOneAddOfItsValuesMakes() throws Exception {
        String name = newAccount("ja");
        String reference = uniqueName("jr");
        made.add(dnIn(PEOPLE, reference));
        Map<String, String> values = new TreeMap<>();
        values.put("objectClass", "user");
        values.put("sAMAccountName", reference);
        values.put("userAccountControl", "514");
        values.put("userPrincipalName", reference + "@" + DOMAIN);
        ldap.add(dnIn(PEOPLE, reference), values);

        Map<String, String> made = ldap.read(dnIn(PEOPLE, name));
        Map<String, String> expected = ldap.read(dnIn(PEOPLE, reference));
        assertEquals(name, made.get("samaccountname"));
        assertEquals(name + "@" + DOMAIN, made.get("userprincipalname"));
        assertEquals(name, made.get("cn"));
        assertEquals("514", made.get("useraccountcontrol"));
        // Everything else is what the directory makes of such an add, no more and no less.
        Set<String> ownToEach = Set.of("cn", "name", "distinguishedname", "samaccountname", "userprincipalname",
                "objectguid", "objectsid", "whencreated", "whenchanged", "usncreated", "usnchanged",
                "dscorepropagationdata", "pwdlastset", "badpasswordtime", "lastlogoff", "lastlogon");
        assertEquals(expected.keySet(), made.keySet());
        for (String attribute : expected.keySet()) {
            if (!ownToEach.contains(attribute)) assertEquals(expected.get(attribute), made.get(attribute), attribute);
        }
        assertEquals(0, Directory.bound().wIsUserNode(dnIn(PEOPLE, name)));
    }

    @Test
    void namesWithSpecialCharactersStayInTheGivenContainer() throws Exception {
        String[] tails = {",OU=Groups,OU=Orvistal," + BASE_DN, "+sn=other", "=x", "\\y"};
        for (String tail : tails) {
            String name = uniqueName("h") + tail;
            String dn = dnIn(PEOPLE, name);
            made.add(dn);
            int status = admin().wAddUser(name, PEOPLE);
            if (status == 0) {
                assertEquals(name, ldap.read(dn).get("cn"), "the whole name is the one value of the name");
                assertEquals(0, admin().wDeleteUser(name, NETBIOS), "found and deleted by its own name");
            } else {
                assertTrue(status < 0, Integer.toHexString(status));
            }
            assertFalse(ldap.exists(dn));
        }
        String hashed = "#" + uniqueName("x");
        made.add(dnIn(PEOPLE, hashed));
        assertEquals(0, admin().wAddUser(hashed, PEOPLE));
        assertEquals(hashed, ldap.read(dnIn(PEOPLE, hashed)).get("samaccountname"));
        String prefix = "h" + (ProcessHandle.current().pid() % 100000);
        assertFalse(ldap.exists("CN=" + prefix + ",OU=Groups,OU=Orvistal," + BASE_DN));
    }

    @Test
    void takenNamesAreRefusedAndTheExistingAccountIsUntouched() throws Exception {
        String name = newAccount("jt");
        String before = ldap.read(dnIn(PEOPLE, name)).get("whenchanged");
        assertEquals(ALREADY_EXISTS, admin().wAddUser(name, PEOPLE));
        assertEquals(ALREADY_EXISTS, admin().wAddUser(name, GROUPS), "the account name is taken anywhere");
        assertEquals(before, ldap.read(dnIn(PEOPLE, name)).get("whenchanged"));
        assertFalse(ldap.exists(dnIn(GROUPS, name)));

        // jsmith's principal name is jo.smith@...: an account "jo.smith" would take it over.
        String jsmith = "CN=Smith\\, Jo," + PEOPLE;
        Map<String, String> jo = ldap.read(jsmith);
        assertEquals(CONSTRAINT_VIOLATION, admin().wAddUser("jo.smith", PEOPLE));
        assertFalse(ldap.exists(dnIn(PEOPLE, "jo.smith")));
        assertEquals(jo, ldap.read(jsmith));
    }

    @Test
    void missingContainersAndMissingRightsCreateNothing() throws Exception {
        String name = uniqueName("jm");
        made.add(dnIn(PEOPLE, name));
        assertEquals(NO_SUCH_OBJECT, admin().wAddUser(name, "OU=Nowhere," + PEOPLE));
        assertEquals(ACCESS_DENIED, Directory.bound().wAddUser(name, PEOPLE));
        assertEquals(INVALID_ARG, admin().wAddUser(name, "OU=People,OU=Orvistal"), "no domain for the principal name");
        assertFalse(ldap.exists(dnIn(PEOPLE, name)));
    }

    @Test
    void deletesByEveryNameFormAndNothingElse() throws Exception {
        String byDn = newAccount("jd");
        String byPrincipal = newAccount("jd");
        String byNt4 = newAccount("jd");
        String byBare = newAccount("jd");
        assertEquals(ACCESS_DENIED, Directory.bound().wDeleteUser(dnIn(PEOPLE, byDn), ""));
        assertTrue(ldap.exists(dnIn(PEOPLE, byDn)));
        assertEquals(0, admin().wDeleteUser(dnIn(PEOPLE, byDn), ""));
        assertEquals(0, admin().wDeleteUser(byPrincipal + "@" + DOMAIN, ""));
        assertEquals(0, admin().wDeleteUser(NETBIOS + "\\" + byNt4, ""));
        assertEquals(0, admin().wDeleteUser(byBare, NETBIOS));
        for (String name : List.of(byDn, byPrincipal, byNt4, byBare)) assertFalse(ldap.exists(dnIn(PEOPLE, name)));

        for (String pattern : List.of("*", "a*", "a)(sAMAccountName=*", "*)(|(cn=*")) {
            assertNotEquals(0, admin().wDeleteUser(pattern, NETBIOS), pattern);
            assertNotEquals(0, admin().wDeleteUser(pattern, ""), pattern);
        }
        assertTrue(ldap.exists(ALICE));
        assertTrue(ldap.exists(G_DEVS));

        // No class is checked: a group named by its distinguished name goes too.
        String group = "CN=" + uniqueName("jg") + "," + GROUPS;
        made.add(group);
        ldap.add(group, Map.of("objectClass", "group"));
        assertEquals(0, admin().wDeleteUser(group, ""));
        assertFalse(ldap.exists(group));
    }

    @Test
    void resetSetsAPasswordThePolicyAccepts() throws Exception {
        String name = newAccount("jp");
        assertEquals(0, admin().wResetPassword(name, "First.Reset.135", NETBIOS));
        assertEquals(DISABLED, verify(name, "First.Reset.135"), "the right password of a disabled account");
        assertEquals(PASSWORD_POLICY, admin().wResetPassword(name, "short", NETBIOS));
        assertEquals(ACCESS_DENIED, Directory.bound().wResetPassword(name, "Other.Reset.246", NETBIOS));
        assertEquals(DISABLED, verify(name, "First.Reset.135"), "refused resets change nothing");
        assertEquals(0, admin().wResetPassword(name + "@" + DOMAIN, "Second.Reset.246", ""));
        ldap.replace(dnIn(PEOPLE, name), "userAccountControl", "512");
        assertEquals(0, verify(name, "Second.Reset.246"));
        assertEquals(LOGON_FAILURE, verify(name, "First.Reset.135"));
        assertEquals(E_NOINTERFACE, admin().wResetPassword(G_DEVS, "Group.Reset.357", ""));
    }

    @Test
    void changePasswordReportsNetworkStatuses() throws Exception {
        String name = enabledAccount("jc", "Change.Old.Pw1");
        Orvistal any = new Orvistal();
        assertEquals(86, any.wChangePassword(name, "Not.The.Old.1", "Change.New.Pw2", DOMAIN));
        assertEquals(2245, any.wChangePassword(name, "Change.Old.Pw1", "short", DOMAIN));
        assertEquals(0, verify(name, "Change.Old.Pw1"), "refusals change nothing");
        assertEquals(0, any.wChangePassword(name, "Change.Old.Pw1", "Change.New.Pw2", DOMAIN));
        assertEquals(0, verify(name, "Change.New.Pw2"));
        assertEquals(LOGON_FAILURE, verify(name, "Change.Old.Pw1"));
        assertEquals(0, any.wChangePassword(name, "Change.New.Pw2", "Change.Third.Pw3", null), "the default realm");
        assertEquals(0, verify(name, "Change.Third.Pw3"));
        assertEquals(2221, any.wChangePassword(uniqueName("nobody"), "Some.Old.Pw1", "Some.New.Pw2", DOMAIN));
        assertEquals(2351, any.wChangePassword(name, "Change.Third.Pw3", "Some.New.Pw2", "no-such-domain.invalid"));
    }

    @Test
    void anAccountThatMustChangeItsPasswordChangesIt() throws Exception {
        String name = enabledAccount("jx", "Must.Old.Pw1");
        ldap.replace(dnIn(PEOPLE, name), "pwdLastSet", "0");
        assertEquals(0x80070773, verify(name, "Must.Old.Pw1"));
        assertEquals(0, new Orvistal().wChangePassword(name, "Must.Old.Pw1", "Must.New.Pw2", DOMAIN));
        assertEquals(0, verify(name, "Must.New.Pw2"));
    }

    @Test
    void unlockLiftsALockout() throws Exception {
        String name = enabledAccount("jl", "Lock.Me.Pw.123");
        String dn = dnIn(PEOPLE, name);
        ldap.modify(LOCKOUT_POLICY, DirContext.ADD_ATTRIBUTE, "msDS-PSOAppliesTo", dn);
        try {
            for (int i = 0; i < 3; i++) verify(name, "Wrong.Pw." + i);
            assertEquals(LOCKED_OUT, verify(name, "Lock.Me.Pw.123"));
            assertEquals(1909, new Orvistal().wChangePassword(name, "Lock.Me.Pw.123", "Other.Pw.456", DOMAIN));
            assertEquals(ACCESS_DENIED, Directory.bound().wUnlockAccount(name, NETBIOS));
            assertEquals(LOCKED_OUT, verify(name, "Lock.Me.Pw.123"));
            assertEquals(0, admin().wUnlockAccount(name, NETBIOS));
            assertEquals(0, verify(name, "Lock.Me.Pw.123"));
            assertEquals(0, admin().wUnlockAccount(dn, ""), "an account that is not locked");
        } finally {
            ldap.modify(LOCKOUT_POLICY, DirContext.REMOVE_ATTRIBUTE, "msDS-PSOAppliesTo", dn);
        }
    }

    @Test
    void unlockRefusesAnObjectThatIsNotAUser() {
        assertEquals(E_NOINTERFACE, admin().wUnlockAccount(G_DEVS, ""));
        assertEquals(E_NOINTERFACE, admin().wUnlockAccount("g-devs", NETBIOS));
    }

    @Test
    void isUserNodeAcceptsUsersOnly() {
        Orvistal bound = Directory.bound();
        assertEquals(0, bound.wIsUserNode(ALICE));
        assertEquals(0, bound.wIsUserNode("CN=WS01,OU=Machines,OU=Orvistal," + BASE_DN), "a computer is a user");
        assertEquals(E_NOINTERFACE, bound.wIsUserNode(G_DEVS));
        assertEquals(NO_SUCH_OBJECT, bound.wIsUserNode("CN=nobody-here," + PEOPLE));
        assertTrue(bound.wIsUserNode("alice") < 0, "a bare name is not resolved");
        assertEquals(LOGON_FAILURE, new Orvistal(Directory.BIND_USER, "wrong", SERVER, true, null).wIsUserNode(ALICE));
    }
}
