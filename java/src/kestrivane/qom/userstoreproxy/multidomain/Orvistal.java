package kestrivane.qom.userstoreproxy.multidomain;

import kestrivane.qom.result.ResultArrayNameValue;
import kestrivane.qom.result.ResultBooleanValue;
import kestrivane.qom.result.ResultCheckAccess;
import kestrivane.qom.result.ResultIntegerValue;
import kestrivane.qom.result.ResultLargeIntegerValue;
import kestrivane.qom.result.ResultMessage;
import kestrivane.qom.result.ResultStringList;

/**
 * The native bridge to Active Directory. Every call reads the connection settings from this
 * object's fields: the bind account (empty: the process's own identity), its password, and the
 * server, or the domain when {@code useServerName} is false.
 */
public class Orvistal {
    protected String lookupUserName;
    protected String lookupUserPassword;
    protected String server;
    protected boolean useServerName = true;
    protected String domain;

    /**
     * Loads the native library: from the path in the system property orvistal.library when it is
     * set; else by its name from java.library.path; else the copy this jar carries for the running
     * platform, placed in a private directory of the user's cache (see the README).
     *
     * @throws UnsatisfiedLinkError naming the platform when none of these fits
     */
    public static void loadLibrary() {
        String path = System.getProperty("orvistal.library");
        if (path != null && !path.isEmpty()) {
            System.load(path);
            return;
        }
        try {
            System.loadLibrary("Orvistal");
        } catch (UnsatisfiedLinkError notOnLibraryPath) {
            BundledLibrary.load(notOnLibraryPath);
        }
    }

    public Orvistal() {}

    public Orvistal(String lookupUserName, String lookupUserPassword, String server, boolean useServerName, String domain) {
        this.lookupUserName = lookupUserName;
        this.lookupUserPassword = lookupUserPassword;
        this.server = server;
        this.useServerName = useServerName;
        this.domain = domain;
    }

    public native int wInit();
    public native ResultMessage wTranslateName(String name, int inputFormat, int outputFormat);
    public native ResultMessage wGetUserDsn(String userName, String userDomain);
    public native ResultMessage wGetGroupDsn(String groupName);
    public native int wAddUser(String userName, String containerDn);
    public native int wDeleteUser(String userName, String domainName);
    public native int wResetPassword(String userName, String newPassword, String domainName);
    public native int wChangePassword(String userName, String oldPassword, String newPassword, String domainName);
    public native int wUnlockAccount(String userName, String domainName);
    public native int wIsUserNode(String dn);
    public native int wSetUserAttributeString(String userName, String domainName, String attribute, String value);
    public native ResultMessage wGetUserAttributeString(String userName, String domainName, String attribute);
    public native int wSetUserAttributeInt(String userName, String domainName, String attribute, int value);
    public native ResultIntegerValue wGetUserAttributeInt(String userName, String domainName, String attribute);
    public native int wSetUserAttributeLargeInt(String userName, String domainName, String attribute, int lowPart, int highPart);
    public native ResultLargeIntegerValue wGetUserAttributeLargeInt(String userName, String domainName, String attribute);
    public native int wSetUserAttributeStringArray(String userName, String domainName, String attribute, String[] values, int controlCode);
    public native ResultStringList wGetUserAttributeStringArray(String userName, String domainName, String attribute);
    public native int wIsGroupNode(String dn);
    public native ResultBooleanValue wIsMemberOf(String groupName, String memberDn);
    public native int wSetGroupAttributeString(String groupName, String attribute, String value);
    public native ResultMessage wGetGroupAttributeString(String groupName, String attribute);
    public native int wSetGroupAttributeInt(String groupName, String attribute, int value);
    public native ResultIntegerValue wGetGroupAttributeInt(String groupName, String attribute);
    public native int wSetGroupAttributeStringArray(String groupName, String attribute, String[] values, int controlCode);
    public native ResultStringList wGetGroupAttributeStringArray(String groupName, String attribute);
    public native ResultMessage wGetUserPrimaryGroup(String userName, String domainName);
    public native ResultStringList wGetUserGroups(String userName, String domainName);
    public native ResultStringList wGetMachineGroups(String machineDn);
    public native ResultMessage wGetNodeAttributeString(String dn, String attribute);
    public native int wSetNodeAttributeString(String dn, String attribute, String value);
    public native ResultStringList wGetNodeAttributeStringArray(String dn, String attribute);
    public native int wSetNodeAttributeStringArray(String dn, String attribute, String[] values, int controlCode);
    public native ResultMessage wGetDeletedNodeAttributeString(String guid, String attribute);
    public native ResultMessage wGetNodeGuid(String dn);
    public native ResultMessage wGetParentNode(String dn);
    public native ResultMessage wGetNetbiosDomain(String dnsDomainName);
    public native int wIsUserContainerNode(String dn);
    public native ResultStringList wGetChildUserContainers(String dn);
    public native ResultStringList wSearchNodes(String baseDn, String filter);
    public native ResultStringList wSearchDeletedNodes(String filter);
    public native ResultStringList wFindNodeValues(String baseDn, String attribute, String filter, int sizeLimit, int timeLimit);
    public native ResultArrayNameValue wGetNodeAttributes(String baseDn, String filter, String[] attributes);
    public native ResultCheckAccess wCheckNodeAccess(String dn, int desiredAccess);
    public native int wVerifyPassword(String userName, String password, String domainName);
}
