package orvistal.demo;

import kestrivane.qom.userstoreproxy.multidomain.Orvistal;

/**
 * Shows what the library does against a directory: the connection settings come from the
 * environment (ORVISTAL_TEST_SERVER, ORVISTAL_TEST_DOMAIN, ORVISTAL_TEST_BIND_USER,
 * ORVISTAL_TEST_BIND_PASSWORD), as the throwaway test directory exports them.
 */
public final class Demo {
    private Demo() {}

    public static void main(String[] args) {
        Orvistal.loadLibrary();
        String server = System.getenv("ORVISTAL_TEST_SERVER");
        String domain = System.getenv("ORVISTAL_TEST_DOMAIN");
        String user = System.getenv("ORVISTAL_TEST_BIND_USER");
        String password = System.getenv("ORVISTAL_TEST_BIND_PASSWORD");

        System.out.println("Connection test (wInit), 0 means the directory accepted the settings:");
        show("bind account on " + server, new Orvistal(user, password, server, true, null).wInit());
        show("bind account on the domain " + domain, new Orvistal(user, password, null, false, domain).wInit());
        show("wrong password", new Orvistal(user, "wrong password", server, true, null).wInit());
        show("empty password (never an anonymous login)", new Orvistal(user, "", server, true, null).wInit());
        show("server that does not answer", new Orvistal(user, password, "127.0.0.2:1", true, null).wInit());

        showNames(new Orvistal(user, password, server, true, null), domain);
        showContainersAndAccess(new Orvistal(user, password, server, true, null), System.getenv("ORVISTAL_TEST_BASE_DN"));
        showGroupsAndSearch(new Orvistal(user, password, server, true, null), System.getenv("ORVISTAL_TEST_BASE_DN"),
                domain);
        showAttributes(new Orvistal(user, password, server, true, null), System.getenv("ORVISTAL_TEST_BASE_DN"));
        System.out.println();
        accountLifecycle(server, domain);
    }

    private static void showNames(Orvistal bound, String domain) {
        String netbios = bound.wGetNetbiosDomain(domain.toUpperCase()).getMessage();
        System.out.println();
        System.out.println("One account in every form it may be named (wGetUserDsn, wTranslateName, wGetGroupDsn):");
        showText("alice (bare account name)", bound.wGetUserDsn("alice", null));
        showText(netbios + "\\alice (NT4 name)", bound.wGetUserDsn(netbios + "\\alice", null));
        showText("alice@" + domain + " (principal name)", bound.wGetUserDsn("alice@" + domain, null));
        showText("an empty account in a domain names no one", bound.wGetUserDsn("", netbios));
        showText(netbios + "\\alice as a canonical name", bound.wTranslateName(netbios + "\\alice", 3, 2));
        showText("g-devs (a group's account name)", bound.wGetGroupDsn("g-devs"));
        showText("alice is no group", bound.wGetGroupDsn("alice"));
        showText("alice's primary group (wGetUserPrimaryGroup)", bound.wGetUserPrimaryGroup("alice", null));
        show("is g-devs a group? (wIsGroupNode: 0 yes)",
                bound.wIsGroupNode(bound.wGetGroupDsn("g-devs").getMessage()));
        System.out.println("Password checks (wVerifyPassword: 0 accepted, 0x8007052E a logon failure):");
        show("alice's password", bound.wVerifyPassword("alice", "Alice.Pw.123", domain));
        show("a wrong one", bound.wVerifyPassword("alice", "not her password", domain));
    }

    private static void showGroupsAndSearch(Orvistal bound, String baseDn, String domain) {
        String orvistal = "OU=Orvistal," + baseDn;
        String alice = "CN=Alice Liddell,OU=People," + orvistal;
        String groups = "OU=Groups," + orvistal;
        System.out.println();
        System.out.println("Group membership (wIsMemberOf): direct members and primary groups, no nesting:");
        showMember(bound, "CN=g-devs," + groups, alice, "alice in g-devs (listed member)");
        showMember(bound, "CN=g-staff," + groups, alice, "alice in g-staff (only through g-devs)");
        showMember(bound, "CN=Domain Users,CN=Users," + baseDn, alice, "alice in Domain Users (primary group)");
        System.out.println("  alice's groups, memberOf first, primary group last (wGetUserGroups):");
        for (String dn : bound.wGetUserGroups("alice", null).getStringList()) System.out.println("    " + dn);
        System.out.println("  WS01's groups (wGetMachineGroups):");
        for (String dn : bound.wGetMachineGroups("CN=WS01,OU=Machines," + orvistal).getStringList())
            System.out.println("    " + dn);

        System.out.println();
        System.out.println("NetBIOS name of " + domain + " (wGetNetbiosDomain): "
                + bound.wGetNetbiosDomain(domain.toUpperCase()).getMessage());
        kestrivane.qom.result.ResultStringList bulk =
                bound.wSearchNodes("OU=Bulk,OU=Orvistal", "(description=bulk user*)");
        System.out.printf("Search below a relative base, paged (wSearchNodes): %d names, status 0x%08X%n",
                bulk.getStringList().length, bulk.getErrCode());
        kestrivane.qom.result.ResultStringList limited =
                bound.wFindNodeValues("OU=Bulk," + orvistal, "cn", "(cn=bulk001*)", 3, 10);
        System.out.printf("Ten matches under a size limit of 3 (wFindNodeValues): %s, status 0x%08X%n",
                String.join(", ", limited.getStringList()), limited.getErrCode());
        System.out.println("Attributes of the first match, in the order asked (wGetNodeAttributes):");
        for (kestrivane.qom.result.NameValue pair : bound.wGetNodeAttributes(orvistal, "(sAMAccountName=alice)",
                new String[] {"displayName", "mail", "facsimileTelephoneNumber"}).getValues())
            System.out.printf("    %-26s '%s'%n", pair.getName(), pair.getValue());
        kestrivane.qom.result.ResultStringList deleted = bound.wSearchDeletedNodes("(isDeleted=TRUE)");
        System.out.printf("Tombstones the bind account may list (wSearchDeletedNodes): %d, status 0x%08X%n",
                deleted.getStringList().length, deleted.getErrCode());
    }

    private static void showMember(Orvistal bound, String group, String member, String what) {
        kestrivane.qom.result.ResultBooleanValue result = bound.wIsMemberOf(group, member);
        System.out.printf("  %-48s %-5b status 0x%08X%n", what, result.getValue(), result.getErrCode());
    }

    private static void showContainersAndAccess(Orvistal bound, String baseDn) {
        String orvistal = "OU=Orvistal," + baseDn;
        String people = "OU=People," + orvistal;
        System.out.println();
        System.out.println("Where user accounts can live, from the schema (wIsUserContainerNode: 0 yes, 0x80004005 no):");
        show(people, bound.wIsUserContainerNode(people));
        show("the user CN=Alice Liddell", bound.wIsUserContainerNode("CN=Alice Liddell," + people));
        System.out.println("  children of " + orvistal + " that can hold users (wGetChildUserContainers):");
        for (String dn : bound.wGetChildUserContainers(orvistal).getStringList()) System.out.println("    " + dn);

        System.out.println();
        System.out.println("The bind account's rights, evaluated locally from each object's descriptor (wCheckNodeAccess):");
        String delegated = "OU=Delegated," + orvistal;
        showAccess("read property on Wanda (delegated unit)", bound.wCheckNodeAccess("CN=Wanda Writable," + delegated, 0x10));
        showAccess("write property on Dennis (explicit deny)", bound.wCheckNodeAccess("CN=Dennis Denied," + delegated, 0x20));
        showAccess("GENERIC_READ on People", bound.wCheckNodeAccess(people, 0x80000000));
        showAccess("MAXIMUM_ALLOWED on People", bound.wCheckNodeAccess(people, 0x02000000));
    }

    private static void showAttributes(Orvistal bound, String baseDn) {
        String people = "OU=People,OU=Orvistal," + baseDn;
        String alice = "CN=Alice Liddell," + people;
        System.out.println();
        System.out.println("Attributes of a user named in any form, of a group and of any object:");
        showText("alice's mail (by account name)", bound.wGetUserAttributeString("alice", null, "mail"));
        showText("alice's country code (by principal name)",
                bound.wGetUserAttributeInt("alice@orvistal.test", null, "countryCode").getValue());
        var expires = bound.wGetUserAttributeLargeInt(alice, null, "accountExpires");
        showText("alice's accountExpires (low, high)", expires.getLowPart() + ", " + expires.getHighPart());
        showText("alice's other telephones",
                String.join(" | ", bound.wGetUserAttributeStringArray(alice, null, "otherTelephone").getStringList()));
        showText("g-dist's mail", bound.wGetGroupAttributeString("g-dist", "mail"));
        showText("g-dist's groupType", bound.wGetGroupAttributeInt("g-dist", "groupType").getValue());
        showText("g-devs' members",
                String.join(" | ", bound.wGetGroupAttributeStringArray("g-devs", "member").getStringList()));
        showText("alice's classes (any object)",
                String.join(", ", bound.wGetNodeAttributeStringArray(alice, "objectClass").getStringList()));
        showText("Orvistal OU's description (any object)",
                bound.wGetNodeAttributeString("OU=Orvistal," + baseDn, "description"));
        showText("alice's objectGUID as text", bound.wGetNodeAttributeString(alice, "objectGUID"));
        showText("alice's GUID", bound.wGetNodeGuid(alice));
        showText("parent of CN=Smith\\, Jo", bound.wGetParentNode("CN=Smith\\, Jo," + people));
        System.out.println("  writes the bind account may not make, and one the library refuses itself:");
        show("alice's description (no right)", bound.wSetUserAttributeString(alice, null, "description", "x"));
        show("an empty list written as a replace (never a clear)",
                bound.wSetNodeAttributeStringArray(alice, "otherTelephone", new String[0], 2));
    }

    private static void showText(String what, Object value) {
        if (value instanceof kestrivane.qom.result.ResultMessage message) {
            value = message.getErrCode() == 0 ? message.getMessage()
                    : String.format("status 0x%08X", message.getErrCode());
        }
        System.out.printf("  %-48s %s%n", what, value);
    }

    private static void showAccess(String what, kestrivane.qom.result.ResultCheckAccess result) {
        System.out.printf("  %-48s status 0x%08X granted 0x%08X access status %d%n", what, result.getErrCode(),
                result.getGrantedAccess(), result.getAccessStatus());
    }

    /** An account's life, as the administrator (ORVISTAL_TEST_ADMIN_USER) lives it. */
    private static void accountLifecycle(String server, String domain) {
        String adminUser = System.getenv("ORVISTAL_TEST_ADMIN_USER");
        String adminPassword = System.getenv("ORVISTAL_TEST_ADMIN_PASSWORD");
        String baseDn = System.getenv("ORVISTAL_TEST_BASE_DN");
        if (adminUser == null || baseDn == null) return;
        Orvistal admin = new Orvistal(adminUser, adminPassword, server, true, null);
        String people = "OU=People,OU=Orvistal," + baseDn;
        String name = "demo" + ProcessHandle.current().pid();
        String dn = "CN=" + name + "," + people;
        System.out.println("Account lifecycle (" + name + ", created disabled, principal name " + name + "@" + domain + "):");
        show("create it in " + people.substring(0, 20) + "...", admin.wAddUser(name, people));
        show("is it a user? (wIsUserNode)", admin.wIsUserNode(dn));
        show("a name holding \",OU=Groups\" is not a path", admin.wAddUser("x,OU=Groups", people));
        show("  so nothing appeared in OU=Groups", admin.wIsUserNode("CN=x,OU=Groups,OU=Orvistal," + baseDn));
        show("the same name again is refused", admin.wAddUser(name, people));
        show("reset its password", admin.wResetPassword(name, "Demo.Pw.2468", ""));
        show("a password the policy refuses", admin.wResetPassword(name, "short", ""));
        writeAttributes(admin, name, dn);
        show("enable it (userAccountControl 512)", admin.wSetUserAttributeInt(name, null, "userAccountControl", 512));
        showStatus("own change (wChangePassword: a network status)",
                new Orvistal().wChangePassword(name, "Demo.Pw.2468", "Demo.Pw.1357", domain));
        showStatus("own change, wrong old password",
                new Orvistal().wChangePassword(name, "Not.The.Old.1", "Demo.Pw.9753", domain));
        show("lift the lockout it may cause (wUnlockAccount)", admin.wUnlockAccount(name + "@" + domain, ""));
        show("delete it", admin.wDeleteUser(dn, ""));
        show("is it still there?", admin.wIsUserNode(dn));
        String[] tombstones = admin.wSearchDeletedNodes("(sAMAccountName=" + name + ")").getStringList();
        if (tombstones.length == 1) {
            showText("  its tombstone's last parent (wGetDeletedNodeAttributeString)",
                    admin.wGetDeletedNodeAttributeString(tombstones[0], "lastKnownParent"));
        }
    }

    /** Writes of every kind on the new account and on a group; the group's values are put back. */
    private static void writeAttributes(Orvistal admin, String name, String dn) {
        show("its description (wSetUserAttributeString)",
                admin.wSetUserAttributeString(name, null, "description", "demo"));
        show("its country code (wSetUserAttributeInt)", admin.wSetUserAttributeInt(name, null, "countryCode", 250));
        show("expires 2030-01-01 (wSetUserAttributeLargeInt)",
                admin.wSetUserAttributeLargeInt(dn, null, "accountExpires", 0xa005c000, 0x01e0f6c0));
        show("two telephones (wSetUserAttributeStringArray)",
                admin.wSetUserAttributeStringArray(dn, null, "otherTelephone",
                        new String[] {"+1 555 0100", "+1 555 0101"}, 2));
        show("its office (wSetNodeAttributeString)",
                admin.wSetNodeAttributeString(dn, "physicalDeliveryOfficeName", "B2"));
        show("a page (wSetNodeAttributeStringArray)",
                admin.wSetNodeAttributeStringArray(dn, "url", new String[] {"https://example.org/demo"}, 2));
        var expires = admin.wGetUserAttributeLargeInt(dn, null, "accountExpires");
        showText("  read back: description, country, office",
                admin.wGetUserAttributeString(name, null, "description").getMessage() + ", "
                        + admin.wGetUserAttributeInt(name, null, "countryCode").getValue() + ", "
                        + admin.wGetNodeAttributeString(dn, "physicalDeliveryOfficeName").getMessage());
        showText("  read back: expiry (low, high), telephones",
                expires.getLowPart() + ", " + expires.getHighPart() + ", " + String.join(" | ",
                        admin.wGetUserAttributeStringArray(name, null, "otherTelephone").getStringList()));
        String description = admin.wGetGroupAttributeString("g-dist", "description").getMessage();
        int groupType = admin.wGetGroupAttributeInt("g-dist", "groupType").getValue();
        show("g-dist's description (wSetGroupAttributeString)",
                admin.wSetGroupAttributeString("g-dist", "description", "demo"));
        show("its groupType, unchanged (wSetGroupAttributeInt)",
                admin.wSetGroupAttributeInt("g-dist", "groupType", groupType));
        show("the new account joins it (wSetGroupAttributeStringArray)",
                admin.wSetGroupAttributeStringArray("g-dist", "member", new String[] {dn}, 3));
        show("  and leaves it again", admin.wSetGroupAttributeStringArray("g-dist", "member", new String[] {dn}, 4));
        if (description.isEmpty()) {
            admin.wSetGroupAttributeStringArray("g-dist", "description", new String[0], 1);
        } else {
            admin.wSetGroupAttributeString("g-dist", "description", description);
        }
    }

    private static void show(String what, int status) {
        System.out.printf("  %-48s 0x%08X%n", what, status);
    }

    private static void showStatus(String what, int status) {
        System.out.printf("  %-48s %d%n", what, status);
    }
}
