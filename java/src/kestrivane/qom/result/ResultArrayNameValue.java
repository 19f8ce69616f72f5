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
}
