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
}
