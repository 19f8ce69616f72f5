package orvistal.jvm;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static orvistal.jvm.Directory.BIND_USER;
import static orvistal.jvm.Directory.LOGON_FAILURE;
import static orvistal.jvm.Directory.SERVER;

import kestrivane.qom.userstoreproxy.multidomain.Orvistal;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/** wInit through the real library against the test directory. */
class InitTest {
    @BeforeAll
    static void load() {
        Directory.load();
    }

    @Test
    void bindsWithTheBindAccount() {
        assertEquals(0, Directory.bound().wInit());
    }

    @Test
    void wrongPasswordIsALogonFailure() {
        assertEquals(LOGON_FAILURE, new Orvistal(BIND_USER, "not-the-password", SERVER, true, null).wInit());
    }

    @Test
    void emptyPasswordNeverBinds() {
        assertEquals(LOGON_FAILURE, new Orvistal(BIND_USER, "", SERVER, true, null).wInit());
        assertEquals(LOGON_FAILURE, new Orvistal(BIND_USER, null, SERVER, true, null).wInit());
    }

    @Test
    void domainNameStandsInForTheServer() {
        assertEquals(0, Directory.boundToDomain().wInit());
    }

    @Test
    void anEmptyAccountBindsWithTheProcessIdentity() {
        assertEquals(0, Directory.ownIdentity().wInit());
        assertEquals(0, new Orvistal("", "", SERVER, true, null).wInit());
    }

    @Test
    void unreachableServerIsReportedAsDown() {
        assertEquals(0x8007203A, new Orvistal(BIND_USER, "x", "127.0.0.2:1", true, null).wInit());
    }
}
