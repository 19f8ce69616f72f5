package orvistal.jvm;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvistal.jvm.Directory.BIND_PASSWORD;
import static orvistal.jvm.Directory.BIND_USER;
import static orvistal.jvm.Directory.DOMAIN;
import static orvistal.jvm.Directory.LOGON_FAILURE;
import static orvistal.jvm.Directory.PEOPLE;
import static orvistal.jvm.Directory.SERVER;

import java.net.InetAddress;
import java.net.ServerSocket;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Collections;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.regex.Pattern;
import javax.naming.directory.DirContext;
import kestrivane.qom.result.Status;
import kestrivane.qom.userstoreproxy.multidomain.Orvistal;
import org.junit.jupiter.api.Test;

/**
 * The usual mistakes of a new user, each in a JVM of its own with the trace on (the trace, the CA
 * file and the Kerberos cache are read once per process): the status each gives, and the trace
 * lines that name the cause. Then a wrong password in the settings under load, which must not
 * lock the account out.
 */
class WhenSomethingGoesWrongTest extends MadeAccounts {
    static final int SERVER_DOWN = 0x8007203A;
    static final int LOCAL_ERROR = 0x8007203B;
    static final int TIMEOUT = 0x800705B4;
    static final int EXPIRED = 0x80070701;
    static final int MUST_CHANGE = 0x80070773;
    static final Pattern WHOLE_LINE = Pattern.compile(
            "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z t\\d+ (call w\\w+ .* -> (0x[0-9A-F]{8}( \\w+)?|null)"
            + "|ldap \\w+ dc=\\S+ .*|failover dc=\\S+ .*|connect dc=\\S+ .*|bind held back .*)");

    /** What a JVM of its own printed: the statuses of its calls, and its trace file. */
    record Probe(List<Integer> statuses, String trace) {
        void traced(String... parts) {
            for (String part : parts) assertTrue(trace.contains(part), "no \"" + part + "\" in the trace:\n" + trace);
        }
    }

    /** The status as Java puts it into words, and as the call's trace line names it. */
    static void named(Probe probe, int status, String name) {
        assertTrue(Status.describe(status).startsWith(String.format("0x%08X %s: ", status, name)),
                Status.describe(status));
        probe.traced(String.format("-> 0x%08X %s", status, name));
    }

    static Probe probe(Map<String, String> env, List<String> jvmOptions, String user, String password, String server,
            String... calls) throws Exception {
        Path trace = Files.createTempFile("orvistal-trace", ".log");
        try {
            String launcher = Path.of(System.getProperty("java.home"), "bin", "java").toString();
            List<String> command = new ArrayList<>(List.of(launcher,
                    "-Xcheck:jni", "-Dorvistal.library=" + System.getProperty("orvistal.library"), "-cp",
                    classesOf(Orvistal.class) + java.io.File.pathSeparator + classesOf(TraceProbe.class)));
            command.addAll(jvmOptions);
            command.addAll(List.of(TraceProbe.class.getName(), user, server));
            command.addAll(List.of(calls));
            ProcessBuilder builder = new ProcessBuilder(command).redirectErrorStream(true);
            builder.environment().put("PROBE_PASSWORD", password);
            if (jvmOptions.isEmpty()) {
                builder.environment().put("ORVISTAL_TRACE", trace.toString());
                builder.environment().put("ORVISTAL_TRACE_LEVEL", "2");
            } else {
                builder.environment().remove("ORVISTAL_TRACE");
            }
            builder.environment().putAll(env);
            Process process = builder.start();
            String output = new String(process.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
            assertEquals(0, process.waitFor(), output);
            assertFalse(output.contains("WARNING") || output.contains("FATAL"), output);
            List<Integer> statuses = new ArrayList<>();
            for (String line : output.split("\n")) {
                if (line.startsWith("status=0x")) statuses.add(Integer.parseUnsignedInt(line.substring(9), 16));
            }
            String text = Files.readString(traceFile(trace, jvmOptions));
            return new Probe(statuses, text);
        } finally {
            Files.deleteIfExists(trace);
        }
    }

    private static Path traceFile(Path trace, List<String> jvmOptions) {
        for (String option : jvmOptions)
            if (option.startsWith("-Dorvistal.trace=")) return Path.of(option.substring("-Dorvistal.trace=".length()));
        return trace;
    }

    static String classesOf(Class<?> type) throws Exception {
        return Path.of(type.getProtectionDomain().getCodeSource().getLocation().toURI()).toString();
    }

    static Probe probe(Map<String, String> env, String user, String password, String server, String... calls)
            throws Exception {
        return probe(env, List.of(), user, password, server, calls);
    }

    @Test
    void aServerThatCannotBeReachedSaysWhy() throws Exception {
        Probe unresolved = probe(Map.of(), BIND_USER, BIND_PASSWORD, "no-such-host.invalid", "wInit", "wInit");
        assertEquals(List.of(SERVER_DOWN, SERVER_DOWN), unresolved.statuses());
        unresolved.traced("failover dc=no-such-host.invalid:389 was not found: the name does not resolve (DNS)",
                "passed over: remembered as down", "call wInit as=\"" + BIND_USER + "\"");
        named(unresolved, SERVER_DOWN, "ERROR_DS_SERVER_DOWN");

        int port;
        try (ServerSocket free = new ServerSocket(0, 1, InetAddress.getLoopbackAddress())) {
            port = free.getLocalPort();
        }
        Probe nobody = probe(Map.of(), BIND_USER, BIND_PASSWORD, "127.0.0.1:" + port, "wInit", "wGetUserDsn");
        assertEquals(List.of(SERVER_DOWN, SERVER_DOWN), nobody.statuses());
        nobody.traced("did not answer: connection refused or unreachable", "passed over: remembered as down");

        try (UnansweringServerTest.SilentServer silent = new UnansweringServerTest.SilentServer(false)) {
            Probe mute = probe(Map.of(), BIND_USER, BIND_PASSWORD, "127.0.0.1:" + silent.port(), "wInit", "wInit");
            assertEquals(List.of(TIMEOUT, SERVER_DOWN), mute.statuses());
            mute.traced("did not answer in time -> 0x800705B4", "passed over: remembered as down");
            named(mute, TIMEOUT, "ERROR_TIMEOUT");
        }
    }

    @Test
    void aCertificateThatIsNotTrustedOrACaFileThatIsNotThereSaysWhich() throws Exception {
        Path systemStore = Path.of("/etc/ssl/certs/ca-certificates.crt");  // every CA but the test directory's
        Probe untrusted = probe(Map.of("LDAPTLS_CACERT", systemStore.toString()), BIND_USER, BIND_PASSWORD, SERVER,
                "wInit");
        assertEquals(List.of(SERVER_DOWN), untrusted.statuses());
        untrusted.traced("answered, but no verified TLS session came about", "ca_file=\"" + systemStore + "\"");

        String mistyped = Directory.env("LDAPTLS_CACERT") + ".missing";
        Probe missing = probe(Map.of("LDAPTLS_CACERT", mistyped), BIND_USER, BIND_PASSWORD, SERVER, "wInit");
        assertEquals(List.of(LOCAL_ERROR), missing.statuses());
        missing.traced("ca_file=\"" + mistyped + "\" (cannot be read: no such file?) -> 0x8007203B");
        named(missing, LOCAL_ERROR, "ERROR_DS_LOCAL_ERROR");
    }

    @Test
    void noKerberosTicketSaysSo() throws Exception {
        Probe noTicket = probe(Map.of("KRB5CCNAME", "FILE:/nonexistent/orvistal-cache"), "", "", SERVER, "wInit");
        assertEquals(List.of(LOCAL_ERROR), noTicket.statuses());
        noTicket.traced("kerberos (the process's ticket) -> 0x8007203B", "No Kerberos credentials available");
    }

    @Test
    void everyNativeGivesTheAccountsStateNotJustALogonFailure() throws Exception {
        String[] calls = {"wInit", "wGetUserDsn", "wGetNodeGuid", "wCheckNodeAccess", "wTranslateName", "wSearchNodes"};
        Object[][] accounts = {
            {"dora", "Dora.Pw.123", DISABLED, "ERROR_ACCOUNT_DISABLED"},
            {"expired", "Expired.Pw.123", EXPIRED, "ERROR_ACCOUNT_EXPIRED"},
            {"mustchange", "Must.Change.Pw1", MUST_CHANGE, "ERROR_PASSWORD_MUST_CHANGE"},
            {lockedAccount(), "Lock.Me.Pw.123", LOCKED_OUT, "ERROR_ACCOUNT_LOCKED_OUT"},
        };
        for (Object[] account : accounts) {
            Probe probe = probe(Map.of(), account[0] + "@" + DOMAIN, (String) account[1], SERVER, calls);
            assertEquals(Collections.nCopies(calls.length, account[2]), probe.statuses(), (String) account[0]);
            // The KDC refused the account's ticket: its text, and the state's status, are traced.
            probe.traced("ldap bind dc=" + SERVER + ":389 kerberos as=\"" + account[0] + "@", "KDC: ",
                    "bind held back");
            named(probe, (Integer) account[2], (String) account[3]);
        }
    }

    /** A new account under the three-wrong-passwords lockout policy, locked by three wrong passwords. */
    private String lockedAccount() throws Exception {
        String name = enabledAccount("wl", "Lock.Me.Pw.123");
        String dn = dnIn(PEOPLE, name);
        ldap.modify(LOCKOUT_POLICY, DirContext.ADD_ATTRIBUTE, "msDS-PSOAppliesTo", dn);
        try {
            for (int i = 0; i < 3; i++) Directory.bound().wVerifyPassword(name + "@" + DOMAIN, "Wrong.Pw." + i, "");
            assertEquals(LOCKED_OUT, Directory.bound().wVerifyPassword(name + "@" + DOMAIN, "Lock.Me.Pw.123", ""));
        } finally {
            ldap.modify(LOCKOUT_POLICY, DirContext.REMOVE_ATTRIBUTE, "msDS-PSOAppliesTo", dn);
        }
        return name;
    }

    @Test
    void aWrongPasswordInTheSettingsDoesNotLockTheAccountOut() throws Exception {
        // The domain locks no account; a policy of this test's own locks this one at the tenth
        // wrong password within 30 minutes. Without the library's backoff 50 calls would lock it.
        String name = enabledAccount("wb", "Backoff.Right.Pw1");
        String dn = dnIn(PEOPLE, name);
        String policy =
                "CN=orvistal-backoff-" + name + ",CN=Password Settings Container,CN=System," + Directory.BASE_DN;
        Map<String, String> settings = new HashMap<>();
        for (String attribute : List.of("msDS-MaximumPasswordAge", "msDS-MinimumPasswordAge",
                "msDS-MinimumPasswordLength", "msDS-PasswordHistoryLength", "msDS-PasswordComplexityEnabled",
                "msDS-PasswordReversibleEncryptionEnabled", "msDS-LockoutObservationWindow", "msDS-LockoutDuration")) {
            settings.put(attribute, ldap.read(LOCKOUT_POLICY, attribute).toString());
        }
        settings.put("objectClass", "msDS-PasswordSettings");
        settings.put("msDS-PasswordSettingsPrecedence", "5");
        settings.put("msDS-LockoutThreshold", "10");
        settings.put("msDS-PSOAppliesTo", dn);
        made.add(0, policy);
        ldap.add(policy, settings);

        Orvistal wrong = new Orvistal(name + "@" + DOMAIN, "Backoff.Wrong.Pw1", SERVER, true, null);
        ExecutorService threads = Executors.newFixedThreadPool(8);
        long start = System.nanoTime();
        try {
            List<Future<Integer>> statuses = new ArrayList<>();
            for (int i = 0; i < 50; i++) statuses.add(threads.submit(() -> wrong.wGetNodeGuid(dn).getErrCode()));
            for (Future<Integer> status : statuses) assertEquals(LOGON_FAILURE, status.get());
        } finally {
            threads.shutdownNow();
        }
        long seconds = (System.nanoTime() - start) / 1_000_000_000L;
        // One wrong bind per thread before the first refusal is known, then one per wait (5 s, 10 s, ...).
        int badPasswords = Integer.parseInt(String.valueOf(ldap.read(dn, "badPwdCount")));
        assertTrue(badPasswords <= 8 + 1 + seconds / 5, badPasswords + " wrong binds in " + seconds + " s");
        assertEquals("0", String.valueOf(ldap.read(dn, "msDS-User-Account-Control-Computed")), "locked out");
        Orvistal right = new Orvistal(name + "@" + DOMAIN, "Backoff.Right.Pw1", SERVER, true, null);
        assertEquals(0, right.wGetNodeGuid(dn).getErrCode(), "the right password works at once");
        assertEquals(LOGON_FAILURE, wrong.wGetNodeGuid(dn).getErrCode());
    }

    @Test
    void theTraceOfSixteenThreadsHasWholeLinesAndNoPassword() throws Exception {
        Path trace = Files.createTempFile("orvistal-trace-threads", ".log");
        try {
            // Through the Java system properties this time.
            Probe probe = probe(Map.of(), List.of("-Dorvistal.trace=" + trace, "-Dorvistal.trace.level=2"), BIND_USER,
                    BIND_PASSWORD, SERVER, "threads", "16", "5");
            String[] lines = probe.trace().split("\n");
            int calls = 0;
            for (String line : lines) {
                assertTrue(WHOLE_LINE.matcher(line).matches(), "not a whole line: " + line);
                if (line.contains(" call w")) ++calls;
            }
            assertEquals(16 * 5 * 6, calls);
            for (String secret : List.of(BIND_PASSWORD, "Alice.Pw.123", "Wrong.Trace.Pw9", "Reset.Trace.Pw7"))
                assertFalse(probe.trace().contains(secret), "a password in the trace");
        } finally {
            Files.deleteIfExists(trace);
        }
    }
}
