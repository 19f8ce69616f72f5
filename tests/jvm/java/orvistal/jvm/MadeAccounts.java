package orvistal.jvm;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static orvistal.jvm.Directory.BASE_DN;
import static orvistal.jvm.Directory.NETBIOS;
import static orvistal.jvm.Directory.PEOPLE;
import static orvistal.jvm.Directory.SERVER;

import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.atomic.AtomicInteger;
import javax.naming.ldap.Rdn;
import kestrivane.qom.userstoreproxy.multidomain.Orvistal;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.BeforeEach;

/**
 * For tests that make accounts of their own: the administrator's LDAP connection, and every
 * object a test made (listed in made) deleted after it, in list order.
 */
abstract class MadeAccounts {
    static final int DISABLED = 0x80070533;
    static final int LOCKED_OUT = 0x80070775;
    static final String LOCKOUT_POLICY = "CN=orvistal-lockout,CN=Password Settings Container,CN=System," + BASE_DN;
    private static final AtomicInteger counter = new AtomicInteger();

    protected AdminLdap ldap;
    protected final List<String> made = new ArrayList<>();

    @BeforeAll
    static void load() {
        Directory.load();
    }

    @BeforeEach
    void connect() throws Exception {
        ldap = new AdminLdap();
    }

    @AfterEach
    void cleanUp() throws Exception {
        for (String dn : made) ldap.deleteIfPresent(dn);
        ldap.close();
    }

    static Orvistal admin() {
        return new Orvistal(Directory.env("ORVISTAL_TEST_ADMIN_USER"), Directory.env("ORVISTAL_TEST_ADMIN_PASSWORD"),
                SERVER, true, null);
    }

    /** A name no other run uses, short enough for sAMAccountName (20 characters). */
    static String uniqueName(String prefix) {
        long pid = ProcessHandle.current().pid() % 100000;
        return prefix + pid + "-" + counter.incrementAndGet() + "-" + (System.nanoTime() / 1000 % 1000);
    }

    static String dnIn(String container, String name) {
        return "CN=" + Rdn.escapeValue(name) + "," + container;
    }

    /** A new, disabled account made by the library; deleted after the test. */
    String newAccount(String prefix) {
        String name = uniqueName(prefix);
        made.add(dnIn(PEOPLE, name));
        assertEquals(0, admin().wAddUser(name, PEOPLE), name);
        return name;
    }

    /** A new account with a password, enabled. */
    String enabledAccount(String prefix, String password) throws Exception {
        String name = newAccount(prefix);
        assertEquals(0, admin().wResetPassword(name, password, NETBIOS));
        ldap.replace(dnIn(PEOPLE, name), "userAccountControl", "512");
        return name;
    }
}
