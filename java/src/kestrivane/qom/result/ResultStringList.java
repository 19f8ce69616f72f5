package kestrivane.qom.result;

/** A status and a list of texts, filled through its setters. */
public class ResultStringList {
    private int errCode;
    private String[] stringList = new String[0];

    public ResultStringList() {}

    public void setStringList(String[] stringList) { this.stringList = stringList; }

    public void setErrCode(int errCode) { this.errCode = errCode; }

    public int getErrCode() { return errCode; }

    public String[] getStringList() { return stringList; }

    /** The status in hex and by name, then the value(s); for logs and debuggers. */
    @Override
    public String toString() {
        return "ResultStringList[" + Status.label(errCode) + ", stringList=" + ResultText.quotedList(stringList) + "]";
    }
}
