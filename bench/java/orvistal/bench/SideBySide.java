package orvistal.bench;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicLong;
import javax.naming.NamingException;
import javax.naming.directory.Attributes;
import javax.naming.directory.BasicAttributes;
import javax.naming.directory.SearchControls;
import javax.naming.ldap.BasicControl;
import javax.naming.ldap.Control;
import kestrivane.qom.result.ResultArrayNameValue;
import kestrivane.qom.result.ResultBooleanValue;
import kestrivane.qom.result.ResultCheckAccess;
import kestrivane.qom.result.ResultIntegerValue;
import kestrivane.qom.result.ResultLargeIntegerValue;
import kestrivane.qom.result.ResultMessage;
import kestrivane.qom.result.ResultStringList;
import kestrivane.qom.userstoreproxy.multidomain.Orvistal;

/**
 * The JVM side of the side-by-side benchmark: each native of the real library called warm from
 * Java, beside the same job done with JNDI and its connection pool; then throughput with 1, 8
 * and 32 threads. Prints tab-separated lines for bench/merge_tables.py:
 * "library|jndi, case, median ms, p90 ms, calls" and
 * "throughput, library|jndi, case, threads, calls/s, calls". Case names as arguments: only those. With
 * the floor program named (-Dorvistal.bench.floor=...), each case's floor runs just before it.
 *
 * A new native: one row in libraryCases() and one in jndiCases(), named as in the floor's table.
 */
public final class SideBySide {
    static final int WARM_UP_CALLS = 20;
    static final int WARM_UP_CALLS_MAX = 1000;
    static final long WARM_UP_NANOS = 1_000_000_000L;
    static final int TIMED_CALLS = 300;
    static final long CASE_BUDGET_NANOS = 30_000_000_000L;
    static final int[] THREAD_COUNTS = {1, 8, 32};
    static final long THROUGHPUT_NANOS = 2_000_000_000L;
    static final long FLOOR_LIMIT_SECONDS = 120;
    static final int ATTEMPTS = 3;
    static final long RETRY_PAUSE_MILLIS = 15_000;
    static final long THROUGHPUT_MAX_CALLS_PER_THREAD = 100_000;
    /** How many calls warm a case up (at least) and how many are timed at most. */
    record Rounds(int warmUps, int timed) {}

    static final Rounds ORDINARY = new Rounds(WARM_UP_CALLS, TIMED_CALLS);
    /** A search of the 10,000 contacts: a second or more a call. */
    static final Rounds LARGE = new Rounds(3, TIMED_CALLS);
    /** The bulk job: many seconds a call. */
    static final Rounds BULK = new Rounds(1, 3);
    /**
     * The cases whose throughput is measured: every pooled read and the login check (not the
     * writes, and not the jobs over the large sets, a second or more a call).
     */
    static final List<String> THROUGHPUT_CASES = List.of("wGetUserDsn bare", "wGetUserDsn NT4", "wGetUserDsn UPN",
            "wGetUserDsn DN", "wTranslateName NT4>DN", "wGetGroupDsn bare", "wGetGroupDsn DN", "wVerifyPassword",
            "wIsUserContainerNode", "wGetChildUserContainers", "wGetUserAttributeString DN",
            "wGetUserAttributeStringArray DN", "wGetUserAttributeLargeInt DN", "wGetUserAttributeInt DN",
            "wGetGroupAttributeString DN", "wGetGroupAttributeInt DN", "wGetGroupAttributeStringArray DN",
            "wIsGroupNode", "wIsUserNode", "wGetNodeAttributeString", "wGetNodeAttributeStringArray",
            "wGetDeletedNodeAttributeString", "wGetNodeGuid", "wGetParentNode", "wCheckNodeAccess", "wSearchNodes",
            "wSearchDeletedNodes", "wFindNodeValues", "wGetNodeAttributes", "wGetNetbiosDomain", "wIsMemberOf",
            "wGetUserPrimaryGroup", "wGetUserGroups", "wGetMachineGroups");

    static final String SERVER = env("ORVISTAL_TEST_SERVER");
    static final String DOMAIN = env("ORVISTAL_TEST_DOMAIN");
    static final String NETBIOS = env("ORVISTAL_TEST_NETBIOS");
    static final String BASE = env("ORVISTAL_TEST_BASE_DN");
    static final String BIND_USER = env("ORVISTAL_TEST_BIND_USER");
    static final String BIND_PASSWORD = env("ORVISTAL_TEST_BIND_PASSWORD");
    static final String ADMIN_USER = env("ORVISTAL_TEST_ADMIN_USER");
    static final String ADMIN_PASSWORD = env("ORVISTAL_TEST_ADMIN_PASSWORD");
    static final String ORVISTAL_OU = "OU=Orvistal," + BASE;
    static final String PEOPLE = "OU=People," + ORVISTAL_OU;
    static final String ALICE = "CN=Alice Liddell," + PEOPLE;
    static final String ALICE_PASSWORD = "Alice.Pw.123";
    static final String G_DEVS = "CN=g-devs,OU=Groups," + ORVISTAL_OU;
    static final String G_DIST = "CN=g-dist,OU=Groups," + ORVISTAL_OU;
    static final String WANDA = "CN=Wanda Writable,OU=Delegated," + ORVISTAL_OU;
    static final String WS01 = "CN=WS01,OU=Machines," + ORVISTAL_OU;
    static final String DOMAIN_USERS = "CN=Domain Users,CN=Users," + BASE;
    static final String DOMAIN_COMPUTERS = "CN=Domain Computers,CN=Users," + BASE;
    static final int READ_PROPERTY = 0x10;
    static final int DN_NAME = 1;
    static final int NT4_NAME = 3;
    static final int SUBTREE = SearchControls.SUBTREE_SCOPE;
    static final int ONE_LEVEL = SearchControls.ONELEVEL_SCOPE;
    static final int OBJECT = SearchControls.OBJECT_SCOPE;
    static final String SHOW_DELETED_OID = JndiUserStore.SHOW_DELETED_OID;
    // The benchmarks' own objects (bench/bench_objects.h; bench_seed makes them).
    static final String PROGRAM_DATA = "CN=Program Data," + BASE;
    static final String CONTACTS = "CN=orvistal-bench," + PROGRAM_DATA;
    static final int CONTACT_COUNT = 10_000;
    static final String BULK_USERS = "CN=orvistal-bench-users," + PROGRAM_DATA;
    static final int BULK_USER_COUNT = 10_000;
    static final String WRITABLES = "CN=orvistal-bench-writes," + PROGRAM_DATA;
    static final String WRITABLE_USER = "CN=orvb-user," + WRITABLES;
    static final String WRITABLE_USER_PASSWORD = "Bench.User.Pw1";
    static final String CHANGING_USER = "CN=orvb-change," + WRITABLES;
    static final String CHANGING_USER_PASSWORD = "Bench.Change.Pw0";
    static final String WRITABLE_GROUP = "CN=orvb-group," + WRITABLES;
    static final String WRITABLE_NODE = "CN=orvb-node," + WRITABLES;
    static final int SEARCH_PAGE_SIZE = 100;
    static final int UPDATE = 2;
    static final String[] BULK_ATTRIBUTES =
            {"mail", "description", "otherTelephone", "userAccountControl", "accountExpires"};

    /** One call of a case; true when it did its job. */
    interface Call {
        boolean run() throws Exception;
    }

    /**
     * One case: before and after (null: none) run untimed around each call, so that each call of
     * a pair (an add, a delete) is timed alone.
     */
    record Case(String name, Call call, Call before, Call after, Rounds rounds) {
        Case(String name, Call call) {
            this(name, call, null, null, ORDINARY);
        }

        Case(String name, Call call, Rounds rounds) {
            this(name, call, null, null, rounds);
        }

        void untimed(Call step) throws Exception {
            if (step != null && !step.run()) throw new IllegalStateException(name + ": an untimed step failed");
        }
    }

    /** The benchmarks' objects the writing cases change, and what the cases share of them. */
    static final class Writables {
        final JndiUserStore admin;
        private final AtomicLong count = new AtomicLong();
        private final String prefix = "orvb-j" + ProcessHandle.current().pid() % 100_000 + "-";
        private String changingPassword;
        private String tombstone;
        String added;

        Writables(JndiUserStore admin) {
            this.admin = admin;
        }

        /** The writes alternate between two values, so that each one changes the entry. */
        boolean nextTurn() {
            return count.incrementAndGet() % 2 == 1;
        }

        String alternateText() {
            return nextTurn() ? "bench a" : "bench b";
        }

        /** A new account name (at most 20 characters) and the DN the add gives it. */
        String nextAccount() {
            String name = prefix + count.incrementAndGet();
            added = "CN=" + name + "," + WRITABLES;
            return name;
        }

        /** As a new account is made: disabled, with its account and principal names. */
        boolean addAccount() throws NamingException {
            String name = nextAccount();
            BasicAttributes attributes = new BasicAttributes(true);
            attributes.put("objectClass", "user");
            attributes.put("sAMAccountName", name);
            attributes.put("userAccountControl", "514");
            attributes.put("userPrincipalName", name + "@" + DOMAIN);
            admin.add(added, attributes);
            return true;
        }

        boolean deleteAdded() throws NamingException {
            admin.delete(added);
            return true;
        }

        /**
         * The changing user's password now, and the next one, one the account never had (its history
         * is kept); the first use of a run gives it its known password.
         */
        String changingPassword() throws NamingException {
            if (changingPassword == null) {
                admin.replace(CHANGING_USER, "unicodePwd", (Object) JndiUserStore.unicodePwd(CHANGING_USER_PASSWORD));
                changingPassword = CHANGING_USER_PASSWORD;
            }
            return changingPassword;
        }

        String nextPassword() {
            return "Bench.Jvm." + ProcessHandle.current().pid() + "." + count.incrementAndGet();
        }

        void changedTo(String password) {
            changingPassword = password;
        }

        /** The tombstone of the seeded deleted-user, found once. */
        String tombstone() throws NamingException {
            if (tombstone == null) {
                Control[] showDeleted = {new BasicControl(SHOW_DELETED_OID, true, null)};
                tombstone = admin.searchResults("CN=Deleted Objects," + BASE, ONE_LEVEL,
                        "(sAMAccountName=deleted-user)", showDeleted, "1.1").get(0).getNameInNamespace();
            }
            return tombstone;
        }
    }

    /** The user's own password change, by the library or by JNDI, from the password it has now. */
    static boolean changePassword(Writables w, PasswordChange change) throws Exception {
        String current = w.changingPassword();
        String next = w.nextPassword();
        if (!change.run(current, next)) return false;
        w.changedTo(next);
        return true;
    }

    interface PasswordChange {
        boolean run(String oldPassword, String newPassword) throws Exception;
    }

    static List<String> bulkUserDns() {
        List<String> dns = new ArrayList<>();
        for (int i = 0; i < BULK_USER_COUNT; ++i) dns.add(String.format("CN=orvb-u-%05d,%s", i, BULK_USERS));
        return dns;
    }

    static String env(String name) {
        String value = System.getenv(name);
        if (value == null || value.isEmpty()) {
            throw new IllegalStateException(name + " is not set: run with the test directory's environment");
        }
        return value;
    }

    /** A wrong answer ends the case with what came back. */
    static boolean some(ResultStringList result) {
        if (result.getErrCode() == 0 && result.getStringList().length > 0) return true;
        throw new IllegalStateException(String.format("status 0x%08x, %d values", result.getErrCode(),
                result.getStringList().length));
    }

    static boolean is(ResultMessage result, String expected) {
        if (result.getErrCode() == 0 && expected.equals(result.getMessage())) return true;
        throw new IllegalStateException(
                String.format("status 0x%08x, \"%s\"", result.getErrCode(), result.getMessage()));
    }

    static boolean ok(int status) {
        if (status == 0) return true;
        throw new IllegalStateException(String.format("status 0x%08x", status));
    }

    static boolean is(ResultIntegerValue result, int expected) {
        if (result.getErrCode() == 0 && result.getValue() == expected) return true;
        throw new IllegalStateException(String.format("status 0x%08x, %d", result.getErrCode(), result.getValue()));
    }

    static boolean count(ResultStringList result, int expected) {
        if (result.getErrCode() == 0 && result.getStringList().length == expected) return true;
        throw new IllegalStateException(String.format("status 0x%08x, %d values", result.getErrCode(),
                result.getStringList().length));
    }

    /** The five attributes of a user through the attribute natives, as a bulk job reads them. */
    static boolean readBulkUser(Orvistal library, String dn) {
        return library.wGetUserAttributeString(dn, null, "mail").getErrCode() == 0
                && library.wGetUserAttributeString(dn, null, "description").getErrCode() == 0
                && library.wGetUserAttributeStringArray(dn, null, "otherTelephone").getStringList().length == 2
                && library.wGetUserAttributeInt(dn, null, "userAccountControl").getErrCode() == 0
                && library.wGetUserAttributeLargeInt(dn, null, "accountExpires").getErrCode() == 0;
    }

    /** The library's cases: reads bound as the bind account, writes as an administrator (admin). */
    static List<Case> libraryCases(Orvistal library, Orvistal admin, Writables w) {
        List<String> bulkUsers = bulkUserDns();
        return List.of(
                new Case("wInit", () -> library.wInit() == 0),
                new Case("wGetUserDsn bare", () -> is(library.wGetUserDsn("alice", null), ALICE)),
                new Case("wGetUserDsn NT4", () -> is(library.wGetUserDsn(NETBIOS + "\\alice", null), ALICE)),
                new Case("wGetUserDsn UPN", () -> is(library.wGetUserDsn("alice@" + DOMAIN, null), ALICE)),
                new Case("wGetUserDsn DN", () -> is(library.wGetUserDsn(ALICE, null), ALICE)),
                new Case("wTranslateName NT4>DN",
                        () -> is(library.wTranslateName(NETBIOS + "\\alice", NT4_NAME, DN_NAME), ALICE)),
                new Case("wGetGroupDsn bare", () -> is(library.wGetGroupDsn("g-devs"), G_DEVS)),
                new Case("wGetGroupDsn DN", () -> is(library.wGetGroupDsn(G_DEVS), G_DEVS)),
                new Case("wVerifyPassword", () -> library.wVerifyPassword("alice@" + DOMAIN, ALICE_PASSWORD, "") == 0),
                new Case("wIsUserContainerNode", () -> library.wIsUserContainerNode(PEOPLE) == 0),
                new Case("wGetChildUserContainers", () -> {
                    ResultStringList children = library.wGetChildUserContainers(ORVISTAL_OU);
                    return children.getErrCode() == 0 && children.getStringList().length > 0;
                }),
                new Case("wGetUserAttributeString DN",
                        () -> is(library.wGetUserAttributeString(ALICE, null, "mail"), "alice@" + DOMAIN)),
                new Case("wGetUserAttributeStringArray DN", () -> {
                    ResultStringList phones = library.wGetUserAttributeStringArray(ALICE, null, "otherTelephone");
                    return phones.getErrCode() == 0 && phones.getStringList().length == 3;
                }),
                new Case("wGetUserAttributeLargeInt DN", () -> {
                    ResultLargeIntegerValue expires = library.wGetUserAttributeLargeInt(ALICE, null, "accountExpires");
                    return expires.getErrCode() == 0 && expires.getLowPart() == -1
                            && expires.getHighPart() == 0x7FFFFFFF;
                }),
                new Case("wGetGroupAttributeString DN",
                        () -> is(library.wGetGroupAttributeString(G_DIST, "mail"), "g-dist@" + DOMAIN)),
                new Case("wGetUserAttributeInt DN",
                        () -> is(library.wGetUserAttributeInt(ALICE, null, "userAccountControl"), 512)),
                new Case("wGetGroupAttributeInt DN", () -> is(library.wGetGroupAttributeInt(G_DEVS, "groupType"),
                        -2147483646)),
                new Case("wGetGroupAttributeStringArray DN",
                        () -> count(library.wGetGroupAttributeStringArray(G_DEVS, "member"), 2)),
                new Case("wSetUserAttributeString DN",
                        () -> ok(admin.wSetUserAttributeString(WRITABLE_USER, null, "description", w.alternateText()))),
                new Case("wSetUserAttributeInt DN", () -> ok(admin.wSetUserAttributeInt(WRITABLE_USER, null,
                        "orvistalNumbers", w.nextTurn() ? 1 : 2))),
                new Case("wSetUserAttributeLargeInt DN", () -> {
                    boolean first = w.nextTurn();
                    return ok(admin.wSetUserAttributeLargeInt(WRITABLE_USER, null, "orvistalCounter", first ? 2 : -1,
                            first ? 1 : -1));
                }),
                new Case("wSetUserAttributeStringArray DN", () -> ok(admin.wSetUserAttributeStringArray(WRITABLE_USER,
                        null, "orvistalTags", new String[] {w.nextTurn() ? "one" : "three", "two"}, UPDATE))),
                new Case("wSetGroupAttributeString DN",
                        () -> ok(admin.wSetGroupAttributeString(WRITABLE_GROUP, "description", w.alternateText()))),
                new Case("wSetGroupAttributeInt DN", () -> ok(admin.wSetGroupAttributeInt(WRITABLE_GROUP, "groupType",
                        w.nextTurn() ? -2147483640 : -2147483646))),
                new Case("wSetGroupAttributeStringArray DN", () -> ok(admin.wSetGroupAttributeStringArray(
                        WRITABLE_GROUP, "member", new String[] {w.nextTurn() ? WRITABLE_USER : CHANGING_USER},
                        UPDATE))),
                new Case("wSetNodeAttributeString",
                        () -> ok(admin.wSetNodeAttributeString(WRITABLE_NODE, "description", w.alternateText()))),
                new Case("wSetNodeAttributeStringArray", () -> ok(admin.wSetNodeAttributeStringArray(WRITABLE_NODE,
                        "otherTelephone", new String[] {w.nextTurn() ? "+1 555 0100" : "+1 555 0102", "+1 555 0101"},
                        UPDATE))),
                new Case("wAddUser", () -> ok(admin.wAddUser(w.nextAccount(), WRITABLES)), null, w::deleteAdded,
                        ORDINARY),
                new Case("wDeleteUser DN", () -> ok(admin.wDeleteUser(w.added, null)), w::addAccount, null, ORDINARY),
                new Case("wResetPassword DN",
                        () -> ok(admin.wResetPassword(WRITABLE_USER, WRITABLE_USER_PASSWORD, null))),
                new Case("wUnlockAccount DN", () -> ok(admin.wUnlockAccount(WRITABLE_USER, null))),
                new Case("wChangePassword", () -> changePassword(w,
                        (oldPassword, newPassword) -> ok(library.wChangePassword("orvb-change", oldPassword,
                                newPassword, DOMAIN)))),
                new Case("wIsGroupNode", () -> library.wIsGroupNode(G_DEVS) == 0),
                new Case("wIsUserNode", () -> library.wIsUserNode(ALICE) == 0),
                new Case("wGetNodeAttributeString", () -> is(library.wGetNodeAttributeString(ALICE, "mail"), "alice@" + DOMAIN)),
                new Case("wGetNodeAttributeStringArray",
                        () -> count(library.wGetNodeAttributeStringArray(ALICE, "otherTelephone"), 3)),
                new Case("wGetDeletedNodeAttributeString",
                        () -> is(admin.wGetDeletedNodeAttributeString(w.tombstone(), "sAMAccountName"),
                                "deleted-user")),
                new Case("wGetNodeGuid", () -> library.wGetNodeGuid(ALICE).getMessage().length() == 32),
                new Case("wGetParentNode", () -> is(library.wGetParentNode(ALICE), PEOPLE)),
                new Case("wCheckNodeAccess", () -> {
                    ResultCheckAccess access = library.wCheckNodeAccess(WANDA, READ_PROPERTY);
                    return access.getErrCode() == 0 && access.getAccessStatus() == 0
                            && access.getGrantedAccess() == READ_PROPERTY;
                }),
                new Case("wSearchNodes", () -> some(library.wSearchNodes(PEOPLE, "(objectClass=user)"))),
                new Case("wSearchNodes 10,000 entries",
                        () -> count(library.wSearchNodes(CONTACTS, "(objectClass=contact)"), CONTACT_COUNT), LARGE),
                new Case("wSearchDeletedNodes", () -> {
                    ResultStringList found = library.wSearchDeletedNodes("(sAMAccountName=orvistal-never-deleted)");
                    return found.getErrCode() == 0 && found.getStringList().length == 0;
                }),
                new Case("wFindNodeValues",
                        () -> some(library.wFindNodeValues(PEOPLE, "cn", "(objectClass=user)", 100, 30))),
                new Case("wGetNodeAttributes", () -> {
                    ResultArrayNameValue values = library.wGetNodeAttributes(PEOPLE, "(sAMAccountName=alice)",
                            new String[] {"cn", "userPrincipalName"});
                    return values.getErrCode() == 0;
                }),
                new Case("wGetNetbiosDomain", () -> is(library.wGetNetbiosDomain(DOMAIN), NETBIOS)),
                new Case("wIsMemberOf", () -> {
                    ResultBooleanValue member = library.wIsMemberOf(G_DEVS, ALICE);
                    return member.getErrCode() == 0 && member.getValue();
                }),
                new Case("wGetUserPrimaryGroup", () -> is(library.wGetUserPrimaryGroup("alice", null), DOMAIN_USERS)),
                new Case("wGetUserGroups", () -> some(library.wGetUserGroups("alice", null))),
                new Case("wGetMachineGroups", () -> some(library.wGetMachineGroups(WS01))),
                new Case("bulk: 5 attributes of 10,000 users",
                        () -> bulkUsers.stream().allMatch(dn -> readBulkUser(library, dn)), BULK));
    }

    /** JNDI's cases: reads through the bind account's pool, writes through an administrator's (w.admin). */
    static List<Case> jndiCases(JndiUserStore jndi, Writables w) {
        List<String> bulkUsers = bulkUserDns();
        JndiUserStore admin = w.admin;
        // The DN of the one entry a subtree search of the domain finds, or null.
        interface Finder {
            String dnOf(String filter) throws Exception;
        }
        Finder find = filter -> jndi.searchOne(BASE, SUBTREE, filter, "distinguishedName");
        return List.of(
                new Case("wInit", () -> jndi.readBase("", "1.1")),
                new Case("wGetUserDsn bare", () -> {
                    String dn = find.dnOf("(&(objectClass=user)(sAMAccountName=alice))");
                    return ALICE.equals(dn) && jndi.readBase(dn, "userPrincipalName");
                }),
                new Case("wGetUserDsn NT4", () -> ALICE.equals(find.dnOf("(sAMAccountName=alice)"))),
                new Case("wGetUserDsn UPN", () -> ALICE.equals(find.dnOf("(userPrincipalName=alice@" + DOMAIN + ")"))),
                new Case("wGetUserDsn DN", () -> jndi.readBase(ALICE, "userPrincipalName")),
                new Case("wTranslateName NT4>DN", () -> ALICE.equals(find.dnOf("(sAMAccountName=alice)"))),
                new Case("wGetGroupDsn bare",
                        () -> G_DEVS.equals(find.dnOf("(&(objectClass=group)(sAMAccountName=g-devs))"))),
                new Case("wGetGroupDsn DN", () -> jndi.readBase(G_DEVS, "objectClass")),
                new Case("wVerifyPassword", () -> jndi.verify("alice@" + DOMAIN, ALICE_PASSWORD)),
                new Case("wIsUserContainerNode", () -> jndi.readBase(PEOPLE, "objectClass")),
                new Case("wGetChildUserContainers",
                        () -> !jndi.search(ORVISTAL_OU, ONE_LEVEL, "(objectClass=*)", "objectClass").isEmpty()),
                new Case("wGetUserAttributeString DN", () -> jndi.readBase(ALICE, "mail")),
                new Case("wGetUserAttributeStringArray DN", () -> jndi.readBase(ALICE, "otherTelephone")),
                new Case("wGetUserAttributeLargeInt DN", () -> jndi.readBase(ALICE, "accountExpires")),
                new Case("wGetGroupAttributeString DN", () -> jndi.readBase(G_DIST, "mail")),
                new Case("wGetUserAttributeInt DN", () -> jndi.readBase(ALICE, "userAccountControl")),
                new Case("wGetGroupAttributeInt DN", () -> jndi.readBase(G_DEVS, "groupType")),
                new Case("wGetGroupAttributeStringArray DN", () -> jndi.readBase(G_DEVS, "member")),
                new Case("wSetUserAttributeString DN", () -> replaced(admin, WRITABLE_USER, "description",
                        w.alternateText())),
                new Case("wSetUserAttributeInt DN", () -> replaced(admin, WRITABLE_USER, "orvistalNumbers",
                        w.nextTurn() ? "1" : "2")),
                new Case("wSetUserAttributeLargeInt DN", () -> replaced(admin, WRITABLE_USER, "orvistalCounter",
                        w.nextTurn() ? "4294967298" : "-1")),
                new Case("wSetUserAttributeStringArray DN", () -> replaced(admin, WRITABLE_USER, "orvistalTags",
                        w.nextTurn() ? "one" : "three", "two")),
                new Case("wSetGroupAttributeString DN", () -> replaced(admin, WRITABLE_GROUP, "description",
                        w.alternateText())),
                new Case("wSetGroupAttributeInt DN", () -> replaced(admin, WRITABLE_GROUP, "groupType",
                        w.nextTurn() ? "-2147483640" : "-2147483646")),
                new Case("wSetGroupAttributeStringArray DN", () -> replaced(admin, WRITABLE_GROUP, "member",
                        w.nextTurn() ? WRITABLE_USER : CHANGING_USER)),
                new Case("wSetNodeAttributeString", () -> replaced(admin, WRITABLE_NODE, "description",
                        w.alternateText())),
                new Case("wSetNodeAttributeStringArray", () -> replaced(admin, WRITABLE_NODE, "otherTelephone",
                        w.nextTurn() ? "+1 555 0100" : "+1 555 0102", "+1 555 0101")),
                new Case("wAddUser", w::addAccount, null, w::deleteAdded, ORDINARY),
                new Case("wDeleteUser DN", w::deleteAdded, w::addAccount, null, ORDINARY),
                new Case("wResetPassword DN", () -> replaced(admin, WRITABLE_USER, "unicodePwd",
                        JndiUserStore.unicodePwd(WRITABLE_USER_PASSWORD))),
                new Case("wUnlockAccount DN", () -> replaced(admin, WRITABLE_USER, "lockoutTime", "0")),
                new Case("wChangePassword", () -> changePassword(w, (oldPassword, newPassword) -> {
                    jndi.changePassword("orvb-change@" + DOMAIN, CHANGING_USER, oldPassword, newPassword);
                    return true;
                })),
                new Case("wIsGroupNode", () -> jndi.readBase(G_DEVS, "objectClass")),
                new Case("wIsUserNode", () -> jndi.readBase(ALICE, "objectClass")),
                new Case("wGetNodeAttributeString", () -> jndi.readBase(ALICE, "mail")),
                new Case("wGetNodeAttributeStringArray", () -> jndi.readBase(ALICE, "otherTelephone")),
                new Case("wGetDeletedNodeAttributeString",
                        () -> "deleted-user".equals(admin.readDeleted(w.tombstone(), "sAMAccountName"))),
                new Case("wGetNodeGuid", () -> jndi.readBase(ALICE, "objectGUID")),
                new Case("wGetParentNode", () -> jndi.readBase(ALICE, "objectClass")),
                new Case("wCheckNodeAccess", () -> {
                    // The descriptor, then the bind account's SID and groups: a token's makings.
                    String account = jndi.searchOne(BASE, SUBTREE, "(userPrincipalName=" + BIND_USER + ")",
                            "objectSid");
                    return jndi.readSecurity(WANDA) && account != null && jndi.readBase(account, "tokenGroups");
                }),
                new Case("wSearchNodes", () -> !jndi.search(PEOPLE, SUBTREE, "(objectClass=user)", "distinguishedName")
                        .isEmpty()),
                new Case("wSearchNodes 10,000 entries",
                        () -> jndi.pagedCount(CONTACTS, "(objectClass=contact)", SEARCH_PAGE_SIZE) == CONTACT_COUNT,
                        LARGE),
                new Case("wSearchDeletedNodes", () -> {
                    Control[] showDeleted = {new BasicControl(SHOW_DELETED_OID, true, null)};
                    return jndi.searchEntries("CN=Deleted Objects," + BASE, SUBTREE,
                            "(sAMAccountName=orvistal-never-deleted)", showDeleted, "distinguishedName").isEmpty();
                }),
                new Case("wFindNodeValues",
                        () -> !jndi.searchEntries(PEOPLE, SUBTREE, "(objectClass=user)", null, "cn").isEmpty()),
                new Case("wGetNodeAttributes", () -> jndi.searchEntries(PEOPLE, SUBTREE, "(sAMAccountName=alice)", null,
                        "cn", "userPrincipalName").size() == 1),
                new Case("wGetNetbiosDomain", () -> jndi.searchEntries("CN=Partitions,CN=Configuration," + BASE,
                        ONE_LEVEL, "(&(objectClass=crossRef)(dnsRoot=" + DOMAIN + ")(nETBIOSName=*))", null,
                        "nETBIOSName").size() == 1),
                new Case("wIsMemberOf", () -> jndi.compare(G_DEVS, "member", ALICE)),
                new Case("wGetUserPrimaryGroup", () -> DOMAIN_USERS.equals(primaryGroupOf(jndi, BASE, SUBTREE,
                        "(&(objectClass=user)(sAMAccountName=alice))"))),
                new Case("wGetUserGroups", () -> DOMAIN_USERS.equals(primaryGroupOf(jndi, BASE, SUBTREE,
                        "(&(objectClass=user)(sAMAccountName=alice))"))),
                new Case("wGetMachineGroups",
                        () -> DOMAIN_COMPUTERS.equals(primaryGroupOf(jndi, WS01, OBJECT, "(objectClass=*)"))),
                new Case("bulk: 5 attributes of 10,000 users", () -> {
                    for (String dn : bulkUsers) {
                        if (jndi.readAttributes(dn, BULK_ATTRIBUTES).get("mail") == null) return false;
                    }
                    return true;
                }, BULK));
    }

    static boolean replaced(JndiUserStore admin, String dn, String attribute, Object... values)
            throws NamingException {
        admin.replace(dn, attribute, values);
        return true;
    }

    /**
     * An account read with its SID, primary group and memberOf in one search, then its primary
     * group: the group whose SID is the account's domain part and the primaryGroupID.
     */
    static String primaryGroupOf(JndiUserStore jndi, String base, int scope, String filter) throws Exception {
        List<Attributes> found =
                jndi.searchEntries(base, scope, filter, null, "objectSid", "primaryGroupID", "memberOf");
        if (found.size() != 1) return null;
        byte[] sid = (byte[]) found.get(0).get("objectSid").get();
        long rid = Long.parseLong((String) found.get(0).get("primaryGroupID").get());
        byte[] groupSid = Arrays.copyOf(sid, sid.length);
        for (int i = 0; i < 4; ++i) groupSid[sid.length - 4 + i] = (byte) (rid >> (8 * i));
        StringBuilder filterValue = new StringBuilder();
        for (byte b : groupSid) filterValue.append(String.format("\\%02x", b & 0xFF));
        return jndi.searchOne(BASE, SUBTREE, "(&(objectClass=group)(objectSid=" + filterValue + "))",
                "distinguishedName");
    }

    static double percentile(double[] sorted, double fraction) {
        if (sorted.length == 0) return 0;
        int index = (int) Math.round(fraction * (sorted.length - 1));
        return sorted[Math.min(index, sorted.length - 1)];
    }

    /** Durations of one side's timed calls, in ms. */
    static final class Timings {
        final double[] durations = new double[TIMED_CALLS];
        int calls;
        boolean failed;

        /** One call of the case timed, its untimed steps around it. */
        void time(Case c) throws Exception {
            c.untimed(c.before());
            long start = System.nanoTime();
            boolean done = c.call().run();
            long end = System.nanoTime();
            if (!done) failed = true;
            durations[calls++] = (end - start) / 1e6;
            c.untimed(c.after());
        }

        void print(String kind, String name) {
            if (failed) {
                System.out.printf("%s\t%s\tFAILED%n", kind, name);
                return;
            }
            double[] sorted = Arrays.copyOf(durations, calls);
            Arrays.sort(sorted);
            System.out.printf("%s\t%s\t%.3f\t%.3f\t%d%n", kind, name, percentile(sorted, 0.5), percentile(sorted, 0.9),
                    calls);
        }
    }

    /**
     * The library and JNDI on one case, their calls taking turns so that both meet the same load
     * of the machine: a warm-up long enough for the JIT, then up to TIMED_CALLS timed calls each
     * within the case's time budget.
     */
    static boolean printLatency(Case library, Case jndi) {
        Timings libraryTimings = new Timings();
        Timings jndiTimings = new Timings();
        try {
            long warmUpStart = System.nanoTime();
            // Ordinary cases warm up for a second at least, long enough for the JIT.
            Rounds rounds = library.rounds();
            for (int i = 0; i < rounds.warmUps() || (ORDINARY.equals(rounds) && i < WARM_UP_CALLS_MAX
                    && System.nanoTime() - warmUpStart < WARM_UP_NANOS); ++i) {
                library.untimed(library.before());
                if (!library.call().run()) libraryTimings.failed = true;
                library.untimed(library.after());
                jndi.untimed(jndi.before());
                if (!jndi.call().run()) jndiTimings.failed = true;
                jndi.untimed(jndi.after());
            }
            long caseStart = System.nanoTime();
            while (libraryTimings.calls < rounds.timed() && System.nanoTime() - caseStart < CASE_BUDGET_NANOS
                    && !libraryTimings.failed && !jndiTimings.failed) {
                libraryTimings.time(library);
                jndiTimings.time(jndi);
            }
        } catch (Exception | LinkageError failure) {
            System.err.println(library.name() + ": " + failure);
            libraryTimings.failed = jndiTimings.failed = true;
        }
        libraryTimings.print("library", library.name());
        jndiTimings.print("jndi", jndi.name());
        return !libraryTimings.failed && !jndiTimings.failed;
    }

    /** Calls per second of `threads` threads calling the case for a bounded time and count. */
    static boolean printThroughput(String kind, Case c, int threads) throws InterruptedException {
        AtomicLong calls = new AtomicLong();
        AtomicBoolean failed = new AtomicBoolean();
        CountDownLatch start = new CountDownLatch(1);
        List<Thread> workers = new ArrayList<>();
        long[] window = new long[2];
        for (int t = 0; t < threads; ++t) {
            Thread worker = new Thread(() -> {
                try {
                    start.await();
                    long deadline = window[0] + THROUGHPUT_NANOS;
                    for (long i = 0; i < THROUGHPUT_MAX_CALLS_PER_THREAD && System.nanoTime() < deadline; ++i) {
                        if (!c.call().run()) {
                            if (!failed.getAndSet(true)) {
                                System.err.println(kind + " " + c.name() + ", " + threads + " threads: wrong answer");
                            }
                            return;
                        }
                        calls.incrementAndGet();
                    }
                } catch (Exception | LinkageError failure) {
                    if (!failed.getAndSet(true)) {
                        System.err.println(kind + " " + c.name() + ", " + threads + " threads: " + failure);
                    }
                }
            });
            worker.start();
            workers.add(worker);
        }
        window[0] = System.nanoTime();
        start.countDown();
        for (Thread worker : workers) worker.join();
        window[1] = System.nanoTime();
        if (failed.get()) {
            System.out.printf("throughput\t%s\t%s\t%d\tFAILED%n", kind, c.name(), threads);
            return false;
        }
        double seconds = (window[1] - window[0]) / 1e9;
        System.out.printf("throughput\t%s\t%s\t%d\t%.1f\t%d%n", kind, c.name(), threads, calls.get() / seconds,
                calls.get());
        return true;
    }

    public static void main(String[] args) throws Exception {
        JndiUserStore.enablePoolingOfLdaps();
        Orvistal.loadLibrary();
        Writables writables = new Writables(new JndiUserStore(SERVER, ADMIN_USER, ADMIN_PASSWORD));
        List<Case> library = libraryCases(new Orvistal(BIND_USER, BIND_PASSWORD, SERVER, true, null),
                new Orvistal(ADMIN_USER, ADMIN_PASSWORD, SERVER, true, null), writables);
        List<Case> jndi = jndiCases(new JndiUserStore(SERVER, BIND_USER, BIND_PASSWORD), writables);
        // Names given: only those cases.
        List<String> wanted = Arrays.asList(args);
        boolean allDone = true;
        for (Case c : library) {
            if (!wanted.isEmpty() && !wanted.contains(c.name())) continue;
            Case jndiCase = find(jndi, c.name());
            allDone &= withRetries(c.name(), () -> runFloor(c.name()) & printLatency(c, jndiCase));
        }
        for (String name : THROUGHPUT_CASES) {
            if (!wanted.isEmpty() && !wanted.contains(name)) continue;
            for (int threads : THREAD_COUNTS) {
                int count = threads;
                allDone &= withRetries(name, () -> printThroughput("library", find(library, name), count)
                        & printThroughput("jndi", find(jndi, name), count));
            }
        }
        System.exit(allDone ? 0 : 1);
    }

    /**
     * The floor program (system property orvistal.bench.floor) on one case, just before the
     * library and JNDI run it, so that all three meet the machine under much the same load; its
     * lines pass through.
     */
    static boolean runFloor(String name) throws IOException, InterruptedException {
        String floor = System.getProperty("orvistal.bench.floor");
        if (floor == null || floor.isEmpty()) return true;
        Process process = new ProcessBuilder(floor, name).redirectError(ProcessBuilder.Redirect.INHERIT).start();
        try (BufferedReader output =
                     new BufferedReader(new InputStreamReader(process.getInputStream(), StandardCharsets.UTF_8))) {
            output.lines().forEach(System.out::println);
        }
        if (!process.waitFor(FLOOR_LIMIT_SECONDS, TimeUnit.SECONDS)) {
            process.destroyForcibly();
            return false;
        }
        return process.exitValue() == 0;
    }

    /**
     * Runs a measurement again, after a pause, when it failed: the shared test directory may be
     * restarted by other tests for a few seconds. A later line of a case replaces its earlier one
     * in the merged table.
     */
    static boolean withRetries(String name, Call measurement) throws Exception {
        for (int attempt = 1; ; ++attempt) {
            if (measurement.run()) return true;
            if (attempt == ATTEMPTS) return false;
            System.err.println(name + ": measured again in " + RETRY_PAUSE_MILLIS / 1000 + " s");
            Thread.sleep(RETRY_PAUSE_MILLIS);
        }
    }

    static Case find(List<Case> cases, String name) {
        return cases.stream().filter(c -> c.name().equals(name)).findFirst()
                .orElseThrow(() -> new IllegalStateException("no case named " + name + " in both tables"));
    }
}
