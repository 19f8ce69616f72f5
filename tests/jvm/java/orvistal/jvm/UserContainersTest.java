package orvistal.jvm;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static orvistal.jvm.Directory.ALICE;
import static orvistal.jvm.Directory.BASE_DN;
import static orvistal.jvm.Directory.E_FAIL;
import static orvistal.jvm.Directory.G_DEVS;
import static orvistal.jvm.Directory.PEOPLE;

import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.atomic.AtomicInteger;
import kestrivane.qom.result.ResultStringList;
import kestrivane.qom.userstoreproxy.multidomain.Orvistal;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/** wIsUserContainerNode and wGetChildUserContainers: where accounts can live, from the schema. */
class UserContainersTest {
    static final int NO_SUCH_OBJECT = 0x80072030;
    static final String ORVISTAL = "OU=Orvistal," + BASE_DN;

    @BeforeAll
    static void load() {
        Directory.load();
    }

    @Test
    void unitsContainersAndTheDomainHoldUsersAccountsAndGroupsDoNot() {
        Orvistal library = Directory.bound();
        assertEquals(0, library.wIsUserContainerNode(PEOPLE));
        assertEquals(0, library.wIsUserContainerNode("CN=Users," + BASE_DN));
        assertEquals(0, library.wIsUserContainerNode(BASE_DN));
        assertEquals(E_FAIL, library.wIsUserContainerNode(ALICE));
        assertEquals(E_FAIL, library.wIsUserContainerNode(G_DEVS));
        assertEquals(0, Directory.boundToDomain().wIsUserContainerNode(PEOPLE), "through the domain name");
    }

    @Test
    void missingObjectGivesTheBindFailure() {
        assertEquals(NO_SUCH_OBJECT, Directory.bound().wIsUserContainerNode("OU=Nowhere," + ORVISTAL));
        ResultStringList children = Directory.bound().wGetChildUserContainers("OU=Nowhere," + ORVISTAL);
        assertEquals(NO_SUCH_OBJECT, children.getErrCode());
        assertEquals(0, children.getStringList().length);
    }

    @Test
    void childrenThatHoldUsersComeInDirectoryOrder() {
        ResultStringList children = Directory.bound().wGetChildUserContainers(PEOPLE);
        assertEquals(0, children.getErrCode());
        assertArrayEquals(new String[] {"OU=Staff," + PEOPLE}, children.getStringList());

        ResultStringList leaf = Directory.bound().wGetChildUserContainers(ALICE);
        assertEquals(0, leaf.getErrCode());
        assertNotNull(leaf.getStringList());
        assertEquals(0, leaf.getStringList().length);
    }

    @Test
    void eightThreadsAtOnceAgree() throws InterruptedException {
        String[] expected = Directory.bound().wGetChildUserContainers(ORVISTAL).getStringList();
        AtomicInteger wrong = new AtomicInteger();
        List<Thread> threads = new ArrayList<>();
        for (int t = 0; t < 8; t++) {
            Thread thread = new Thread(() -> {
                Orvistal library = Directory.bound();
                for (int i = 0; i < 5; i++) {
                    if (library.wIsUserContainerNode(PEOPLE) != 0) wrong.incrementAndGet();
                    if (library.wIsUserContainerNode(ALICE) != E_FAIL) wrong.incrementAndGet();
                    ResultStringList children = library.wGetChildUserContainers(ORVISTAL);
                    if (children.getErrCode() != 0 || !java.util.Arrays.equals(expected, children.getStringList())) {
                        wrong.incrementAndGet();
                    }
                }
            });
            threads.add(thread);
            thread.start();
        }
        for (Thread thread : threads) thread.join();
        assertEquals(0, wrong.get());
        assertEquals(true, expected.length >= 6, "People, Groups, Machines, Bulk, Service, Delegated");
    }
}
