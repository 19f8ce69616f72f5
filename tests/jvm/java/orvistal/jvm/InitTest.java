package orvistal.jvm;

import static org.junit.jupiter.api.Assertions.assertEquals;

import kestrivane.qom.userstoreproxy.multidomain.Orvistal;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/** wInit through the real library against the test directory. */
class InitTest {
    static final String SERVER = env("ORVISTAL_TEST_SERVER");
    static final String DOMAIN = env("ORVISTAL_TEST_DOMAIN");
    static final String BIND_USER = env("ORVISTAL_TEST_BIND_USER");
    static final String BIND_PASSWORD = env("ORVISTAL_TEST_BIND_PASSWORD");

    static String env(String name) {
        String value = System.getenv(name);
        if (value == null || value.isEmpty()) {
            throw new IllegalStateException(name + " is not set: the tests need the test directory's environment");
        }
        return value;
    }

    @BeforeAll
    static void load() {
        Orvistal.loadLibrary();
    }

    @Test
    void bindsWithTheBindAccount() {
        assertEquals(0, new Orvistal(BIND_USER, BIND_PASSWORD, SERVER, true, null).wInit());
    }

    @Test
    void wrongPasswordIsALogonFailure() {
        assertEquals(0x8007052E, new Orvistal(BIND_USER, "not-the-password", SERVER, true, null).wInit());
    }

    @Test
    void emptyPasswordNeverBinds() {
        assertEquals(0x8007052E, new Orvistal(BIND_USER, "", SERVER, true, null).wInit());
    }

    @Test
    void domainNameStandsInForTheServer() {
        assertEquals(0, new Orvistal(BIND_USER, BIND_PASSWORD, "no-such-host.invalid", false, DOMAIN).wInit());
    }
}
