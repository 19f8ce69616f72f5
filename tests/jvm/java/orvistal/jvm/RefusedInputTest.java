package orvistal.jvm;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvistal.jvm.Directory.BIND_PASSWORD;
import static orvistal.jvm.Directory.BIND_USER;
import static orvistal.jvm.Directory.PEOPLE;

import java.io.IOException;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.atomic.AtomicInteger;
import kestrivane.qom.userstoreproxy.multidomain.Orvistal;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * Input the library refuses itself. A listener on another loopback port counts the connections
 * made to it: no name a caller gives for an object reaches it, and input refused before
 * anything is sent reaches it neither when it is the settings' own server.
 */
class RefusedInputTest {
    static final int NO_SUCH_OBJECT = 0x80072030;
    static final int BAD_PATHNAME = 0x80005000;
    static final int E_INVALIDARG = 0x80070057;
    static final int PREFERENCE_REFUSED = 0x80005011;
    static final int NAME_NOT_FOUND = 0x80072116;
    static final int ADS_PROPERTY_UPDATE = 2;

    private CountingListener listener;

    @BeforeAll
    static void load() {
        Directory.load();
    }

    @BeforeEach
    void listen() throws IOException {
        listener = new CountingListener();
    }

    @AfterEach
    void stop() throws IOException {
        listener.close();
    }

    @Test
    void noNameGivenForAnObjectChoosesTheServer() throws Exception {
        String host = "127.0.0.1:" + listener.port();
        String[] names = {host + "/CN=x,DC=orvistal,DC=test", host, "//" + host + "/CN=x", "LDAP://" + host + "/CN=x",
            "CN=x/" + host + "/DC=y", host + "\\/CN=x", "/" + host + "/CN=x"};
        Orvistal[] libraries = {Directory.bound(), new Orvistal(BIND_USER, BIND_PASSWORD, "", true, null)};
        for (Orvistal library : libraries) {
            for (String name : names) {
                for (Method method : Orvistal.class.getDeclaredMethods()) {
                    if (!Modifier.isNative(method.getModifiers())) continue;
                    if (method.getName().equals("wChangePassword")) continue;  // its domain names the service
                    call(library, method, name);
                    assertEquals(0, listener.connections(), method.getName() + " reached " + name);
                }
            }
        }
        assertEquals(BAD_PATHNAME, Directory.bound().wGetNodeAttributeString(host + "/CN=x", "cn").getErrCode());
    }

    @Test
    void inputCutShortOrMissingIsRefusedBeforeAnythingIsSent() {
        Orvistal library = new Orvistal(BIND_USER, BIND_PASSWORD, "127.0.0.1:" + listener.port(), true, null);
        // No name: the domain's head would be bound instead.
        assertEquals(NO_SUCH_OBJECT, library.wGetNodeAttributeString(null, "cn").getErrCode());
        assertEquals(NO_SUCH_OBJECT, library.wSetNodeAttributeString("", "description", "x"));
        assertEquals(NO_SUCH_OBJECT, library.wSearchNodes(null, "(cn=*)").getErrCode());
        assertEquals(NO_SUCH_OBJECT, library.wCheckNodeAccess(null, 1).getErrCode());
        assertEquals(NO_SUCH_OBJECT, library.wIsMemberOf("CN=g,OU=Groups", "").getErrCode());
        // A NUL: the text before it would be taken for the whole.
        assertEquals(NO_SUCH_OBJECT, library.wGetUserAttributeString("alice", null, "cn\0x").getErrCode());
        assertEquals(NO_SUCH_OBJECT, library.wSetGroupAttributeString("g-devs", "description\0x", "x"));
        assertEquals(E_INVALIDARG, library.wSetUserAttributeString("alice", null, "description", "a\0b"));
        String[] cutValues = {"1", "2\0"};
        assertEquals(E_INVALIDARG,
            library.wSetNodeAttributeStringArray("CN=x", "otherTelephone", cutValues, ADS_PROPERTY_UPDATE));
        assertEquals(NO_SUCH_OBJECT, library.wSearchNodes("OU=x", "(cn=a\0)").getErrCode());
        assertEquals(NO_SUCH_OBJECT, library.wSearchDeletedNodes("(cn=\0)").getErrCode());
        assertEquals(NO_SUCH_OBJECT, library.wFindNodeValues("OU=x", "cn\0", "(cn=*)", 1, 1).getErrCode());
        String[] cutNames = {"cn", "x\0"};
        assertEquals(NO_SUCH_OBJECT, library.wGetNodeAttributes("OU=x", "(cn=*)", cutNames).getErrCode());
        assertEquals(NAME_NOT_FOUND, library.wTranslateName("ORVISTAL\\alice\0x", 2, 1).getErrCode());
        assertEquals(NAME_NOT_FOUND, library.wDeleteUser("ORVISTAL\\alice\0x", null));
        assertEquals(E_INVALIDARG, library.wResetPassword("alice", "New.Pw.123\0x", null));
        assertEquals(E_INVALIDARG, library.wAddUser("bob\0x", "OU=People"));
        assertEquals(NO_SUCH_OBJECT, new Orvistal(BIND_USER, BIND_PASSWORD, "127.0.0.1\0x", true, null).wInit());
        // Negative limits would be almost no limit to a service that takes them unsigned.
        assertEquals(PREFERENCE_REFUSED, library.wFindNodeValues("OU=x", "cn", "(cn=*)", -1, 0).getErrCode());
        assertEquals(PREFERENCE_REFUSED, library.wFindNodeValues("OU=x", "cn", "(cn=*)", 0, -1).getErrCode());
        assertEquals(0, listener.connections(), "something was sent");
        library.wInit();
        assertTrue(listener.connections() > 0, "the listener sees a call that is not refused");
    }

    @Test
    void thePasswordChangeTakesNoTextCutShortAndNoEmptyAccount() {
        Orvistal library = Directory.bound();
        assertEquals(87, library.wChangePassword("", "Old.Pw.1", "New.Pw.2", Directory.DOMAIN));
        assertEquals(87, library.wChangePassword(Directory.NETBIOS + "\\", "Old.Pw.1", "New.Pw.2", null));
        assertEquals(2221, library.wChangePassword("alice\0x", "Old.Pw.1", "New.Pw.2", Directory.DOMAIN));
        assertEquals(86, library.wChangePassword("alice", "Alice.Pw.123\0x", "New.Pw.2", Directory.DOMAIN));
        assertEquals(87, library.wChangePassword("alice", "Alice.Pw.123", "New.Pw.2\0x", Directory.DOMAIN));
        assertEquals(2351, library.wChangePassword("alice", "Alice.Pw.123", "New.Pw.2", Directory.DOMAIN + "\0x"));
    }

    @Test
    void aSlashInsideANameStaysInTheName() throws Exception {
        String unit = "OU=a/b " + System.nanoTime() + "," + PEOPLE;
        try (AdminLdap admin = new AdminLdap()) {
            admin.create(unit, "organizationalUnit", null);
            try {
                Orvistal library = Directory.bound();
                String written = unit.substring(3, unit.indexOf(','));
                assertEquals(written, library.wGetNodeAttributeString(unit, "ou").getMessage());
                String escaped = unit.replace("/", "\\/");
                assertEquals(written, library.wGetNodeAttributeString(escaped, "ou").getMessage());
                assertEquals(0, library.wSearchNodes(unit, "(objectClass=organizationalUnit)").getErrCode());
            } finally {
                admin.deleteIfPresent(unit);
            }
        }
    }

    /** Calls the native with the text in every String parameter (and in a String[] one). */
    private static void call(Orvistal library, Method method, String text) throws Exception {
        Object[] arguments = UnansweringServerTest.argumentsFor(method);
        Class<?>[] types = method.getParameterTypes();
        for (int i = 0; i < types.length; ++i) {
            if (types[i] == String.class) arguments[i] = text;
            else if (types[i] == String[].class) arguments[i] = new String[] {text};
        }
        try {
            method.invoke(library, arguments);
        } catch (InvocationTargetException notImplemented) {
            if (!(notImplemented.getCause() instanceof UnsatisfiedLinkError)) throw notImplemented;
        }
    }

    /** Accepts connections on a loopback port, counts them and closes each at once. */
    static final class CountingListener implements AutoCloseable {
        private final ServerSocket socket = new ServerSocket(0, 50, InetAddress.getLoopbackAddress());
        private final AtomicInteger accepted = new AtomicInteger();

        CountingListener() throws IOException {
            Thread acceptor = new Thread(() -> {
                try {
                    while (!socket.isClosed()) {
                        try (Socket client = socket.accept()) {
                            accepted.incrementAndGet();
                        }
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

        int connections() {
            return accepted.get();
        }

        @Override
        public void close() throws IOException {
            socket.close();
        }
    }
}
