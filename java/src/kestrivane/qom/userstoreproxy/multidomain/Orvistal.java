package kestrivane.qom.userstoreproxy.multidomain;

import kestrivane.qom.result.ResultArrayNameValue;
import kestrivane.qom.result.ResultBooleanValue;
import kestrivane.qom.result.ResultCheckAccess;
import kestrivane.qom.result.ResultIntegerValue;
import kestrivane.qom.result.ResultLargeIntegerValue;
import kestrivane.qom.result.ResultMessage;
import kestrivane.qom.result.ResultStringList;
import kestrivane.qom.result.Status;

/**
 * The native bridge to Active Directory: 45 native methods, each one self-contained.
 *
 * <h2>Settings</h2>
 * Every call reads the connection settings afresh from this object's fields:
 * {@code lookupUserName} (the bind account: {@code user@domain}, <code>DOMAIN&#92;user</code> or a
 * distinguished name; null or empty binds as the process's own identity, on Linux its Kerberos
 * credentials), {@code lookupUserPassword}, and {@code server}, or {@code domain} in its place when
 * {@code useServerName} is false. The server is a host or domain name with an optional
 * {@code :port}, or an LDAP URL {@code ldap://host[:port]} or {@code ldaps://host[:port]}
 * ({@code ldaps://} with no port means 636); a URL with a path, query, credentials, another scheme
 * or a bad port is refused with {@code E_ADS_BAD_PATHNAME} (0x80005000). Empty: the platform picks a
 * domain controller of the default domain. Subclasses may declare these fields themselves: they
 * are found by name on the object's run-time class, and a missing one makes every call fail at
 * once (E_HANDLE for most {@code int} methods, 0 for {@code wInit} and the {@code wIs...Node} tests,
 * null for methods that return an object).
 *
 * <h2>Names</h2>
 * A user or group is named in any of these forms: a distinguished name
 * ({@code CN=Jo Smith,OU=Staff,DC=example,DC=com}: the name holds "=" and ","), a
 * {@code DOMAIN\account} name, a user principal name ({@code jsmith@example.com}) or a bare account
 * name ({@code jsmith}, a {@code sAMAccountName}; for users with an optional separate domain).
 * Methods on nodes ({@code dn} parameters) take a distinguished name exactly as given. A null
 * String parameter is the same as an empty one.
 *
 * <h2>Statuses</h2>
 * Every method returns a status, as its {@code int} result or as the {@code getErrCode()} of its
 * result object: 0 is success, a negative status a failure, a positive one a qualified success
 * (such as {@code S_ADS_NOMORE_ROWS}, 0x00005012) or {@code VALUE_TYPE_MISMATCH} (8255: the attribute
 * holds a value of another type). Any non-zero status means the result object's value is not
 * set. {@link Status#describe(int)} puts any status into words; {@code toString()} of every result
 * object shows its status by name.
 *
 * <h2>Threads</h2>
 * Any thread may call any method at any time, also several at once on one object: a call only
 * reads the fields, and shares nothing with other calls but connections the library pools for
 * the same server and credentials. An object may therefore be shared by all threads as long as
 * its fields are not changed after it is published. Result objects belong to the caller.
 *
 * <h2>Loading</h2>
 * The class loads its native library when it is first used (see {@link #loadLibrary()}); a
 * library that cannot be loaded makes every native method throw {@link UnsatisfiedLinkError},
 * and the reason is logged as a warning of the logger named after this class and thrown by
 * {@link #loadLibrary()}.
 */
public class Orvistal {
    protected String lookupUserName;
    protected String lookupUserPassword;
    protected String server;
    protected boolean useServerName = true;
    protected String domain;

    private static boolean loaded;

    static {
        try {
            loadLibrary();
        } catch (UnsatisfiedLinkError notLoaded) {
            // The class stays usable (its constants, subclasses, a later loadLibrary() after the
            // system property is set); the natives throw until a load succeeds.
            System.getLogger(Orvistal.class.getName()).log(System.Logger.Level.WARNING,
                    "the Orvistal native library could not be loaded; its native methods will throw"
                    + " UnsatisfiedLinkError: " + notLoaded.getMessage());
        }
    }

    /**
     * Loads the native library, once: from the path in the system property orvistal.library when it
     * is set; else by its name from java.library.path; else the copy this jar carries for the running
     * platform, placed in a private directory of the user's cache (see the README). The class calls
     * it itself when it is first used; calling it again does nothing once a load succeeded, and
     * tries again after a failure.
     *
     * @throws UnsatisfiedLinkError naming the platform when none of these fits
     */
    public static synchronized void loadLibrary() {
        if (loaded) {
            return;
        }
        try {
            String path = System.getProperty("orvistal.library");
            if (path != null && !path.isEmpty()) {
                System.load(path);
            } else {
                try {
                    System.loadLibrary("Orvistal");
                } catch (UnsatisfiedLinkError notOnLibraryPath) {
                    BundledLibrary.load(notOnLibraryPath);
                }
            }
        } catch (RuntimeException refused) {
            // A path the platform cannot take, a security manager's refusal: still a library that
            // could not be loaded, never a class that fails to initialise.
            UnsatisfiedLinkError notLoaded = new UnsatisfiedLinkError(
                    "the Orvistal native library could not be loaded: " + refused);
            notLoaded.initCause(refused);
            throw notLoaded;
        }
        loaded = true;
    }

    /** Settings left empty: binds as the process's own identity, on the default domain's controllers. */
    public Orvistal() {}

    /**
     * @param lookupUserName the bind account; null or empty: the process's own identity
     * @param lookupUserPassword its password
     * @param server host or domain name, {@code host:port}, {@code ldap://host[:port]} or
     *     {@code ldaps://host[:port]}; used when {@code useServerName} is true
     * @param useServerName true: connect to {@code server}; false: to {@code domain}
     * @param domain DNS domain name used in place of {@code server} when {@code useServerName} is false
     */
    public Orvistal(String lookupUserName, String lookupUserPassword, String server, boolean useServerName, String domain) {
        this.lookupUserName = lookupUserName;
        this.lookupUserPassword = lookupUserPassword;
        this.server = server;
        this.useServerName = useServerName;
        this.domain = domain;
    }

    /**
     * Tests the settings: binds the server's root entry with the bind account.
     *
     * @return 0 when the server or domain is reachable with these credentials, else the failure
     *     (for instance 0x8007052E wrong password, 0x8007203A server not reachable, 0x80070775 account
     *     locked); 0 also when the settings cannot be read
     */
    public native int wInit();

    /**
     * Translates a name between two formats with the directory's name-translation service.
     *
     * @param name the name to translate
     * @param inputFormat ADSI name type of {@code name}: 1 distinguished name, 2 canonical
     *     ({@code example.com/Staff/Jo Smith}), 3 NT4 (<code>EXAMPLE&#92;jsmith</code>), 4 display name,
     *     5 domain-simple, 6 enterprise-simple, 7 GUID ({@code {xxxxxxxx-...}}), 8 unknown (the
     *     service guesses), 9 user principal name, 10 canonical with a line feed before the last
     *     part, 11 service principal name, 12 SID or SID history
     * @param outputFormat ADSI name type wanted, as above (8 and 12 are input only)
     * @return the translated name; on failure an empty text and the status, e.g. 0x80072116 (not
     *     found), 0x80072118 (no name in that format); null when the settings cannot be read
     */
    public native ResultMessage wTranslateName(String name, int inputFormat, int outputFormat);

    /**
     * The distinguished name of a user.
     *
     * @param userName the user in any accepted form (see the class description)
     * @param userDomain the user's domain, for a bare account name; may be empty
     * @return the distinguished name; 0x80004005 when no user matches; null when the settings
     *     cannot be read
     */
    public native ResultMessage wGetUserDsn(String userName, String userDomain);

    /**
     * The distinguished name of a group.
     *
     * @param groupName the group in any accepted form (see the class description)
     * @return the distinguished name; 0x80004005 when no group matches; null when the settings
     *     cannot be read
     */
    public native ResultMessage wGetGroupDsn(String groupName);

    /**
     * Creates a user account, disabled and without a password, directly below a container. Its
     * relative name is {@code cn=<userName>}, its {@code sAMAccountName} {@code userName} and its
     * principal name {@code userName@<the container's DC= parts joined by dots>}.
     *
     * @param userName the new account name
     * @param containerDn distinguished name of the container
     * @return 0, or the directory's refusal (0x80071392 name taken, 0x80072030 no such container);
     *     0x80070006 when the settings cannot be read
     */
    public native int wAddUser(String userName, String containerDn);

    /**
     * Deletes a user account, with any objects below it.
     *
     * @param userName the user in any accepted form
     * @param domainName the user's domain, for a bare account name; may be empty
     * @return 0, or the failure (0x80004005 when no user matches); 0x80070006 when the settings
     *     cannot be read
     */
    public native int wDeleteUser(String userName, String domainName);

    /**
     * Sets a user's password as an administrator would (no old password needed).
     *
     * @param userName the user in any accepted form
     * @param newPassword the new password
     * @param domainName the user's domain, for a bare account name; may be empty
     * @return 0, or the failure (0x8007202F or 0x800708C5 when the domain's policy refuses the
     *     password); 0x80070006 when the settings cannot be read
     */
    public native int wResetPassword(String userName, String newPassword, String domainName);

    /**
     * Changes a user's own password with the old one, through the domain's password service. The
     * settings are not read: the user's own credentials are used.
     *
     * @param userName the account ({@code user}, {@code user@domain} or <code>DOMAIN&#92;user</code>)
     * @param oldPassword the current password
     * @param newPassword the new password
     * @param domainName the domain; may be empty
     * @return the network service's status, POSITIVE on failure: 0 changed, 86 wrong old
     *     password, 2245 refused by the password policy, 2221 no such user, 1909 locked out, 2351
     *     domain not found (see {@link Status#describe(int)})
     */
    public native int wChangePassword(String userName, String oldPassword, String newPassword, String domainName);

    /**
     * Releases a user account that the directory locked after wrong passwords.
     *
     * @param userName the user in any accepted form
     * @param domainName the user's domain, for a bare account name; may be empty
     * @return 0, also when the account was not locked, or the failure; 0x80070006 when the
     *     settings cannot be read
     */
    public native int wUnlockAccount(String userName, String domainName);

    /**
     * Whether an object is a user.
     *
     * @param dn distinguished name of the object (not resolved as an account name)
     * @return 0 when it is a user, else a negative status (0x80004002 another class, 0x80072030 no
     *     such object); 0 also when the settings cannot be read
     */
    public native int wIsUserNode(String dn);

    /**
     * Writes one text attribute of a user.
     *
     * @param userName the user in any accepted form
     * @param domainName the user's domain, for a bare account name; may be empty
     * @param attribute the attribute's LDAP name, e.g. {@code mail}
     * @param value the new value
     * @return 0, or the failure; 0x80070006 when the settings cannot be read
     */
    public native int wSetUserAttributeString(String userName, String domainName, String attribute, String value);

    /**
     * Reads one text attribute of a user.
     *
     * @param userName the user in any accepted form
     * @param domainName the user's domain, for a bare account name; may be empty
     * @param attribute the attribute's LDAP name
     * @return the value; an empty text with 0x8000500D when the attribute is not set, 8255 when
     *     it is not text; null when the settings cannot be read
     */
    public native ResultMessage wGetUserAttributeString(String userName, String domainName, String attribute);

    /**
     * Writes one 32-bit integer attribute of a user, e.g. {@code userAccountControl}.
     *
     * @param userName the user in any accepted form
     * @param domainName the user's domain, for a bare account name; may be empty
     * @param attribute the attribute's LDAP name
     * @param value the new value
     * @return 0, or the failure; 0x80070006 when the settings cannot be read
     */
    public native int wSetUserAttributeInt(String userName, String domainName, String attribute, int value);

    /**
     * Reads one 32-bit integer attribute of a user.
     *
     * @param userName the user in any accepted form
     * @param domainName the user's domain, for a bare account name; may be empty
     * @param attribute the attribute's LDAP name
     * @return the value; 0 with 0x8000500D when the attribute is not set, 8255 when it is not an
     *     integer; null when the settings cannot be read
     */
    public native ResultIntegerValue wGetUserAttributeInt(String userName, String domainName, String attribute);

    /**
     * Writes one 64-bit integer attribute of a user (e.g. {@code accountExpires}, {@code pwdLastSet}).
     *
     * @param userName the user in any accepted form
     * @param domainName the user's domain, for a bare account name; may be empty
     * @param attribute the attribute's LDAP name
     * @param lowPart the value's low 32 bits
     * @param highPart the value's high 32 bits
     * @return 0, or the failure; 0x80070006 when the settings cannot be read
     */
    public native int wSetUserAttributeLargeInt(String userName, String domainName, String attribute, int lowPart, int highPart);

    /**
     * Reads one 64-bit integer attribute of a user.
     *
     * @param userName the user in any accepted form
     * @param domainName the user's domain, for a bare account name; may be empty
     * @param attribute the attribute's LDAP name
     * @return the value as low and high part ({@link ResultLargeIntegerValue#getValue()} joins
     *     them); 0 and 0 on failure, 0x80004003 when the value is not a large integer; null when
     *     the settings cannot be read
     */
    public native ResultLargeIntegerValue wGetUserAttributeLargeInt(String userName, String domainName, String attribute);

    /**
     * Changes a multi-valued attribute of a user.
     *
     * @param userName the user in any accepted form
     * @param domainName the user's domain, for a bare account name; may be empty
     * @param attribute the attribute's LDAP name
     * @param values the values, in order; a null element is an empty value
     * @param controlCode what to do with them: 1 clear the attribute (values ignored), 2 replace
     *     all values by these, 3 append these, 4 delete these (the ADSI ADS_PROPERTY_ codes)
     * @return 0, or the failure (0x80005008 for another control code); 0x80070006 when the
     *     settings cannot be read
     */
    public native int wSetUserAttributeStringArray(String userName, String domainName, String attribute, String[] values, int controlCode);

    /**
     * Reads a multi-valued attribute of a user.
     *
     * @param userName the user in any accepted form
     * @param domainName the user's domain, for a bare account name; may be empty
     * @param attribute the attribute's LDAP name
     * @return the values as text (numbers in decimal, other non-text values null); an empty list
     *     on failure; null when the settings cannot be read
     */
    public native ResultStringList wGetUserAttributeStringArray(String userName, String domainName, String attribute);

    /**
     * Whether an object is a group.
     *
     * @param dn distinguished name of the object
     * @return 0 when it is a group, else a negative status; 0 also when the settings cannot be read
     */
    public native int wIsGroupNode(String dn);

    /**
     * Whether a user is a direct member of a group, by the group's {@code member} list or as the
     * user's primary group (nested groups are not followed).
     *
     * @param groupName distinguished name of the group
     * @param memberDn distinguished name of the user
     * @return true or false with status 0, or false and the failure; null when the settings cannot
     *     be read
     */
    public native ResultBooleanValue wIsMemberOf(String groupName, String memberDn);

    /**
     * Writes one text attribute of a group.
     *
     * @param groupName the group in any accepted form
     * @param attribute the attribute's LDAP name
     * @param value the new value
     * @return 0, or the failure; 0x80070006 when the settings cannot be read
     */
    public native int wSetGroupAttributeString(String groupName, String attribute, String value);

    /**
     * Reads one text attribute of a group.
     *
     * @param groupName the group in any accepted form
     * @param attribute the attribute's LDAP name
     * @return the value; an empty text and the failure (8255 when it is not text); null when the
     *     settings cannot be read
     */
    public native ResultMessage wGetGroupAttributeString(String groupName, String attribute);

    /**
     * Writes one 32-bit integer attribute of a group, e.g. {@code groupType}.
     *
     * @param groupName the group in any accepted form
     * @param attribute the attribute's LDAP name
     * @param value the new value
     * @return 0, or the failure; 0x80070006 when the settings cannot be read
     */
    public native int wSetGroupAttributeInt(String groupName, String attribute, int value);

    /**
     * Reads one 32-bit integer attribute of a group.
     *
     * @param groupName the group in any accepted form
     * @param attribute the attribute's LDAP name
     * @return the value; 0 and the failure (8255 when it is not an integer); null when the
     *     settings cannot be read
     */
    public native ResultIntegerValue wGetGroupAttributeInt(String groupName, String attribute);

    /**
     * Changes a multi-valued attribute of a group, e.g. adds members.
     *
     * @param groupName the group in any accepted form
     * @param attribute the attribute's LDAP name, e.g. {@code member}
     * @param values the values, in order; a null element is an empty value
     * @param controlCode 1 clear, 2 replace with these, 3 append these, 4 delete these
     * @return 0, or the failure; 0x80070006 when the settings cannot be read
     */
    public native int wSetGroupAttributeStringArray(String groupName, String attribute, String[] values, int controlCode);

    /**
     * Reads a multi-valued attribute of a group, e.g. its {@code member} list.
     *
     * @param groupName the group in any accepted form
     * @param attribute the attribute's LDAP name
     * @return the values as text; an empty list on failure; null when the settings cannot be read
     */
    public native ResultStringList wGetGroupAttributeStringArray(String groupName, String attribute);

    /**
     * The distinguished name of a user's primary group (the group whose {@code primaryGroupToken}
     * is the user's {@code primaryGroupID}, usually Domain Users).
     *
     * @param userName the user in any accepted form
     * @param domainName the user's domain, for a bare account name; may be empty
     * @return the group's distinguished name; an empty text and the failure; null when the
     *     settings cannot be read
     */
    public native ResultMessage wGetUserPrimaryGroup(String userName, String domainName);

    /**
     * The groups a user is a direct member of: its {@code memberOf} values and its primary group.
     *
     * @param userName the user in any accepted form
     * @param domainName the user's domain, for a bare account name; may be empty
     * @return distinguished names of the groups; on failure the status with the groups found
     *     before it; null when the settings cannot be read
     */
    public native ResultStringList wGetUserGroups(String userName, String domainName);

    /**
     * The groups a computer is a direct member of: its {@code memberOf} values and its primary group.
     *
     * @param machineDn distinguished name of the computer object
     * @return distinguished names of the groups; null when the settings cannot be read
     */
    public native ResultStringList wGetMachineGroups(String machineDn);

    /**
     * Reads one attribute of any object as text (numbers in decimal).
     *
     * @param dn distinguished name of the object
     * @param attribute the attribute's LDAP name
     * @return the value as text; an empty text and the failure; null when the settings cannot be read
     */
    public native ResultMessage wGetNodeAttributeString(String dn, String attribute);

    /**
     * Writes one text attribute of any object.
     *
     * @param dn distinguished name of the object
     * @param attribute the attribute's LDAP name
     * @param value the new value
     * @return 0, or the failure; 0x80070006 when the settings cannot be read
     */
    public native int wSetNodeAttributeString(String dn, String attribute, String value);

    /**
     * Reads a multi-valued attribute of any object.
     *
     * @param dn distinguished name of the object
     * @param attribute the attribute's LDAP name
     * @return the values as text; an empty list on failure; null when the settings cannot be read
     */
    public native ResultStringList wGetNodeAttributeStringArray(String dn, String attribute);

    /**
     * Changes a multi-valued attribute of any object.
     *
     * @param dn distinguished name of the object
     * @param attribute the attribute's LDAP name
     * @param values the values, in order; a null element is an empty value
     * @param controlCode 1 clear, 2 replace with these, 3 append these, 4 delete these
     * @return 0, or the failure; 0x80070006 when the settings cannot be read
     */
    public native int wSetNodeAttributeStringArray(String dn, String attribute, String[] values, int controlCode);

    /**
     * Reads one attribute of a deleted object (a tombstone, as {@link #wSearchDeletedNodes} lists).
     *
     * @param guid the deleted object's distinguished name as listed, or {@code <GUID=...>}
     * @param attribute the attribute's LDAP name, e.g. {@code lastKnownParent}
     * @return the value as text; an empty text and the failure; null when the settings cannot be read
     */
    public native ResultMessage wGetDeletedNodeAttributeString(String guid, String attribute);

    /**
     * The {@code objectGUID} of an object.
     *
     * @param dn distinguished name of the object
     * @return the GUID's 16 bytes as 32 lower-case hex digits, in stored byte order; an empty text
     *     and the failure; null when the settings cannot be read
     */
    public native ResultMessage wGetNodeGuid(String dn);

    /**
     * The distinguished name of an object's parent.
     *
     * @param dn distinguished name of the object
     * @return the parent's distinguished name; an empty text and the failure; null when the
     *     settings cannot be read
     */
    public native ResultMessage wGetParentNode(String dn);

    /**
     * The NetBIOS (pre-Windows 2000) name of a domain of the forest.
     *
     * @param dnsDomainName the domain's DNS name, e.g. {@code example.com}
     * @return the NetBIOS name, e.g. {@code EXAMPLE}; an empty text and the failure; null when the
     *     settings cannot be read
     */
    public native ResultMessage wGetNetbiosDomain(String dnsDomainName);

    /**
     * Whether an object is a container that may hold user accounts (its class may contain a class
     * with a mandatory {@code sAMAccountName}).
     *
     * @param dn distinguished name of the object
     * @return 0 when it is, 0x80004005 when it is not, another failure when it cannot be told;
     *     0 also when the settings cannot be read
     */
    public native int wIsUserContainerNode(String dn);

    /**
     * The children of an object that are containers that may hold user accounts.
     *
     * @param dn distinguished name of the parent
     * @return their distinguished names; on failure the status with the containers found before
     *     it; null when the settings cannot be read
     */
    public native ResultStringList wGetChildUserContainers(String dn);

    /**
     * Distinguished names of all objects below a base (subtree) that match an LDAP filter.
     *
     * @param baseDn distinguished name of the search base
     * @param filter an LDAP filter, e.g. {@code (&(objectClass=user)(sn=Smith))}
     * @return the names; 0x00005012 when none matches; 0x8007203E for a filter that is not valid;
     *     null when the settings cannot be read
     */
    public native ResultStringList wSearchNodes(String baseDn, String filter);

    /**
     * Distinguished names of the domain's deleted objects that match an LDAP filter.
     *
     * @param filter an LDAP filter, e.g. {@code (isDeleted=TRUE)}
     * @return the names (for {@link #wGetDeletedNodeAttributeString}); null when the settings
     *     cannot be read
     */
    public native ResultStringList wSearchDeletedNodes(String filter);

    /**
     * One attribute's value of each object below a base that matches an LDAP filter.
     *
     * @param baseDn distinguished name of the search base
     * @param attribute the attribute's LDAP name
     * @param filter an LDAP filter
     * @param sizeLimit most objects to return; 0 for the server's limit (negative is refused with
     *     0x80005011)
     * @param timeLimit most seconds the server may search; 0 for the server's limit
     * @return the values, one per matching object that has one; on failure the status with the
     *     values read before it; null when the settings cannot be read
     */
    public native ResultStringList wFindNodeValues(String baseDn, String attribute, String filter, int sizeLimit, int timeLimit);

    /**
     * Several attributes of the first object below a base that matches an LDAP filter.
     *
     * @param baseDn distinguished name of the search base
     * @param filter an LDAP filter
     * @param attributes the attributes' LDAP names
     * @return one name/value pair per attribute, in the order given; an empty array and the
     *     failure; null when the settings cannot be read
     */
    public native ResultArrayNameValue wGetNodeAttributes(String baseDn, String filter, String[] attributes);

    /**
     * Which of some access rights the bind account (or the process's identity) holds on an object,
     * decided from the object's security descriptor and the account's groups.
     *
     * @param dn distinguished name of the object
     * @param desiredAccess the rights asked for, as bits: create child 0x1, delete child 0x2, list
     *     0x4, self 0x8, read property 0x10, write property 0x20, delete tree 0x40, list object
     *     0x80, control access 0x100, delete 0x10000, read control 0x20000, write DAC 0x40000,
     *     write owner 0x80000, generic rights (0x10000000 all, 0x20000000 execute, 0x40000000
     *     write, 0x80000000 read), or 0x02000000 for all rights granted
     * @return the status of the check (0 when it ran, whatever it granted), the rights granted and
     *     the access status (0 when every right asked for is granted, 5 when not)
     */
    public native ResultCheckAccess wCheckNodeAccess(String dn, int desiredAccess);

    /**
     * Whether an account's password is right; the bind account is not used, only the server or
     * domain of the settings.
     *
     * @param userName the account ({@code user}, {@code user@domain} or <code>DOMAIN&#92;user</code>)
     * @param password the password to check; empty is always refused
     * @param domainName the account's domain; may be empty
     * @return 0 when it is right, 0x8007052E when it is wrong or the account unknown, or the
     *     account's state (0x80070775 locked, 0x80070533 disabled, 0x80070532 expired password);
     *     0x80070006 when the settings cannot be read
     */
    public native int wVerifyPassword(String userName, String password, String domainName);
}
