package kestrivane.qom.result;

/** A status and name/value pairs. */
public class ResultArrayNameValue {
    private final int errCode;
    private final NameValue[] values;

    public ResultArrayNameValue(int errCode, NameValue[] values) {
        this.errCode = errCode;
        this.values = values;
    }

    public int getErrCode() { return errCode; }

    public NameValue[] getValues() { return values; }

    /** The status in hex and by name, then the value(s); for logs and debuggers. */
    @Override
    public String toString() {
        return "ResultArrayNameValue[" + Status.label(errCode) + ", values=" + java.util.Arrays.toString(values) + "]";
    }
}
