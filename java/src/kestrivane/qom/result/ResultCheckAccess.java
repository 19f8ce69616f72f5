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
}
