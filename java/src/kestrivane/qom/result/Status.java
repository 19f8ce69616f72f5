package kestrivane.qom.result;

import java.util.HashMap;
import java.util.Locale;
import java.util.Map;

/**
 * The statuses of Orvistal's native methods in words. Every status a native method can return
 * has a name and one line of meaning here, from the same table as the README's list of statuses
 * and the native trace; no native library is needed.
 *
 * <pre>{@code
 * int status = orvistal.wInit();
 * if (status != 0) {
 *     System.err.println(Status.describe(status));
 *     // 0x8007203A ERROR_DS_SERVER_DOWN: the server cannot be reached: ...
 * }
 * }</pre>
 */
public final class Status {
    private static final Map<Integer, Integer> ROWS = new HashMap<>();

    static {
        for (int row = 0; row < StatusTable.STATUSES.length; row++) {
            ROWS.put(StatusTable.STATUSES[row], row);
        }
    }

    private Status() {}

    /**
     * The status in hex, its name and its meaning, as in
     * {@code "0x8007052E ERROR_LOGON_FAILURE: wrong account name or password ..."}; a status the
     * table does not hold is given in hex, and a Win32 error carried in an HRESULT also by its number.
     *
     * @param status a status returned by a native method or carried by a result object
     * @return one line of text, never null
     */
    public static String describe(int status) {
        Integer row = ROWS.get(status);
        if (row != null) {
            return label(status) + ": " + StatusTable.MEANINGS[row];
        }
        String text = hex(status) + ": a status not in Orvistal's table";
        if ((status & 0xFFFF0000) == 0x80070000) {
            text += " (Win32 error " + (status & 0xFFFF) + ")";
        }
        return text;
    }

    /**
     * The status's name, such as {@code "ERROR_DS_SERVER_DOWN"}.
     *
     * @param status a status
     * @return the name, or null for a status the table does not hold
     */
    public static String name(int status) {
        Integer row = ROWS.get(status);
        return row == null ? null : StatusTable.NAMES[row];
    }

    /**
     * The status's one line of meaning.
     *
     * @param status a status
     * @return the meaning, or null for a status the table does not hold
     */
    public static String meaning(int status) {
        Integer row = ROWS.get(status);
        return row == null ? null : StatusTable.MEANINGS[row];
    }

    /**
     * The status in hex followed by its name when it has one: {@code "0x8007052E ERROR_LOGON_FAILURE"}.
     *
     * @param status a status
     * @return the label, never null
     */
    public static String label(int status) {
        String name = name(status);
        return name == null ? hex(status) : hex(status) + " " + name;
    }

    /**
     * Every status in the table, in the table's order.
     *
     * @return a new array of the statuses
     */
    public static int[] all() {
        return StatusTable.STATUSES.clone();
    }

    private static String hex(int status) {
        return String.format(Locale.ROOT, "0x%08X", status);
    }
}
