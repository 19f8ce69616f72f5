package orvistal.demo;

import kestrivane.qom.userstoreproxy.multidomain.Orvistal;

/**
 * Shows what the library does against a directory: the connection settings come from the
 * environment (ORVISTAL_TEST_SERVER, ORVISTAL_TEST_DOMAIN, ORVISTAL_TEST_BIND_USER,
 * ORVISTAL_TEST_BIND_PASSWORD), as the throwaway test directory exports them.
 */
public final class Demo {
    private Demo() {}

    public static void main(String[] args) {
        Orvistal.loadLibrary();
        String server = System.getenv("ORVISTAL_TEST_SERVER");
        String domain = System.getenv("ORVISTAL_TEST_DOMAIN");
        String user = System.getenv("ORVISTAL_TEST_BIND_USER");
        String password = System.getenv("ORVISTAL_TEST_BIND_PASSWORD");

        System.out.println("Connection test (wInit), 0 means the directory accepted the settings:");
        show("bind account on " + server, new Orvistal(user, password, server, true, null).wInit());
        show("bind account on the domain " + domain, new Orvistal(user, password, null, false, domain).wInit());
        show("wrong password", new Orvistal(user, "wrong password", server, true, null).wInit());
        show("empty password (never an anonymous login)", new Orvistal(user, "", server, true, null).wInit());
        show("server that does not answer", new Orvistal(user, password, "127.0.0.2:1", true, null).wInit());
    }

    private static void show(String what, int status) {
        System.out.printf("  %-48s 0x%08X%n", what, status);
    }
}
