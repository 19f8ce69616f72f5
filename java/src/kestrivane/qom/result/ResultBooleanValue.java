package kestrivane.qom.result;

/** A status and a boolean. */
public class ResultBooleanValue {
    private final int errCode;
    private final boolean value;

    public ResultBooleanValue(int errCode, boolean value) {
        this.errCode = errCode;
        this.value = value;
    }

    public int getErrCode() { return errCode; }

    public boolean getValue() { return value; }

    /** The status in hex and by name, then the value(s); for logs and debuggers. */
    @Override
    public String toString() {
        return "ResultBooleanValue[" + Status.label(errCode) + ", value=" + value + "]";
    }
}
