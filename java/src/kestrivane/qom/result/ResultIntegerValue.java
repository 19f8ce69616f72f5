package kestrivane.qom.result;

/** A status and a 32-bit integer. */
public class ResultIntegerValue {
    private final int errCode;
    private final int value;

    public ResultIntegerValue(int errCode, int value) {
        this.errCode = errCode;
        this.value = value;
    }

    public int getErrCode() { return errCode; }

    public int getValue() { return value; }

    /** The status in hex and by name, then the value(s); for logs and debuggers. */
    @Override
    public String toString() {
        return "ResultIntegerValue[" + Status.label(errCode) + ", value=" + value + "]";
    }
}
