package orvistal.testing;

import kestrivane.qom.userstoreproxy.multidomain.Orvistal;

/** A subclass: the settings are looked up on the run-time class, so they must still be found. */
public class SubclassedOrvistal extends Orvistal {
    public SubclassedOrvistal(String user, String password, String server, boolean useServerName, String domain) {
        super(user, password, server, useServerName, domain);
    }
}
