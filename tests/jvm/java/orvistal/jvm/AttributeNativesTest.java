package orvistal.jvm;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvistal.jvm.Directory.ALICE;
import static orvistal.jvm.Directory.DOMAIN;
import static orvistal.jvm.Directory.E_FAIL;
import static orvistal.jvm.Directory.JO_SMITH;
import static orvistal.jvm.Directory.NETBIOS;
import static orvistal.jvm.Directory.PEOPLE;

import java.util.Arrays;
import kestrivane.qom.result.ResultArrayNameValue;
import kestrivane.qom.result.ResultIntegerValue;
import kestrivane.qom.result.ResultLargeIntegerValue;
import kestrivane.qom.result.ResultMessage;
import kestrivane.qom.result.ResultStringList;
import kestrivane.qom.userstoreproxy.multidomain.Orvistal;
import org.junit.jupiter.api.AfterAll;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/**
 * The attribute natives of users, groups and any object, called from Java on objects made for
 * the run below the OU the bind account may write, and read back through the administrator's
 * own connection where it matters that something was, or was not, written.
 */
class AttributeNativesTest {
    static final int PROPERTY_NOT_FOUND = 0x8000500D;
    static final int ACCESS_DENIED = 0x80070005;
    static final int INVALID_ARG = 0x80070057;
    static final int BAD_PARAMETER = 0x80005008;
    static final int NO_SUCH_OBJECT = 0x80072030;
    static final int TYPE_MISMATCH = 0x80020005;
    static final int VALUE_TYPE_MISMATCH = 8255;
    static final int CLEAR = 1, UPDATE = 2, APPEND = 3, DELETE = 4;

    static final String SUFFIX = ProcessHandle.current().pid() + "x" + (System.nanoTime() % 100000);
    static final String OU = "OU=attr-jvm-" + SUFFIX + ",OU=Delegated,OU=Orvistal," + Directory.BASE_DN;
    static final String USER_ACCOUNT = "aj" + SUFFIX;
    static final String USER = "CN=attr-jvm-user," + OU;
    static final String GROUP_ACCOUNT = "ajg" + SUFFIX;
    static final String GROUP = "CN=attr-jvm-group," + OU;

    static final Orvistal library = Directory.bound();
    static AdminLdap admin;

    @BeforeAll
    static void makeObjects() throws Exception {
        Directory.load();
        admin = new AdminLdap();
        admin.create(OU, "organizationalUnit", null);
        admin.create(USER, "user", USER_ACCOUNT);
        admin.create(GROUP, "group", GROUP_ACCOUNT);
    }

    @AfterAll
    static void removeObjects() throws Exception {
        if (admin != null) {
            admin.deleteTree(OU);
            admin.close();
        }
    }

    @Test
    void textsRoundTripThroughEveryFamily() {
        String[] texts = {"plain", "accented \u00e9", "outside the BMP \uD83D\uDE00 \uD834\uDD1E", "  spaced  "};
        for (String text : texts) {
            assertEquals(0, library.wSetUserAttributeString(USER, null, "description", text));
            assertMessage(0, text, library.wGetUserAttributeString(USER, null, "description"));
            assertEquals(0, library.wSetGroupAttributeString(GROUP, "description", text));
            assertMessage(0, text, library.wGetGroupAttributeString(GROUP, "description"));
            assertEquals(0, library.wSetNodeAttributeString(OU, "description", text));
            assertMessage(0, text, library.wGetNodeAttributeString(OU, "description"));
        }
    }

    @Test
    void integersAndLargeIntegersKeepTheirSign() {
        for (int value : new int[] {Integer.MIN_VALUE, -1, 0, Integer.MAX_VALUE}) {
            assertEquals(0, library.wSetUserAttributeInt(USER, null, "orvistalNumbers", value));
            assertInteger(0, value, library.wGetUserAttributeInt(USER, null, "orvistalNumbers"));
        }
        for (int groupType : new int[] {-2147483640, -2147483646}) {
            assertEquals(0, library.wSetGroupAttributeInt(GROUP, "groupType", groupType));
            assertInteger(0, groupType, library.wGetGroupAttributeInt(GROUP, "groupType"));
        }
        long[] values = {0L, -1L, Long.MAX_VALUE, 0x0000000100000002L, -36288000000000L};
        for (long value : values) {
            assertEquals(0, library.wSetUserAttributeLargeInt(USER, null, "orvistalCounter", (int) value, (int) (value >>> 32)));
            ResultLargeIntegerValue back = library.wGetUserAttributeLargeInt(USER, null, "orvistalCounter");
            assertEquals(0, back.getErrCode());
            assertEquals(value, ((long) back.getHighPart() << 32) | (back.getLowPart() & 0xFFFFFFFFL));
        }
        // Low part first: -1 and 0x7FFFFFFF are the largest value, as accountExpires "never" holds it.
        ResultLargeIntegerValue never = library.wGetUserAttributeLargeInt(ALICE, null, "accountExpires");
        assertEquals(0, never.getErrCode());
        assertEquals(-1, never.getLowPart());
        assertEquals(0x7FFFFFFF, never.getHighPart());
    }

    @Test
    void typedReadersRefuseOtherTypesWithAPositiveStatus() {
        assertMessage(VALUE_TYPE_MISMATCH, "", library.wGetUserAttributeString(ALICE, null, "countryCode"));
        assertInteger(VALUE_TYPE_MISMATCH, 0, library.wGetUserAttributeInt(ALICE, null, "mail"));
        ResultLargeIntegerValue text = library.wGetUserAttributeLargeInt(ALICE, null, "mail");
        assertEquals(VALUE_TYPE_MISMATCH, text.getErrCode());
        assertEquals(0, text.getLowPart());
        assertEquals(0, text.getHighPart());
        assertList(VALUE_TYPE_MISMATCH, new String[0], library.wGetUserAttributeStringArray(ALICE, null, "countryCode"));
        assertMessage(VALUE_TYPE_MISMATCH, "", library.wGetUserAttributeString(ALICE, null, "otherTelephone"));
        // The node reader turns anything with a text form into text, and fails on the rest.
        assertMessage(0, "276", library.wGetNodeAttributeString(ALICE, "countryCode"));
        assertMessage(0, "-1", library.wGetNodeAttributeString(ALICE, "orvistalFlag"));
        assertMessage(TYPE_MISMATCH, "", library.wGetNodeAttributeString(ALICE, "accountExpires"));
        assertMessage(TYPE_MISMATCH, "", library.wGetNodeAttributeString(ALICE, "otherTelephone"));
        ResultMessage sid = library.wGetNodeAttributeString(ALICE, "objectSid");
        assertEquals(0, sid.getErrCode());
        assertTrue(sid.getMessage().startsWith("010500000000000515000000"), sid.getMessage());
    }

    @Test
    void listsInDirectoryOrderListsOfOneAndNonTextElements() throws Exception {
        assertEquals(0, library.wSetUserAttributeStringArray(USER, null, "orvistalTags",
                new String[] {"charlie", "alpha", "\uD83D\uDE00 bravo"}, UPDATE));
        ResultStringList tags = library.wGetUserAttributeStringArray(USER, null, "orvistalTags");
        assertEquals(0, tags.getErrCode());
        assertArrayEquals(sorted("charlie", "alpha", "\uD83D\uDE00 bravo"), sorted(tags.getStringList()));
        ResultStringList asNode = library.wGetNodeAttributeStringArray(USER, "orvistalTags");
        assertArrayEquals(tags.getStringList(), asNode.getStringList(), "one order, the directory's");

        assertEquals(0, library.wSetGroupAttributeStringArray(GROUP, "member", new String[] {ALICE}, UPDATE));
        assertList(0, new String[] {ALICE}, library.wGetGroupAttributeStringArray(GROUP, "member"));
        assertList(0, new String[] {"alice@orvistal.test"}, library.wGetUserAttributeStringArray(ALICE, null, "mail"));
        // A multi-valued integer attribute: each value in decimal.
        String[] numbers = {"7", "-42", "2147483647"};
        assertList(0, numbers, library.wGetUserAttributeStringArray(ALICE, null, "orvistalNumbers"));
        assertList(0, numbers, library.wGetNodeAttributeStringArray(ALICE, "orvistalNumbers"));
    }

    @Test
    void longListsCrossTheBoundaryOneReferenceAtATime() {
        // The run checks every JNI call: a list held as one local reference per value would
        // outgrow the frame and fail it.
        String[] many = new String[300];
        for (int i = 0; i < many.length; i++) many[i] = "tag" + i;
        assertEquals(0, library.wSetUserAttributeStringArray(USER, null, "orvistalTags", many, UPDATE));
        ResultStringList back = library.wGetUserAttributeStringArray(USER, null, "orvistalTags");
        assertEquals(0, back.getErrCode());
        assertEquals(many.length, back.getStringList().length);
        String[] names = new String[300];
        Arrays.fill(names, "cn");
        ResultArrayNameValue pairs = library.wGetNodeAttributes(OU, "(cn=attr-jvm-user)", names);
        assertEquals(0, pairs.getErrCode());
        assertEquals(names.length, pairs.getValues().length);
        assertEquals(0, library.wSetUserAttributeStringArray(USER, null, "orvistalTags", null, CLEAR));
    }

    @Test
    void listWritesWithEachControlCode() throws Exception {
        assertEquals(0, library.wSetUserAttributeStringArray(USER, null, "orvistalTags", new String[] {"one", "two"}, UPDATE));
        // Appending a value that is there already, and deleting one that is not, both succeed.
        assertEquals(0, library.wSetUserAttributeStringArray(USER, null, "orvistalTags", new String[] {"two", "three"}, APPEND));
        assertTags("one", "three", "two");
        assertEquals(0, library.wSetUserAttributeStringArray(USER, null, "orvistalTags", new String[] {"one", "never"}, DELETE));
        assertTags("three", "two");
        assertEquals(BAD_PARAMETER, library.wSetUserAttributeStringArray(USER, null, "orvistalTags", new String[] {"x"}, 5));
        assertEquals(BAD_PARAMETER, library.wSetNodeAttributeStringArray(USER, "orvistalTags", new String[] {"x"}, 0));
        assertTags("three", "two");
        // A null or empty list never clears by accident; an explicit clear does.
        for (int code : new int[] {UPDATE, APPEND, DELETE, 7}) {
            assertEquals(INVALID_ARG, library.wSetUserAttributeStringArray(USER, null, "orvistalTags", null, code));
            assertEquals(INVALID_ARG, library.wSetUserAttributeStringArray(USER, null, "orvistalTags", new String[0], code));
            assertEquals(INVALID_ARG, library.wSetNodeAttributeStringArray(USER, "orvistalTags", null, code));
            assertEquals(INVALID_ARG, library.wSetGroupAttributeStringArray(GROUP, "member", new String[0], code));
        }
        assertTags("three", "two");
        assertEquals(0, library.wSetUserAttributeStringArray(USER, null, "orvistalTags", null, CLEAR));
        assertList(PROPERTY_NOT_FOUND, new String[0], library.wGetUserAttributeStringArray(USER, null, "orvistalTags"));
        // A null element is written as an empty text, which the directory refuses: nothing is written.
        int refused = library.wSetNodeAttributeStringArray(USER, "orvistalTags", new String[] {"a", null, "b"}, UPDATE);
        assertTrue(refused < 0, Integer.toHexString(refused));
        assertNull(admin.read(USER, "orvistalTags"));
    }

    @Test
    void missingAttributesGiveNotFoundAndEmptyValues() {
        String missing = "facsimileTelephoneNumber";
        assertMessage(PROPERTY_NOT_FOUND, "", library.wGetUserAttributeString(USER, null, missing));
        assertInteger(PROPERTY_NOT_FOUND, 0, library.wGetUserAttributeInt(USER, null, missing));
        ResultLargeIntegerValue large = library.wGetUserAttributeLargeInt(USER, null, missing);
        assertEquals(PROPERTY_NOT_FOUND, large.getErrCode());
        assertEquals(0, large.getLowPart());
        assertEquals(0, large.getHighPart());
        assertList(PROPERTY_NOT_FOUND, new String[0], library.wGetUserAttributeStringArray(USER, null, missing));
        assertMessage(PROPERTY_NOT_FOUND, "", library.wGetGroupAttributeString(GROUP, missing));
        assertInteger(PROPERTY_NOT_FOUND, 0, library.wGetGroupAttributeInt(GROUP, missing));
        assertList(PROPERTY_NOT_FOUND, new String[0], library.wGetGroupAttributeStringArray(GROUP, missing));
        assertMessage(PROPERTY_NOT_FOUND, "", library.wGetNodeAttributeString(OU, missing));
        assertList(PROPERTY_NOT_FOUND, new String[0], library.wGetNodeAttributeStringArray(OU, missing));
        assertMessage(PROPERTY_NOT_FOUND, "", library.wGetDeletedNodeAttributeString(OU, missing));
    }

    @Test
    void everyNameFormReachesTheSameObject() throws Exception {
        assertEquals(0, library.wSetUserAttributeString(USER, null, "description", "found by every name"));
        String[][] userNames = {
            {USER, null}, {NETBIOS + "\\" + USER_ACCOUNT, null}, {USER_ACCOUNT + "@" + DOMAIN, null},
            {USER_ACCOUNT, NETBIOS}, {USER_ACCOUNT, DOMAIN}, {USER_ACCOUNT, null}, {USER_ACCOUNT, ""},
        };
        for (String[] name : userNames) {
            assertMessage(0, "found by every name", library.wGetUserAttributeString(name[0], name[1], "description"));
        }
        assertEquals(0, library.wSetGroupAttributeString(GROUP, "description", "a group by every name"));
        for (String name : new String[] {GROUP, NETBIOS + "\\" + GROUP_ACCOUNT, GROUP_ACCOUNT}) {
            assertMessage(0, "a group by every name", library.wGetGroupAttributeString(name, "description"));
        }
        // A name that resolves to nothing: E_FAIL, nothing read, nothing written.
        assertMessage(E_FAIL, "", library.wGetUserAttributeString("nobody-" + SUFFIX, null, "description"));
        assertEquals(E_FAIL, library.wSetUserAttributeString("nobody-" + SUFFIX, null, "description", "x"));
        assertEquals(E_FAIL, library.wSetUserAttributeStringArray("nobody-" + SUFFIX, null, "orvistalTags", new String[] {"x"}, UPDATE));
        assertEquals(E_FAIL, library.wSetUserAttributeLargeInt("nobody-" + SUFFIX, null, "orvistalCounter", 1, 0));
        assertEquals(E_FAIL, library.wSetGroupAttributeInt("nobody-" + SUFFIX, "groupType", 2));
        ResultStringList none = library.wGetGroupAttributeStringArray("nobody-" + SUFFIX, "member");
        assertList(E_FAIL, new String[0], none);
        assertEquals("found by every name", admin.read(USER, "description"));
    }

    @Test
    void aWriteWithoutTheRightIsRefusedAndNothingIsWritten() throws Exception {
        Object before = admin.read(ALICE, "description");
        assertNotNull(before);
        assertEquals(ACCESS_DENIED, library.wSetUserAttributeString(ALICE, null, "description", "not allowed"));
        assertEquals(ACCESS_DENIED, library.wSetNodeAttributeString(ALICE, "description", "not allowed"));
        assertEquals(ACCESS_DENIED, library.wSetUserAttributeLargeInt(ALICE, null, "orvistalCounter", 1, 0));
        assertEquals(ACCESS_DENIED, library.wSetGroupAttributeString(Directory.G_DEVS, "description", "not allowed"));
        assertEquals(before, admin.read(ALICE, "description"));
        assertEquals("9007199254740993", admin.read(ALICE, "orvistalCounter"));
    }

    @Test
    void groupTestAnswersForGroupsOnly() {
        assertEquals(0, library.wIsGroupNode(GROUP));
        assertEquals(Directory.E_NOINTERFACE, library.wIsGroupNode(USER));
        assertEquals(NO_SUCH_OBJECT, library.wIsGroupNode("CN=nobody," + OU));
        assertEquals(Directory.E_NOINTERFACE, library.wGetGroupAttributeString(ALICE, "mail").getErrCode());
    }

    @Test
    void aTombstoneIsReadOnlyAsADeletedObject() throws Exception {
        String tombstone = admin.tombstoneOf("deleted-user");
        assertNotNull(tombstone);
        assertTrue(tombstone.contains("\\0ADEL:"), tombstone);
        Orvistal asAdmin = new Orvistal(Directory.env("ORVISTAL_TEST_ADMIN_USER"),
                Directory.env("ORVISTAL_TEST_ADMIN_PASSWORD"), Directory.SERVER, true, null);
        assertMessage(0, "deleted-user", asAdmin.wGetDeletedNodeAttributeString(tombstone, "sAMAccountName"));
        assertMessage(0, "-1", asAdmin.wGetDeletedNodeAttributeString(tombstone, "isDeleted"));
        assertMessage(0, PEOPLE, asAdmin.wGetDeletedNodeAttributeString(tombstone, "lastKnownParent"));
        assertMessage(NO_SUCH_OBJECT, "", asAdmin.wGetNodeAttributeString(tombstone, "sAMAccountName"));
    }

    @Test
    void guidsAndParents() throws Exception {
        StringBuilder expected = new StringBuilder();
        for (byte b : (byte[]) admin.read(ALICE, "objectGUID")) {
            expected.append(String.format("%02x", b));
        }
        assertMessage(0, expected.toString(), library.wGetNodeGuid(ALICE));
        assertMessage(NO_SUCH_OBJECT, "", library.wGetNodeGuid("CN=nobody," + OU));

        assertMessage(0, PEOPLE, library.wGetParentNode(JO_SMITH));
        assertMessage(0, OU, library.wGetParentNode(USER));
        admin.create("OU=in/out," + OU, "organizationalUnit", null);
        admin.create("OU=child,OU=in/out," + OU, "organizationalUnit", null);
        assertMessage(0, "OU=in\\/out," + OU, library.wGetParentNode("OU=child,OU=in\\/out," + OU));
        assertMessage(NO_SUCH_OBJECT, "", library.wGetParentNode("CN=nobody," + OU));
    }

    private void assertTags(String... expected) {
        ResultStringList tags = library.wGetUserAttributeStringArray(USER, null, "orvistalTags");
        assertEquals(0, tags.getErrCode());
        assertArrayEquals(sorted(expected), sorted(tags.getStringList()));
    }

    private static String[] sorted(String... texts) {
        String[] copy = texts.clone();
        Arrays.sort(copy);
        return copy;
    }

    private static void assertMessage(int status, String message, ResultMessage result) {
        assertEquals(status, result.getErrCode(), () -> "status 0x" + Integer.toHexString(result.getErrCode()));
        assertEquals(message, result.getMessage());
    }

    private static void assertInteger(int status, int value, ResultIntegerValue result) {
        assertEquals(status, result.getErrCode(), () -> "status 0x" + Integer.toHexString(result.getErrCode()));
        assertEquals(value, result.getValue());
    }

    private static void assertList(int status, String[] values, ResultStringList result) {
        assertEquals(status, result.getErrCode(), () -> "status 0x" + Integer.toHexString(result.getErrCode()));
        assertArrayEquals(values, result.getStringList());
    }
}
