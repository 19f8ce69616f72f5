package orvistal.jvm;

import kestrivane.qom.userstoreproxy.multidomain.Orvistal;

/** The test directory's names and accounts, as its environment gives them. */
final class Directory {
    static final String SERVER = env("ORVISTAL_TEST_SERVER");
    static final String DOMAIN = env("ORVISTAL_TEST_DOMAIN");
    static final String NETBIOS = env("ORVISTAL_TEST_NETBIOS");
    static final String BASE_DN = env("ORVISTAL_TEST_BASE_DN");
    static final String BIND_USER = env("ORVISTAL_TEST_BIND_USER");
    static final String BIND_PASSWORD = env("ORVISTAL_TEST_BIND_PASSWORD");

    static final String PEOPLE = "OU=People,OU=Orvistal," + BASE_DN;
    static final String GROUPS = "OU=Groups,OU=Orvistal," + BASE_DN;
    static final String ALICE = "CN=Alice Liddell," + PEOPLE;
    static final String BOB = "CN=Bob Builder," + PEOPLE;
    static final String JO_SMITH = "CN=Smith\\, Jo," + PEOPLE;
    static final String G_DEVS = "CN=g-devs," + GROUPS;

    static final int E_FAIL = 0x80004005;
    static final int E_NOINTERFACE = 0x80004002;
    static final int LOGON_FAILURE = 0x8007052E;
    static final int NAME_NOT_FOUND = 0x80072116;

    private Directory() {}

    static String env(String name) {
        String value = System.getenv(name);
        if (value == null || value.isEmpty()) {
            throw new IllegalStateException(name + " is not set: the tests need the test directory's environment");
        }
        return value;
    }

    /** The library, bound with the non-admin bind account to the test server. */
    static Orvistal bound() {
        return new Orvistal(BIND_USER, BIND_PASSWORD, SERVER, true, null);
    }

    /** The library, bound with the bind account to the domain rather than a server. */
    static Orvistal boundToDomain() {
        return new Orvistal(BIND_USER, BIND_PASSWORD, "no-such-host.invalid", false, DOMAIN);
    }

    /** The library with no bind account: calls use the process's Kerberos ticket. */
    static Orvistal ownIdentity() {
        return new Orvistal(null, "a password that must be ignored", SERVER, true, null);
    }

    static void load() {
        Orvistal.loadLibrary();
    }
}
