package orvistal.jvm;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.List;
import java.util.stream.Collectors;
import kestrivane.qom.result.NameValue;
import kestrivane.qom.result.ResultArrayNameValue;
import kestrivane.qom.result.ResultBooleanValue;
import kestrivane.qom.result.ResultCheckAccess;
import kestrivane.qom.result.ResultIntegerValue;
import kestrivane.qom.result.ResultLargeIntegerValue;
import kestrivane.qom.result.ResultMessage;
import kestrivane.qom.result.ResultStringList;
import kestrivane.qom.result.Status;
import kestrivane.qom.userstoreproxy.multidomain.Orvistal;
import org.junit.jupiter.api.Test;

/** Statuses in words: the status table as Java sees it, the result objects' text, and a real call's. */
class StatusTest {
    @Test
    void everyRowOfTheStatusTableIsDescribedByItsNameAndMeaning() throws IOException {
        List<String[]> rows = Files.readAllLines(Paths.get(System.getProperty("orvistal.statusTable"))).stream()
                .filter(line -> !line.isEmpty() && !line.startsWith("#"))
                .map(line -> line.split("\t"))
                .collect(Collectors.toList());
        assertTrue(rows.size() > 100, "rows read: " + rows.size());
        for (String[] row : rows) {
            int status = Integer.parseUnsignedInt(row[0].substring(2), 16);
            assertEquals(row[0] + " " + row[1] + ": " + row[2], Status.describe(status));
            assertEquals(row[1], Status.name(status));
        }
        assertEquals(rows.size(), Status.all().length);
    }

    @Test
    void aStatusNotInTheTableIsGivenInHexAndAsItsWin32Error() {
        assertEquals("0x8007FFFF: a status not in Orvistal's table (Win32 error 65535)", Status.describe(0x8007FFFF));
        assertEquals("0x12345678: a status not in Orvistal's table", Status.describe(0x12345678));
        assertNull(Status.name(0x12345678));
        assertNull(Status.meaning(0x12345678));
    }

    @Test
    void resultObjectsShowTheirStatusInHexAndByNameThenTheirValues() {
        assertEquals("ResultMessage[0x8007052E ERROR_LOGON_FAILURE, message=\"\"]",
                new ResultMessage(0x8007052E, "").toString());
        assertEquals("ResultIntegerValue[0x0000203F VALUE_TYPE_MISMATCH, value=0]",
                new ResultIntegerValue(8255, 0).toString());
        assertEquals("ResultLargeIntegerValue[0x00000000 S_OK, value=4294967298 (low 2, high 1)]",
                new ResultLargeIntegerValue(0, 2, 1).toString());
        assertEquals("ResultBooleanValue[0x00000000 S_OK, value=true]", new ResultBooleanValue(0, true).toString());
        assertEquals("ResultCheckAccess[0x00000000 S_OK, grantedAccess=0x00000010, accessStatus=0x00000005 ERROR_ACCESS_DENIED]",
                new ResultCheckAccess(0, 0x10, 5).toString());
        ResultStringList list = new ResultStringList();
        list.setStringList(new String[] {"CN=a", null});
        list.setErrCode(0x00005012);
        assertEquals("ResultStringList[0x00005012 S_ADS_NOMORE_ROWS, stringList=[\"CN=a\", null]]", list.toString());
        assertEquals("ResultArrayNameValue[0x12345678, values=[cn=\"x\"]]",
                new ResultArrayNameValue(0x12345678, new NameValue[] {new NameValue("cn", "x")}).toString());
    }

    @Test
    void aServerUrlIsTakenOrRefusedAsTheTableExplains() {
        // No loadLibrary(): the class loads its library itself.
        Orvistal url = new Orvistal(Directory.BIND_USER, Directory.BIND_PASSWORD, "ldaps://" + Directory.SERVER, true, null);
        assertEquals(0, url.wInit());
        Orvistal withPath = new Orvistal(Directory.BIND_USER, Directory.BIND_PASSWORD,
                "ldap://" + Directory.SERVER + "/" + Directory.BASE_DN, true, null);
        ResultMessage refused = withPath.wGetUserDsn("alice", "");
        assertEquals("ResultMessage[0x80005000 E_ADS_BAD_PATHNAME, message=\"\"]", refused.toString());
        assertTrue(Status.describe(refused.getErrCode()).contains("a URL with a path"));
    }
}
