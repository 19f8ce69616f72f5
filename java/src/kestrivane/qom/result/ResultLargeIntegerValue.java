package kestrivane.qom.result;

/** A status and a 64-bit integer given as its low and high 32 bits. */
public class ResultLargeIntegerValue {
    private final int errCode;
    private final int lowPart;
    private final int highPart;

    public ResultLargeIntegerValue(int errCode, int lowPart, int highPart) {
        this.errCode = errCode;
        this.lowPart = lowPart;
        this.highPart = highPart;
    }

    public int getErrCode() { return errCode; }

    public int getLowPart() { return lowPart; }

    public int getHighPart() { return highPart; }

    public long getValue() { return ((long) highPart << 32) | (lowPart & 0xFFFFFFFFL); }

    /** The status in hex and by name, then the value(s); for logs and debuggers. */
    @Override
    public String toString() {
        return "ResultLargeIntegerValue[" + Status.label(errCode) + ", value=" + getValue() + " (low " + lowPart + ", high " + highPart + ")]";
    }
}
