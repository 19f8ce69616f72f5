package orvistal.jvm;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvistal.jvm.Directory.ALICE;
import static orvistal.jvm.Directory.BIND_PASSWORD;
import static orvistal.jvm.Directory.DOMAIN;
import static orvistal.jvm.Directory.LOGON_FAILURE;
import static orvistal.jvm.Directory.NAME_NOT_FOUND;
import static orvistal.jvm.Directory.NETBIOS;
import static orvistal.jvm.Directory.SERVER;

import kestrivane.qom.result.ResultMessage;
import kestrivane.qom.userstoreproxy.multidomain.Orvistal;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/** wTranslateName: the name-translation service as the Java side sees it. */
class TranslateNameTest {
    static final int DN = 1;
    static final int CANONICAL = 2;
    static final int NT4 = 3;
    static final int DISPLAY = 4;
    static final int GUID = 7;
    static final int UNKNOWN = 8;
    static final int UPN = 9;
    static final int CANONICAL_EX = 10;

    @BeforeAll
    static void load() {
        Directory.load();
    }

    private static String translated(Orvistal library, String name, int from, int to) {
        ResultMessage result = library.wTranslateName(name, from, to);
        assertEquals(0, result.getErrCode(), "status of " + name + " " + from + "->" + to);
        return result.getMessage();
    }

    @Test
    void eachOutputFormatOfOneUser() {
        Orvistal library = Directory.bound();
        assertEquals(ALICE, translated(library, NETBIOS + "\\alice", NT4, DN));
        assertEquals(NETBIOS + "\\alice", translated(library, ALICE, DN, NT4));
        assertEquals("alice@" + DOMAIN, translated(library, ALICE, DN, UPN));
        assertEquals("Alice Liddell", translated(library, ALICE, DN, DISPLAY));
        assertEquals(DOMAIN + "/Orvistal/People/Alice Liddell", translated(library, ALICE, DN, CANONICAL));
        assertEquals(DOMAIN + "/Orvistal/People\nAlice Liddell", translated(library, ALICE, DN, CANONICAL_EX));
        String guid = translated(library, ALICE, DN, GUID);
        assertTrue(guid.matches("\\{[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}\\}"), guid);
        assertEquals(ALICE, translated(library, guid, GUID, DN));
        assertEquals(ALICE, translated(library, "alice@" + DOMAIN, UNKNOWN, DN));
    }

    @Test
    void byDomainAndWithTheDomainNameAsCredentialDomain() {
        assertEquals(ALICE, translated(Directory.boundToDomain(), NETBIOS + "\\alice", NT4, DN));
        Orvistal downLevelAccount = new Orvistal(NETBIOS + "\\orvbind", BIND_PASSWORD, SERVER, true, null);
        assertEquals(ALICE, translated(downLevelAccount, "alice@" + DOMAIN, UPN, DN));
    }

    @Test
    void anEmptyAccountTranslatesWithTheProcessIdentity() {
        assertEquals("alice@" + DOMAIN, translated(Directory.ownIdentity(), NETBIOS + "\\alice", NT4, UPN));
        Orvistal byDomain = new Orvistal("", "", null, false, DOMAIN);
        assertEquals(ALICE, translated(byDomain, "alice@" + DOMAIN, UPN, DN));
    }

    @Test
    void aFailedTranslationCarriesTheStatusAndAnEmptyMessage() {
        ResultMessage result = Directory.bound().wTranslateName(NETBIOS + "\\nobody-here", NT4, DN);
        assertEquals(NAME_NOT_FOUND, result.getErrCode());
        assertNotNull(result.getMessage());
        assertEquals("", result.getMessage());
    }

    @Test
    void aWrongPasswordFailsAtInitialisation() {
        Orvistal wrong = new Orvistal(Directory.BIND_USER, "wrong", SERVER, true, null);
        ResultMessage result = wrong.wTranslateName(ALICE, DN, UPN);
        assertEquals(LOGON_FAILURE, result.getErrCode());
        assertEquals("", result.getMessage());
    }
}
