package orvistal.jvm;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvistal.jvm.Directory.BIND_PASSWORD;
import static orvistal.jvm.Directory.BIND_USER;
import static orvistal.jvm.Directory.DOMAIN;
import static orvistal.jvm.Directory.G_DEVS;
import static orvistal.jvm.Directory.LOGON_FAILURE;
import static orvistal.jvm.Directory.SERVER;

import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.ArrayList;
import java.util.List;
import kestrivane.qom.result.ResultMessage;
import kestrivane.qom.userstoreproxy.multidomain.Orvistal;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/** Text with a NUL inside, or far longer than any real name, through the real library. */
class InputBoundsTest {
    static final int E_INVALIDARG = 0x80070057;
    static final String ALICE_PASSWORD = "Alice.Pw.123";
    static final String HUGE = "a".repeat(2_000_000);

    @BeforeAll
    static void load() {
        Directory.load();
    }

    @Test
    void aPasswordWithJunkAfterANulIsNotThePassword() {
        Orvistal library = Directory.bound();
        assertEquals(LOGON_FAILURE, library.wVerifyPassword("alice@" + DOMAIN, ALICE_PASSWORD + "\0junk", ""));
        assertEquals(0, library.wVerifyPassword("alice@" + DOMAIN, ALICE_PASSWORD, ""));
        Orvistal junkPassword = new Orvistal(BIND_USER, BIND_PASSWORD + "\0junk", SERVER, true, null);
        assertEquals(LOGON_FAILURE, junkPassword.wInit());
        assertEquals(LOGON_FAILURE, junkPassword.wGetUserDsn("alice", null).getErrCode());
        assertEquals(LOGON_FAILURE, junkPassword.wTranslateName(Directory.NETBIOS + "\\alice", 2, 1).getErrCode());
    }

    @Test
    void aNameWithJunkAfterANulNamesNothing() {
        Orvistal junkAccount = new Orvistal(BIND_USER + "\0junk", BIND_PASSWORD, SERVER, true, null);
        assertEquals(LOGON_FAILURE, junkAccount.wInit());
        assertNotEquals(0, junkAccount.wGetGroupDsn(G_DEVS).getErrCode());
        ResultMessage group = Directory.bound().wGetGroupDsn(G_DEVS + "\0junk");
        assertNotEquals(0, group.getErrCode());
        assertEquals("", group.getMessage(), "nothing of the junk comes back as a name");
        assertEquals(LOGON_FAILURE, Directory.bound().wVerifyPassword("alice@" + DOMAIN + "\0junk", ALICE_PASSWORD, ""));
    }

    @Test
    void textFarLongerThanAnyNameIsRefusedAsAnInvalidArgument() {
        Orvistal library = Directory.bound();
        assertEquals(E_INVALIDARG, library.wGetUserDsn(HUGE, null).getErrCode());
        assertEquals(E_INVALIDARG, library.wGetGroupDsn(HUGE).getErrCode());
        assertEquals(E_INVALIDARG, library.wTranslateName(HUGE, 8, 1).getErrCode());
        assertEquals(E_INVALIDARG, library.wVerifyPassword("alice@" + DOMAIN, HUGE, ""));
        assertEquals(E_INVALIDARG, new Orvistal(BIND_USER, HUGE, SERVER, true, null).wInit());
        assertEquals(0, library.wInit(), "the library is as good as before");
    }

    @Test
    void noNativeSucceedsWithAPasswordCutShortByANul() throws Exception {
        Orvistal junkPassword = new Orvistal(BIND_USER, BIND_PASSWORD + "\0junk", SERVER, true, null);
        List<String> succeeded = new ArrayList<>();
        for (Method method : Orvistal.class.getDeclaredMethods()) {
            if (!Modifier.isNative(method.getModifiers()) || method.getName().equals("wChangePassword")) continue;
            Object result;
            try {
                result = method.invoke(junkPassword, UnansweringServerTest.argumentsFor(method));
            } catch (InvocationTargetException notImplemented) {
                if (notImplemented.getCause() instanceof UnsatisfiedLinkError) continue;
                throw notImplemented;
            }
            if (UnansweringServerTest.failureOf(method, result) == 0) succeeded.add(method.getName());
        }
        assertTrue(succeeded.isEmpty(), "natives that worked with the wrong password: " + succeeded);
    }
}
