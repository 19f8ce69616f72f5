package orvistal.bench;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Hashtable;
import java.util.List;
import java.util.stream.Collectors;
import javax.naming.Context;
import javax.naming.NamingEnumeration;
import javax.naming.NamingException;
import javax.naming.PartialResultException;
import javax.naming.directory.Attribute;
import javax.naming.directory.Attributes;
import javax.naming.directory.BasicAttribute;
import javax.naming.directory.DirContext;
import javax.naming.directory.InitialDirContext;
import javax.naming.directory.ModificationItem;
import javax.naming.directory.SearchControls;
import javax.naming.directory.SearchResult;
import javax.naming.ldap.BasicControl;
import javax.naming.ldap.Control;
import javax.naming.ldap.InitialLdapContext;
import javax.naming.ldap.LdapContext;
import javax.naming.ldap.LdapName;
import javax.naming.ldap.PagedResultsControl;
import javax.naming.ldap.PagedResultsResponseControl;

/**
 * The same directory work done the way a Java user store does it without the library: JNDI
 * over LDAPS, a context per operation taken from JNDI's connection pool (pooled by principal
 * and credentials), and a password checked by binding a new, unpooled context as the user, as
 * user stores do so that a pooled connection never stands in for a login.
 */
final class JndiUserStore {
    private static final String SD_FLAGS_OID = "1.2.840.113556.1.4.801";
    static final String SHOW_DELETED_OID = "1.2.840.113556.1.4.417";
    private static final byte[] OWNER_GROUP_DACL = {0x30, 0x03, 0x02, 0x01, 0x07};
    private final String url;
    private final Hashtable<String, Object> pooled;

    JndiUserStore(String server, String bindUser, String bindPassword) {
        url = "ldaps://" + server + ":636";
        pooled = environment(bindUser, bindPassword);
        pooled.put("com.sun.jndi.ldap.connect.pool", "true");
    }

    /** JNDI pools only plain connections unless told otherwise; read once, at first use. */
    static void enablePoolingOfLdaps() {
        System.setProperty("com.sun.jndi.ldap.connect.pool.protocol", "plain ssl");
    }

    private Hashtable<String, Object> environment(String user, String password) {
        Hashtable<String, Object> env = new Hashtable<>();
        env.put(Context.INITIAL_CONTEXT_FACTORY, "com.sun.jndi.ldap.LdapCtxFactory");
        env.put(Context.PROVIDER_URL, url);
        env.put(Context.SECURITY_AUTHENTICATION, "simple");
        env.put(Context.SECURITY_PRINCIPAL, user);
        env.put(Context.SECURITY_CREDENTIALS, password);
        env.put(Context.REFERRAL, "ignore");
        env.put("java.naming.ldap.attributes.binary", "nTSecurityDescriptor objectSid tokenGroups");
        return env;
    }

    /** One search with request controls (none: null); the entries it found. */
    List<SearchResult> searchResults(String base, int scope, String filter, Control[] controls, String... attributes)
            throws NamingException {
        LdapContext context = new InitialLdapContext(pooled, null);
        List<SearchResult> entries = new ArrayList<>();
        try {
            if (controls != null) context.setRequestControls(controls);
            SearchControls searchControls = new SearchControls(scope, 0, 0, attributes, false, false);
            NamingEnumeration<SearchResult> results = context.search(new LdapName(base), filter, searchControls);
            try {
                while (results.hasMore()) entries.add(results.next());
            } catch (PartialResultException continuationReferences) {
                // The domain's search ends with references to the other naming contexts, which
                // are not followed: the entries are all here.
            }
            return entries;
        } finally {
            context.close();
        }
    }

    /** One search; the DNs of the entries it found. */
    List<String> search(String base, int scope, String filter, String attribute) throws NamingException {
        return searchResults(base, scope, filter, null, attribute).stream().map(SearchResult::getNameInNamespace)
                .collect(Collectors.toList());
    }

    /** One search with request controls (none: null); the attributes of the entries it found. */
    List<Attributes> searchEntries(String base, int scope, String filter, Control[] controls, String... attributes)
            throws NamingException {
        return searchResults(base, scope, filter, controls, attributes).stream().map(SearchResult::getAttributes)
                .collect(Collectors.toList());
    }

    /** An LDAP compare: JNDI sends one for an equality filter on the object itself asking for no attributes. */
    boolean compare(String dn, String attribute, String value) throws NamingException {
        DirContext context = new InitialDirContext(pooled);
        try {
            SearchControls controls =
                    new SearchControls(SearchControls.OBJECT_SCOPE, 0, 0, new String[0], false, false);
            String filter = "(" + attribute + "={0})";
            return context.search(new LdapName(dn), filter, new Object[] {value}, controls).hasMore();
        } finally {
            context.close();
        }
    }

    /** One search; the DN of the only entry, or null when it found none or several. */
    String searchOne(String base, int scope, String filter, String attribute) throws NamingException {
        List<String> dns = search(base, scope, filter, attribute);
        return dns.size() == 1 ? dns.get(0) : null;
    }

    /** One base read; whether the entry had the attribute ("1.1": none asked for, the entry is there). */
    boolean readBase(String dn, String attribute) throws NamingException {
        DirContext context = new InitialDirContext(pooled);
        try {
            Attributes attributes = context.getAttributes(new LdapName(dn), new String[] {attribute});
            return attribute.equals("1.1") || attributes.get(attribute) != null;
        } finally {
            context.close();
        }
    }

    /**
     * One base read of an object's security descriptor (owner, group and DACL: what a reader
     * without the security privilege may ask for), SID and classes; whether the descriptor came.
     */
    boolean readSecurity(String dn) throws NamingException {
        LdapContext context = new InitialLdapContext(pooled, null);
        try {
            context.setRequestControls(new Control[] {new BasicControl(SD_FLAGS_OID, true, OWNER_GROUP_DACL)});
            Attributes attributes = context.getAttributes(new LdapName(dn),
                    new String[] {"nTSecurityDescriptor", "objectSid", "objectClass"});
            return attributes.get("nTSecurityDescriptor") != null;
        } finally {
            context.close();
        }
    }

    /** One base read of the attributes named; what came back. */
    Attributes readAttributes(String dn, String... attributes) throws NamingException {
        DirContext context = new InitialDirContext(pooled);
        try {
            return context.getAttributes(new LdapName(dn), attributes);
        } finally {
            context.close();
        }
    }

    /** One base read of an attribute of a deleted object (tombstones shown); its first value, or null. */
    Object readDeleted(String dn, String attribute) throws NamingException {
        LdapContext context = new InitialLdapContext(pooled, null);
        try {
            context.setRequestControls(new Control[] {new BasicControl(SHOW_DELETED_OID, true, null)});
            Attribute values = context.getAttributes(new LdapName(dn), new String[] {attribute}).get(attribute);
            return values == null ? null : values.get();
        } finally {
            context.close();
        }
    }

    /** A paged subtree search, pageSize entries a page; how many entries it found. */
    int pagedCount(String base, String filter, int pageSize) throws NamingException, IOException {
        LdapContext context = new InitialLdapContext(pooled, null);
        try {
            SearchControls searchControls =
                    new SearchControls(SearchControls.SUBTREE_SCOPE, 0, 0, new String[] {"distinguishedName"}, false,
                            false);
            int count = 0;
            byte[] cookie = null;
            do {
                context.setRequestControls(new Control[] {new PagedResultsControl(pageSize, cookie, true)});
                NamingEnumeration<SearchResult> results = context.search(new LdapName(base), filter, searchControls);
                while (results.hasMore()) {
                    results.next();
                    ++count;
                }
                cookie = null;
                Control[] response = context.getResponseControls();
                if (response != null) {
                    for (Control control : response) {
                        if (control instanceof PagedResultsResponseControl paged) cookie = paged.getCookie();
                    }
                }
            } while (cookie != null && cookie.length > 0);
            return count;
        } finally {
            context.close();
        }
    }

    /** One modify replacing the attribute's values (none: removed). */
    void replace(String dn, String attribute, Object... values) throws NamingException {
        BasicAttribute replacement = new BasicAttribute(attribute);
        for (Object value : values) replacement.add(value);
        modify(pooled, dn, new ModificationItem(DirContext.REPLACE_ATTRIBUTE, replacement));
    }

    private static void modify(Hashtable<String, Object> environment, String dn, ModificationItem... items)
            throws NamingException {
        DirContext context = new InitialDirContext(environment);
        try {
            context.modifyAttributes(new LdapName(dn), items);
        } finally {
            context.close();
        }
    }

    /** One add of an entry with the attributes given. */
    void add(String dn, Attributes attributes) throws NamingException {
        DirContext context = new InitialDirContext(pooled);
        try {
            context.createSubcontext(new LdapName(dn), attributes).close();
        } finally {
            context.close();
        }
    }

    /** One delete of a leaf entry. */
    void delete(String dn) throws NamingException {
        DirContext context = new InitialDirContext(pooled);
        try {
            context.destroySubcontext(new LdapName(dn));
        } finally {
            context.close();
        }
    }

    /** A password as the directory takes it in unicodePwd: the text in double quotes, UTF-16LE. */
    static byte[] unicodePwd(String password) {
        return ("\"" + password + "\"").getBytes(StandardCharsets.UTF_16LE);
    }

    /**
     * A user's own password change: a new, unpooled context bound as the user, then one modify
     * deleting the old password and adding the new one.
     */
    void changePassword(String user, String dn, String oldPassword, String newPassword) throws NamingException {
        BasicAttribute oldValue = new BasicAttribute("unicodePwd", unicodePwd(oldPassword));
        BasicAttribute newValue = new BasicAttribute("unicodePwd", unicodePwd(newPassword));
        modify(environment(user, oldPassword), dn, new ModificationItem(DirContext.REMOVE_ATTRIBUTE, oldValue),
                new ModificationItem(DirContext.ADD_ATTRIBUTE, newValue));
    }

    /** A login check: a new LDAPS connection bound as the user, then closed. */
    boolean verify(String user, String password) {
        try {
            new InitialDirContext(environment(user, password)).close();
            return true;
        } catch (NamingException refused) {
            return false;
        }
    }
}
