package orvistal.jvm;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static orvistal.jvm.Directory.ALICE;
import static orvistal.jvm.Directory.BOB;
import static orvistal.jvm.Directory.DOMAIN;
import static orvistal.jvm.Directory.E_FAIL;
import static orvistal.jvm.Directory.E_NOINTERFACE;
import static orvistal.jvm.Directory.G_DEVS;
import static orvistal.jvm.Directory.JO_SMITH;
import static orvistal.jvm.Directory.NETBIOS;

import kestrivane.qom.result.ResultMessage;
import kestrivane.qom.userstoreproxy.multidomain.Orvistal;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/** wGetUserDsn and wGetGroupDsn in every name form the Java side uses. */
class NameResolutionTest {
    @BeforeAll
    static void load() {
        Directory.load();
    }

    private static void assertResolved(String expectedDn, ResultMessage result) {
        assertEquals(0, result.getErrCode(), "status");
        assertEquals(expectedDn, result.getMessage());
    }

    private static void assertNotFound(ResultMessage result) {
        assertEquals(E_FAIL, result.getErrCode());
        assertEquals("", result.getMessage());
    }

    @Test
    void distinguishedNamesWithAndWithoutPrincipalName() {
        assertResolved(ALICE, Directory.bound().wGetUserDsn(ALICE, null));
        assertResolved(BOB, Directory.bound().wGetUserDsn(BOB, ""));
        assertResolved(JO_SMITH, Directory.bound().wGetUserDsn(JO_SMITH, null));
    }

    @Test
    void downLevelAndPrincipalNames() {
        assertResolved(ALICE, Directory.bound().wGetUserDsn(NETBIOS + "\\alice", null));
        assertResolved(ALICE, Directory.bound().wGetUserDsn("alice@" + DOMAIN, null));
        assertResolved(JO_SMITH, Directory.bound().wGetUserDsn("jo.smith@" + DOMAIN, null));
        assertResolved(BOB, Directory.bound().wGetUserDsn("bob@" + DOMAIN, null));
    }

    @Test
    void bareNameWithADomainTriesDownLevelThenPrincipalName() {
        assertResolved(ALICE, Directory.bound().wGetUserDsn("alice", NETBIOS));
        assertResolved(BOB, Directory.bound().wGetUserDsn("bob", DOMAIN));
    }

    @Test
    void bareNameWithoutADomainIsSearched() {
        assertResolved(ALICE, Directory.bound().wGetUserDsn("alice", null));
        assertResolved(BOB, Directory.bound().wGetUserDsn("bob", ""));
        assertResolved(JO_SMITH, Directory.boundToDomain().wGetUserDsn("jsmith", null));
    }

    @Test
    void anEmptyAccountResolvesWithTheProcessIdentity() {
        assertResolved(ALICE, Directory.ownIdentity().wGetUserDsn("alice", null));
        assertResolved(ALICE, Directory.ownIdentity().wGetUserDsn(NETBIOS + "\\alice", null));
        assertResolved(G_DEVS, Directory.ownIdentity().wGetGroupDsn("g-devs"));
    }

    @Test
    void aFoundNameThatCannotBeTranslatedStillCarriesItsDistinguishedName() {
        // Bound by a distinguished name that holds a backslash: where simple binds are allowed
        // the directory binds it as it is, but the translation service takes the text before the
        // backslash as the credential domain, and by domain it is given the domain name instead,
        // so it cannot log on. A Kerberos bind refuses the name at once: it names no principal.
        Orvistal library = new Orvistal(JO_SMITH, "Smith.Pw.123", "no-such-host.invalid", false, DOMAIN);
        ResultMessage result = library.wGetUserDsn("alice", null);
        assertEquals(Directory.LOGON_FAILURE, result.getErrCode());
        assertEquals("1".equals(System.getenv("ORVISTAL_SIMPLE_BIND")) ? ALICE : "", result.getMessage());
    }

    @Test
    void namesThatMatchNothing() {
        assertNotFound(Directory.bound().wGetUserDsn("nobody-here", null));
        assertNotFound(Directory.bound().wGetUserDsn("CN=alice", null));
        ResultMessage unknownDn = Directory.bound().wGetUserDsn("CN=Nobody," + Directory.PEOPLE, null);
        assertEquals(Directory.NAME_NOT_FOUND, unknownDn.getErrCode());
        assertEquals("", unknownDn.getMessage());
    }

    @Test
    void wildcardsAndFilterSyntaxNeverSelectAnotherAccount() {
        for (String name : new String[] {"*", "al*", "a)(objectClass=*", "*)(|(sAMAccountName=*", "(objectClass=*)", "alice\u0000*"}) {
            assertNotFound(Directory.bound().wGetUserDsn(name, null));
            assertNotFound(Directory.bound().wGetGroupDsn(name));
        }
    }

    @Test
    void groupsInEachForm() {
        assertResolved(G_DEVS, Directory.bound().wGetGroupDsn(G_DEVS));
        assertResolved(G_DEVS, Directory.bound().wGetGroupDsn(NETBIOS + "\\g-devs"));
        assertResolved(G_DEVS, Directory.bound().wGetGroupDsn("g-devs"));
        assertNotFound(Directory.bound().wGetGroupDsn("no-such-group"));
    }

    @Test
    void aDistinguishedNameOfANonGroupIsRefusedAsAGroup() {
        ResultMessage result = Directory.bound().wGetGroupDsn(ALICE);
        assertEquals(E_NOINTERFACE, result.getErrCode());
        assertEquals("", result.getMessage());
    }

    @Test
    void anEmptyAccountPartNamesNothing() {
        assertNotFound(Directory.bound().wGetUserDsn(null, NETBIOS));
        assertNotFound(Directory.bound().wGetUserDsn("", DOMAIN));
        assertNotFound(Directory.bound().wGetUserDsn(NETBIOS + "\\", null));
        assertNotFound(Directory.bound().wGetUserDsn("@" + DOMAIN, null));
        assertNotFound(Directory.bound().wGetGroupDsn(NETBIOS + "\\"));
        assertEquals(E_FAIL, Directory.bound().wDeleteUser(null, NETBIOS));
    }

    @Test
    void aGroupNameAnswersOnlyWithAGroup() throws Exception {
        assertNotFound(Directory.bound().wGetGroupDsn("alice@" + DOMAIN));
        assertNotFound(Directory.bound().wGetGroupDsn(NETBIOS + "\\alice"));
        // A group whose account name is a user's display name: the translation finds the user
        // first, and the group is still reached.
        String group = "CN=resolve-erin-group," + Directory.GROUPS;
        try (AdminLdap admin = new AdminLdap()) {
            admin.deleteIfPresent(group);
            admin.create(group, "group", "Erin Example");
            try {
                assertResolved(group, Directory.bound().wGetGroupDsn("Erin Example"));
            } finally {
                admin.deleteIfPresent(group);
            }
        }
    }

    @Test
    void aUserIsNotResolvedAsAGroupByAccountName() {
        assertNotFound(Directory.bound().wGetGroupDsn("bob"));
    }
}
