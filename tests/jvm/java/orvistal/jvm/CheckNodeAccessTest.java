package orvistal.jvm;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static orvistal.jvm.Directory.ALICE;
import static orvistal.jvm.Directory.BASE_DN;
import static orvistal.jvm.Directory.BIND_PASSWORD;
import static orvistal.jvm.Directory.BIND_USER;
import static orvistal.jvm.Directory.LOGON_FAILURE;
import static orvistal.jvm.Directory.PEOPLE;
import static orvistal.jvm.Directory.SERVER;

import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import kestrivane.qom.result.ResultCheckAccess;
import kestrivane.qom.userstoreproxy.multidomain.Orvistal;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/** wCheckNodeAccess: the bind account's rights on objects, decided locally from their descriptors. */
class CheckNodeAccessTest {
    static final int READ_PROPERTY = 0x10;
    static final int WRITE_PROPERTY = 0x20;
    static final int MAXIMUM_ALLOWED = 0x02000000;
    static final int GENERIC_READ = 0x80000000;
    static final int ACCESS_DENIED = 5;
    static final String DENNIS = "CN=Dennis Denied,OU=Delegated,OU=Orvistal," + BASE_DN;
    static final String WANDA = "CN=Wanda Writable,OU=Delegated,OU=Orvistal," + BASE_DN;

    @BeforeAll
    static void load() {
        Directory.load();
    }

    @Test
    void readGrantedAndWriteDeniedByTheDescriptor() {
        // Authenticated users may read only property sets of a user; the unit's inherited entry
        // lets the bind account read (and write) the whole of wanda.
        ResultCheckAccess read = Directory.bound().wCheckNodeAccess(WANDA, READ_PROPERTY);
        assertEquals(0, read.getErrCode());
        assertEquals(0, read.getAccessStatus());
        assertEquals(READ_PROPERTY, read.getGrantedAccess());

        ResultCheckAccess denied = Directory.bound().wCheckNodeAccess(DENNIS, WRITE_PROPERTY);
        assertEquals(0, denied.getErrCode(), "a refused right is not a failure");
        assertEquals(ACCESS_DENIED, denied.getAccessStatus());

        ResultCheckAccess delegated = Directory.bound().wCheckNodeAccess(WANDA, WRITE_PROPERTY);
        assertEquals(0, delegated.getAccessStatus());
        ResultCheckAccess someoneElse = Directory.bound().wCheckNodeAccess(ALICE, READ_PROPERTY);
        assertEquals(ACCESS_DENIED, someoneElse.getAccessStatus(), "only property sets of alice are readable");
    }

    @Test
    void maximumAllowedAndGenericReadOnAnObjectWithoutSid() {
        ResultCheckAccess maximum = Directory.bound().wCheckNodeAccess(PEOPLE, MAXIMUM_ALLOWED);
        assertEquals(0, maximum.getErrCode());
        assertEquals(0, maximum.getAccessStatus());
        assertEquals(READ_PROPERTY, maximum.getGrantedAccess() & READ_PROPERTY);
        ResultCheckAccess read = Directory.bound().wCheckNodeAccess(PEOPLE, GENERIC_READ);
        assertEquals(0, read.getErrCode(), "generic rights are mapped before the check");
        assertEquals(0, read.getAccessStatus());
        assertEquals(0x00020094, read.getGrantedAccess());
    }

    @Test
    void aFailedCheckNeverReadsAsAGrant() {
        // Each way the check can fail before its verdict: the status says why, nothing is granted,
        // and the access status is the denial (0 is what a grant carries).
        Orvistal wrongPassword = new Orvistal(BIND_USER, "Not.The.Pw1", SERVER, true, null);
        Orvistal noServer = new Orvistal(BIND_USER, BIND_PASSWORD, "no-such-host.invalid", true, null);
        ResultCheckAccess[] failed = {
            wrongPassword.wCheckNodeAccess(ALICE, READ_PROPERTY),
            Directory.bound().wCheckNodeAccess("CN=Nobody," + PEOPLE, READ_PROPERTY),
            Directory.bound().wCheckNodeAccess("host:1/CN=x", READ_PROPERTY),
            Directory.bound().wCheckNodeAccess("CN=x,DC=elsewhere,DC=example", READ_PROPERTY),
            Directory.bound().wCheckNodeAccess("", READ_PROPERTY),
            noServer.wCheckNodeAccess(ALICE, READ_PROPERTY),
        };
        assertEquals(LOGON_FAILURE, failed[0].getErrCode());
        for (ResultCheckAccess check : failed) {
            assertNotEquals(0, check.getErrCode());
            assertEquals(0, check.getGrantedAccess());
            assertEquals(ACCESS_DENIED, check.getAccessStatus(), String.format("errCode 0x%08X", check.getErrCode()));
        }
    }

    @Test
    void withoutBindAccountTheProcesssKerberosIdentityDecides() throws Exception {
        Process kinit = new ProcessBuilder("kinit", "orvbind@" + Directory.env("ORVISTAL_TEST_REALM"))
                .redirectErrorStream(true).redirectOutput(ProcessBuilder.Redirect.DISCARD).start();
        try (OutputStream input = kinit.getOutputStream()) {
            input.write((BIND_PASSWORD + "\n").getBytes(StandardCharsets.UTF_8));
        }
        assertEquals(0, kinit.waitFor());
        ResultCheckAccess own = Directory.ownIdentity().wCheckNodeAccess(DENNIS, WRITE_PROPERTY);
        assertEquals(0, own.getErrCode());
        assertEquals(ACCESS_DENIED, own.getAccessStatus(), "the deny entry names orvbind, the ticket's owner");
        ResultCheckAccess read = Directory.ownIdentity().wCheckNodeAccess(WANDA, READ_PROPERTY);
        assertEquals(0, read.getAccessStatus());
    }
}
