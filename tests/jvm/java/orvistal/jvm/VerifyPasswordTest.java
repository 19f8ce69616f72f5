package orvistal.jvm;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvistal.jvm.Directory.DOMAIN;
import static orvistal.jvm.Directory.LOGON_FAILURE;
import static orvistal.jvm.Directory.NETBIOS;

import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/** wVerifyPassword in every name form: the directory's own verdict on a login. */
class VerifyPasswordTest {
    static final String ALICE_PASSWORD = "Alice.Pw.123";

    @BeforeAll
    static void load() {
        Directory.load();
    }

    private static int verify(String user, String password, String domain) {
        return Directory.bound().wVerifyPassword(user, password, domain);
    }

    @Test
    void acceptedInEveryNameForm() {
        assertEquals(0, verify("alice@" + DOMAIN, ALICE_PASSWORD, ""));
        assertEquals(0, verify(NETBIOS + "\\alice", ALICE_PASSWORD, ""));
        assertEquals(0, verify("alice", ALICE_PASSWORD, NETBIOS));
        assertEquals(0, verify("bob@" + DOMAIN, "Bob.Pw.12345", null), "implicit principal name");
    }

    @Test
    void domainParameterAndPrincipalNameWinAsTheRulesSay() {
        assertEquals(0, verify("ELSEWHERE\\alice", ALICE_PASSWORD, NETBIOS), "a given domain wins over the prefix");
        assertEquals(0, verify("alice@" + DOMAIN, ALICE_PASSWORD, "ELSEWHERE"), "a principal name carries its domain");
        assertEquals(0, verify("\\alice", ALICE_PASSWORD, ""), "no domain: the directory's own");
        assertEquals(LOGON_FAILURE, verify("\\alice", "Wrong.Pw.123", ""), "no domain, wrong password");
    }

    @Test
    void wrongAndEmptyPasswordsAreLogonFailures() {
        assertEquals(LOGON_FAILURE, verify("alice@" + DOMAIN, "Alice.Pw.124", ""));
        assertEquals(LOGON_FAILURE, verify("alice@" + DOMAIN, "", ""));
        assertEquals(LOGON_FAILURE, verify("alice@" + DOMAIN, null, ""));
        assertEquals(LOGON_FAILURE, verify("", "", ""), "no account and no password is no login");
        assertEquals(LOGON_FAILURE, verify("", ALICE_PASSWORD, ""), "no account is no login, whatever the password");
        assertEquals(LOGON_FAILURE, verify(NETBIOS + "\\", ALICE_PASSWORD, ""), "a domain alone is no account");
        assertEquals(LOGON_FAILURE, verify("nobody-here@" + DOMAIN, "Some.Pw.123", ""));
    }

    @Test
    void disabledExpiredAndMustChangeAccountsAreRefusedWithTheirCodes() {
        assertEquals(0x80070533, verify("dora@" + DOMAIN, "Dora.Pw.123", ""));
        assertEquals(0x80070701, verify("expired@" + DOMAIN, "Expired.Pw.123", ""));
        assertEquals(0x80070773, verify("mustchange@" + DOMAIN, "Must.Change.Pw1", ""));
        assertEquals(LOGON_FAILURE, verify("dora@" + DOMAIN, "wrong", ""), "a wrong password hides the account state");
    }

    @Test
    void lockedOutAccountIsRefusedEvenWithTheRightPassword() {
        // Three wrong passwords lock the account (refused as wrong, or as locked once it is).
        for (int i = 0; i < 3; i++) {
            int status = verify("locky@" + DOMAIN, "Wrong.Pw." + i, "");
            assertTrue(status == LOGON_FAILURE || status == 0x80070775, Integer.toHexString(status));
        }
        assertEquals(0x80070775, verify("locky@" + DOMAIN, "Locky.Pw.123", ""));
    }

    @Test
    void verifiesAgainstTheDomainWhenNoServerIsUsed() {
        assertEquals(0, Directory.boundToDomain().wVerifyPassword("alice@" + DOMAIN, ALICE_PASSWORD, ""));
        assertEquals(LOGON_FAILURE, Directory.boundToDomain().wVerifyPassword("alice@" + DOMAIN, "wrong", ""));
    }
}
