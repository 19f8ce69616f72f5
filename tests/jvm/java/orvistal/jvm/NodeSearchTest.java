package orvistal.jvm;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvistal.jvm.Directory.BASE_DN;
import static orvistal.jvm.Directory.PEOPLE;

import java.util.Arrays;
import java.util.HashSet;
import kestrivane.qom.result.NameValue;
import kestrivane.qom.result.ResultArrayNameValue;
import kestrivane.qom.result.ResultMessage;
import kestrivane.qom.result.ResultStringList;
import kestrivane.qom.userstoreproxy.multidomain.Orvistal;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/** wSearchNodes, wSearchDeletedNodes, wFindNodeValues, wGetNodeAttributes and wGetNetbiosDomain. */
class NodeSearchTest {
    static final String BULK = "OU=Bulk,OU=Orvistal," + BASE_DN;
    static final int SIZE_LIMIT_EXCEEDED = 0x80072023;
    static final int BAD_FILTER = 0x8007203E;
    static final int NO_MORE_ROWS = 0x00005012;
    static final int REFUSED_PREFERENCE = 0x80005011;
    static final int INVALID_ARGUMENT = 0x80070057;

    @BeforeAll
    static void load() {
        Directory.load();
    }

    static Orvistal admin() {
        return new Orvistal(Directory.env("ORVISTAL_TEST_ADMIN_USER"), Directory.env("ORVISTAL_TEST_ADMIN_PASSWORD"),
                Directory.SERVER, true, null);
    }

    @Test
    void searchNodesReturnsEveryPage() {
        ResultStringList result = Directory.bound().wSearchNodes(BULK, "(description=bulk user*)");
        assertEquals(0, result.getErrCode());
        assertEquals(300, result.getStringList().length);
        assertEquals(300, new HashSet<>(Arrays.asList(result.getStringList())).size());
        assertTrue(Arrays.asList(result.getStringList()).contains("CN=bulk0123," + BULK));

        ResultStringList relative = Directory.boundToDomain().wSearchNodes("OU=Bulk,OU=Orvistal", "(cn=bulk0007)");
        assertEquals(0, relative.getErrCode());
        assertArrayEquals(new String[] {"CN=bulk0007," + BULK}, relative.getStringList());

        ResultStringList malformed = Directory.bound().wSearchNodes(BULK, "(cn=bulk0007");
        assertEquals(BAD_FILTER, malformed.getErrCode());
        assertEquals(0, malformed.getStringList().length);
    }

    @Test
    void resultsComeInTheDirectorysOwnOrder() throws Exception {
        try (AdminLdap directory = new AdminLdap()) {
            assertEquals(directory.searchValues(BULK, "(description=bulk user*)", "distinguishedName"),
                    Arrays.asList(Directory.bound().wSearchNodes(BULK, "(description=bulk user*)").getStringList()));
            assertEquals(directory.searchValues(PEOPLE, "(objectClass=user)", "mail"),
                    Arrays.asList(Directory.bound().wFindNodeValues(PEOPLE, "mail", "(objectClass=user)", 0, 0).getStringList()));
        }
    }

    @Test
    void deletedNodesAsTheDirectoryShowsThemToEachAccount() {
        ResultStringList asAdmin = admin().wSearchDeletedNodes("(sAMAccountName=deleted-user)");
        assertEquals(0, asAdmin.getErrCode());
        assertEquals(1, asAdmin.getStringList().length);
        String tombstone = asAdmin.getStringList()[0];
        assertTrue(tombstone.startsWith("CN=deleted-user\\0ADEL:"), tombstone);
        assertTrue(tombstone.endsWith(",CN=Deleted Objects," + BASE_DN), tombstone);

        ResultStringList asBind = Directory.bound().wSearchDeletedNodes("(sAMAccountName=deleted-user)");
        assertEquals(0, asBind.getErrCode());
        assertEquals(0, asBind.getStringList().length);
    }

    @Test
    void findNodeValuesUnderTheCallersLimits() {
        ResultStringList limited = Directory.bound().wFindNodeValues(BULK, "cn", "(cn=bulk001*)", 3, 30);
        assertEquals(SIZE_LIMIT_EXCEEDED, limited.getErrCode());
        assertEquals(3, limited.getStringList().length);

        ResultStringList exactly =
                Directory.bound().wFindNodeValues(BULK, "cn", "(|(cn=bulk0001)(cn=bulk0002)(cn=bulk0003))", 3, 30);
        assertEquals(0, exactly.getErrCode());
        assertEquals(new HashSet<>(Arrays.asList("bulk0001", "bulk0002", "bulk0003")),
                new HashSet<>(Arrays.asList(exactly.getStringList())));

        ResultStringList refused = Directory.bound().wFindNodeValues(BULK, "cn", "(cn=bulk001*)", -1, 0);
        assertEquals(REFUSED_PREFERENCE, refused.getErrCode());
        assertEquals(0, refused.getStringList().length);

        ResultStringList guids = Directory.bound().wFindNodeValues(BULK, "objectGUID", "(cn=bulk0001)", 0, 0);
        assertEquals(0, guids.getErrCode());
        assertEquals(1, guids.getStringList().length);
        assertTrue(guids.getStringList()[0].matches("[0-9a-f]{32}"), guids.getStringList()[0]);

        ResultStringList lacking = Directory.bound().wFindNodeValues(PEOPLE, "mail", "(sAMAccountName=bob)", 0, 0);
        assertEquals(0, lacking.getErrCode());
        assertEquals(0, lacking.getStringList().length);
    }

    @Test
    void rowsWithoutTheColumnAreSkippedAndTheWalkGoesOn() {
        // Bob has no mail; whichever order the rows come in, Alice's is found.
        ResultStringList mail = Directory.bound().wFindNodeValues(PEOPLE, "mail", "(|(sAMAccountName=bob)(sAMAccountName=alice))", 0, 0);
        assertEquals(0, mail.getErrCode());
        assertArrayEquals(new String[] {"alice@orvistal.test"}, mail.getStringList());
        // The Deleted Objects container itself matches, and shows this account no attribute.
        assertEquals(0, Directory.bound().wSearchDeletedNodes("(objectClass=*)").getErrCode());
    }

    @Test
    void numbersAndBooleansAsTheDirectoryWritesThem() {
        String[][] cases = {{"userAccountControl", "(cn=bulk0001)", "546"},
                {"orvistalCounter", "(sAMAccountName=alice)", "9007199254740993"},
                {"orvistalFlag", "(sAMAccountName=alice)", "TRUE"}};
        for (String[] c : cases) {
            ResultStringList result = Directory.bound().wFindNodeValues(Directory.BASE_DN, c[0], c[1], 0, 0);
            assertEquals(0, result.getErrCode(), c[0]);
            assertArrayEquals(new String[] {c[2]}, result.getStringList(), c[0]);
        }
    }

    @Test
    void nodeAttributesArePairedInTheOrderAsked() {
        ResultArrayNameValue result = Directory.bound().wGetNodeAttributes(PEOPLE, "(sAMAccountName=alice)",
                new String[] {"cn", "facsimileTelephoneNumber", "mail", "countryCode", null, "description"});
        assertNotNull(result);
        NameValue[] pairs = result.getValues();
        assertEquals(6, pairs.length);
        String[][] expected = {{"cn", "Alice Liddell"}, {"facsimileTelephoneNumber", ""},
                {"mail", "alice@orvistal.test"}, {"countryCode", "276"}, {"", ""},
                {"description", "Seeded user with values of many kinds"}};
        for (int i = 0; i < expected.length; i++) {
            assertEquals(expected[i][0], pairs[i].getName());
            assertEquals(expected[i][1], pairs[i].getValue(), expected[i][0]);
        }
        assertEquals(0, result.getErrCode());

        ResultArrayNameValue nothing =
                Directory.bound().wGetNodeAttributes(PEOPLE, "(sAMAccountName=nobody-here)", new String[] {"cn"});
        assertEquals(NO_MORE_ROWS, nothing.getErrCode());
        assertEquals(0, nothing.getValues().length);

        ResultArrayNameValue noNames = Directory.bound().wGetNodeAttributes(PEOPLE, "(sAMAccountName=alice)", null);
        assertEquals(0, noNames.getValues().length);
    }

    @Test
    void netbiosNameOfADnsDomain() {
        for (String name : new String[] {Directory.DOMAIN, Directory.DOMAIN.toUpperCase(), "Orvistal.Test"}) {
            ResultMessage result = Directory.bound().wGetNetbiosDomain(name);
            assertEquals(0, result.getErrCode(), name);
            assertEquals(Directory.NETBIOS, result.getMessage());
        }
        for (String name : new String[] {"nowhere.test", "*", null}) {
            ResultMessage result = Directory.bound().wGetNetbiosDomain(name);
            assertEquals(NO_MORE_ROWS, result.getErrCode(), String.valueOf(name));
            assertEquals("", result.getMessage());
        }
        ResultMessage tooLong = Directory.bound().wGetNetbiosDomain("a".repeat(256));
        assertEquals(INVALID_ARGUMENT, tooLong.getErrCode());
        assertEquals("", tooLong.getMessage());
    }
}
