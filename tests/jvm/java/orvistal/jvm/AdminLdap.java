package orvistal.jvm;

import java.util.ArrayList;
import java.util.Hashtable;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import javax.naming.Context;
import javax.naming.NameNotFoundException;
import javax.naming.NamingEnumeration;
import javax.naming.NamingException;
import javax.naming.directory.Attribute;
import javax.naming.directory.BasicAttribute;
import javax.naming.directory.BasicAttributes;
import javax.naming.directory.DirContext;
import javax.naming.directory.ModificationItem;
import javax.naming.directory.SearchControls;
import javax.naming.ldap.BasicControl;
import javax.naming.ldap.Control;
import javax.naming.ldap.InitialLdapContext;
import javax.naming.ldap.LdapContext;
import javax.naming.ldap.LdapName;

/**
 * The administrator's own LDAPS connection, independent of the library: it makes and removes
 * the objects the tests write to, and reads back what the library wrote.
 */
final class AdminLdap implements AutoCloseable {
    private final LdapContext context;

    AdminLdap() throws NamingException {
        Hashtable<String, Object> env = new Hashtable<>();
        env.put(Context.INITIAL_CONTEXT_FACTORY, "com.sun.jndi.ldap.LdapCtxFactory");
        env.put(Context.PROVIDER_URL, "ldaps://" + Directory.SERVER + ":636");
        env.put("java.naming.ldap.factory.socket", TestCaSocketFactory.class.getName());
        env.put(Context.SECURITY_AUTHENTICATION, "simple");
        env.put(Context.SECURITY_PRINCIPAL, Directory.env("ORVISTAL_TEST_ADMIN_USER"));
        env.put(Context.SECURITY_CREDENTIALS, Directory.env("ORVISTAL_TEST_ADMIN_PASSWORD"));
        env.put("java.naming.ldap.attributes.binary", "objectGUID");
        context = new InitialLdapContext(env, null);
    }

    void create(String dn, String objectClass, String accountName) throws NamingException {
        BasicAttributes attributes = new BasicAttributes(true);
        attributes.put(new BasicAttribute("objectClass", objectClass));
        if (accountName != null) {
            attributes.put(new BasicAttribute("sAMAccountName", accountName));
        }
        context.createSubcontext(new LdapName(dn), attributes).close();
    }

    /** Removes the object and everything below it, children first. */
    void deleteTree(String dn) throws NamingException {
        var children = context.list(new LdapName(dn));
        while (children.hasMore()) {
            deleteTree(children.next().getNameInNamespace());
        }
        context.destroySubcontext(new LdapName(dn));
    }

    /** The first value of an attribute, or null when it has none. */
    Object read(String dn, String attribute) throws NamingException {
        var found = context.getAttributes(new LdapName(dn), new String[] {attribute}).get(attribute);
        return found == null ? null : found.get();
    }

    /** One attribute's first value of every match of a subtree search, in the order the directory returns them. */
    List<String> searchValues(String base, String filter, String attribute) throws NamingException {
        SearchControls controls = new SearchControls();
        controls.setSearchScope(SearchControls.SUBTREE_SCOPE);
        controls.setReturningAttributes(new String[] {attribute});
        List<String> values = new ArrayList<>();
        var found = context.search(new LdapName(base), filter, controls);
        while (found.hasMore()) {
            Attribute value = found.next().getAttributes().get(attribute);
            if (value != null) values.add(value.get().toString());
        }
        return values;
    }

    /** The distinguished name of a deleted account's tombstone, seen with the show-deleted control. */
    String tombstoneOf(String accountName) throws NamingException {
        LdapContext deleted = context.newInstance(new Control[] {new BasicControl("1.2.840.113556.1.4.417", true, null)});
        try {
            SearchControls controls = new SearchControls();
            controls.setSearchScope(SearchControls.SUBTREE_SCOPE);
            controls.setReturningAttributes(new String[] {"distinguishedName"});
            var found = deleted.search("CN=Deleted Objects," + Directory.BASE_DN, "(sAMAccountName={0})",
                    new Object[] {accountName}, controls);
            return found.hasMore() ? (String) found.next().getAttributes().get("distinguishedName").get() : null;
        } finally {
            deleted.close();
        }
    }

    /** Every ordinary attribute of an entry: names in lower case, values as text joined by "|". */
    Map<String, String> read(String dn) throws NamingException {
        Map<String, String> values = new TreeMap<>();
        NamingEnumeration<? extends Attribute> all = context.getAttributes(new LdapName(dn)).getAll();
        while (all.hasMore()) {
            Attribute attribute = all.next();
            StringBuilder text = new StringBuilder();
            for (int i = 0; i < attribute.size(); i++) {
                Object value = attribute.get(i);
                text.append(i > 0 ? "|" : "").append(value instanceof byte[] ? "<bytes>" : value);
            }
            values.put(attribute.getID().toLowerCase(), text.toString());
        }
        return values;
    }

    boolean exists(String dn) throws NamingException {
        try {
            context.getAttributes(new LdapName(dn), new String[] {"objectClass"});
            return true;
        } catch (NameNotFoundException e) {
            return false;
        }
    }

    /** One add of exactly these attributes. */
    void add(String dn, Map<String, String> attributes) throws NamingException {
        BasicAttributes entry = new BasicAttributes(true);
        attributes.forEach((name, value) -> entry.put(new BasicAttribute(name, value)));
        context.createSubcontext(new LdapName(dn), entry).close();
    }

    void replace(String dn, String attribute, String value) throws NamingException {
        modify(dn, DirContext.REPLACE_ATTRIBUTE, attribute, value);
    }

    void modify(String dn, int operation, String attribute, String value) throws NamingException {
        ModificationItem[] change = {new ModificationItem(operation, new BasicAttribute(attribute, value))};
        context.modifyAttributes(new LdapName(dn), change);
    }

    /** Deletes an entry if it is there: the tests' clean-up. */
    void deleteIfPresent(String dn) {
        try {
            context.destroySubcontext(new LdapName(dn));
        } catch (NamingException e) {
            // gone already, or never made
        }
    }

    @Override
    public void close() throws NamingException {
        context.close();
    }
}
