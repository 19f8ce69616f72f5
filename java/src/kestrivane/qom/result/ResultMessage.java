package kestrivane.qom.result;

/** A status and a text. */
public class ResultMessage {
    private final int errCode;
    private final String message;

    public ResultMessage(int errCode, String message) {
        this.errCode = errCode;
        this.message = message;
    }

    public int getErrCode() { return errCode; }

    public String getMessage() { return message; }

    /** The status in hex and by name, then the value(s); for logs and debuggers. */
    @Override
    public String toString() {
        return "ResultMessage[" + Status.label(errCode) + ", message=" + ResultText.quoted(message) + "]";
    }
}
