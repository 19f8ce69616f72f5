package orvistal.jvm;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import kestrivane.qom.userstoreproxy.multidomain.Orvistal;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/**
 * Servers that accept a connection and then never answer, or answer StartTLS and then fall
 * silent: every native must come back within the configured limits (this run sets
 * LDAPTIMEOUT and LDAPNETWORK_TIMEOUT, OpenLDAP's own environment settings), never hang the
 * caller. The first call waits its bound and reports the timeout; the server is then remembered
 * as down, and the calls after it fail at once with the server-down status.
 */
class UnansweringServerTest {
    static final int TIMEOUT = 0x800705B4;
    static final int SERVER_DOWN = 0x8007203A;
    // A call to a server remembered as down: no wait on the network at all.
    static final long AT_ONCE_MS = 1_000;
    // The run's LDAPNETWORK_TIMEOUT plus LDAPTIMEOUT, and room for a loaded machine.
    static final long BOUND_MS = 3_000 + 4_000 + 6_000;

    private SilentServer server;

    @BeforeAll
    static void load() {
        Directory.load();
    }

    @AfterEach
    void stop() throws IOException {
        if (server != null) server.close();
    }

    @Test
    void aServerThatNeverAnswersTimesEveryNativeOut() throws Exception {
        server = new SilentServer(false);
        everyNativeComesBackInTime(server.port());
    }

    @Test
    void aServerThatAnswersStartTlsThenFallsSilentTimesEveryNativeOut() throws Exception {
        server = new SilentServer(true);
        everyNativeComesBackInTime(server.port());
    }

    private void everyNativeComesBackInTime(int port) throws Exception {
        Orvistal library = new Orvistal(Directory.BIND_USER, Directory.BIND_PASSWORD, "127.0.0.1:" + port, true, null);
        // The first call waits its bound and times out; the server is then remembered as down.
        assertFailed(() -> library.wInit(), TIMEOUT, BOUND_MS);
        assertFailed(() -> library.wGetUserDsn("alice", null).getErrCode(), SERVER_DOWN, AT_ONCE_MS);
        assertFailed(() -> library.wGetGroupDsn("g-devs").getErrCode(), SERVER_DOWN, AT_ONCE_MS);
        assertFailed(() -> library.wTranslateName("ORVISTAL\\alice", 2, 1).getErrCode(), SERVER_DOWN, AT_ONCE_MS);
        assertFailed(() -> library.wVerifyPassword("alice@" + Directory.DOMAIN, "Alice.Pw.123", null), SERVER_DOWN,
                AT_ONCE_MS);
        // Every other native, whatever it does, comes back in time and reports no success; they
        // run side by side, as a user store's threads would.
        List<Future<String>> outcomes = new ArrayList<>();
        ExecutorService threads = Executors.newFixedThreadPool(16);
        try {
            for (Method method : Orvistal.class.getDeclaredMethods()) {
                if (!Modifier.isNative(method.getModifiers()) || method.getName().equals("wChangePassword")) continue;
                outcomes.add(threads.submit(() -> callOnce(library, method)));
            }
            List<String> faults = new ArrayList<>();
            for (Future<String> outcome : outcomes) {
                String fault = outcome.get(BOUND_MS * 2, TimeUnit.MILLISECONDS);
                if (fault != null) faults.add(fault);
            }
            assertTrue(faults.isEmpty(), "natives that waited too long or succeeded: " + faults);
        } finally {
            threads.shutdownNow();
        }
    }

    /** Null when the native came back in time without success, else what went wrong. */
    private static String callOnce(Orvistal library, Method method) throws Exception {
        long start = System.nanoTime();
        Object result;
        try {
            result = method.invoke(library, argumentsFor(method));
        } catch (InvocationTargetException notImplemented) {
            if (notImplemented.getCause() instanceof UnsatisfiedLinkError) return null;
            throw notImplemented;
        }
        long elapsed = TimeUnit.NANOSECONDS.toMillis(System.nanoTime() - start);
        if (elapsed > BOUND_MS) return method.getName() + " took " + elapsed + " ms";
        if (failureOf(method, result) == 0) return method.getName() + " reported success";
        return null;
    }

    interface StatusCall {
        int call();
    }

    private static void assertFailed(StatusCall call, int expected, long boundMs) {
        long start = System.nanoTime();
        int status = call.call();
        long elapsed = TimeUnit.NANOSECONDS.toMillis(System.nanoTime() - start);
        assertEquals(expected, status, String.format("status 0x%08X", status));
        assertTrue(elapsed <= boundMs, "came back after " + elapsed + " ms");
    }

    static Object[] argumentsFor(Method method) {
        Class<?>[] types = method.getParameterTypes();
        Object[] arguments = new Object[types.length];
        for (int i = 0; i < types.length; ++i) {
            if (types[i] == String.class) arguments[i] = "CN=x,DC=orvistal,DC=test";
            else if (types[i] == int.class) arguments[i] = 1;
            else if (types[i] == String[].class) arguments[i] = new String[] {"x"};
        }
        return arguments;
    }

    /** Non-zero when the native did not succeed: the status it returned or carried. */
    static int failureOf(Method method, Object result) throws Exception {
        if (result == null) return 1;
        if (result instanceof Integer) return (Integer) result;
        return (Integer) result.getClass().getMethod("getErrCode").invoke(result);
    }

    /** Accepts every connection and keeps it open; answers nothing, or only the StartTLS request. */
    static final class SilentServer implements AutoCloseable {
        private final ServerSocket socket;
        private final List<Socket> accepted = new ArrayList<>();
        private final Thread acceptor;

        SilentServer(boolean answerStartTls) throws IOException {
            socket = new ServerSocket(0, 50, InetAddress.getLoopbackAddress());
            acceptor = new Thread(() -> {
                try {
                    while (!socket.isClosed()) {
                        Socket client = socket.accept();
                        synchronized (accepted) {
                            accepted.add(client);
                        }
                        if (answerStartTls) answerStartTls(client);
                    }
                } catch (IOException closed) {
                    // the test is over
                }
            });
            acceptor.setDaemon(true);
            acceptor.start();
        }

        int port() {
            return socket.getLocalPort();
        }

        /** Reads one LDAP message and answers it as a successful StartTLS, then says nothing more. */
        private static void answerStartTls(Socket client) {
            try {
                client.setSoTimeout(10_000);
                InputStream in = client.getInputStream();
                if (in.read() != 0x30) return;
                int length = in.read();
                if (length > 0x7f) {
                    int bytes = length & 0x7f;
                    length = 0;
                    for (int i = 0; i < bytes; ++i) length = (length << 8) | in.read();
                }
                byte[] body = in.readNBytes(length);
                if (body.length < 3 || body[0] != 0x02) return;
                int idLength = body[1];
                byte[] oid = "1.3.6.1.4.1.1466.20037".getBytes(StandardCharsets.US_ASCII);
                byte[] response = new byte[2 + 2 + idLength + 2 + 3 + 2 + 2 + 2 + oid.length];
                int at = 0;
                response[at++] = 0x30;
                response[at++] = (byte) (response.length - 2);
                response[at++] = 0x02;
                response[at++] = (byte) idLength;
                for (int i = 0; i < idLength; ++i) response[at++] = body[2 + i];
                response[at++] = 0x78;  // ExtendedResponse
                response[at++] = (byte) (3 + 2 + 2 + 2 + oid.length);
                response[at++] = 0x0a;  // resultCode success
                response[at++] = 0x01;
                response[at++] = 0x00;
                response[at++] = 0x04;  // matchedDN ""
                response[at++] = 0x00;
                response[at++] = 0x04;  // diagnosticMessage ""
                response[at++] = 0x00;
                response[at++] = (byte) 0x8a;  // responseName
                response[at++] = (byte) oid.length;
                for (byte b : oid) response[at++] = b;
                OutputStream out = client.getOutputStream();
                out.write(response);
                out.flush();
            } catch (IOException ignored) {
                // a client that went away
            }
        }

        @Override
        public void close() throws IOException {
            socket.close();
            synchronized (accepted) {
                for (Socket client : accepted) client.close();
            }
        }
    }
}
