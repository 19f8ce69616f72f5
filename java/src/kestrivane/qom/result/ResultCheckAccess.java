package kestrivane.qom.result;

/** A status, the access rights granted, and the access check's own status. */
public class ResultCheckAccess {
    private final int errCode;
    private final int grantedAccess;
    private final int accessStatus;

    public ResultCheckAccess(int errCode, int grantedAccess, int accessStatus) {
        this.errCode = errCode;
        this.grantedAccess = grantedAccess;
        this.accessStatus = accessStatus;
    }

    public int getErrCode() { return errCode; }

    public int getGrantedAccess() { return grantedAccess; }

    public int getAccessStatus() { return accessStatus; }

    /** The status in hex and by name, then the value(s); for logs and debuggers. */
    @Override
    public String toString() {
        return "ResultCheckAccess[" + Status.label(errCode) + ", grantedAccess=" + String.format(java.util.Locale.ROOT, "0x%08X", grantedAccess) + ", accessStatus=" + Status.label(accessStatus) + "]";
    }
}
