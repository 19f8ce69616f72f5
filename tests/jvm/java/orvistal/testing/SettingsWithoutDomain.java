package orvistal.testing;

/** Connection settings without a domain field. */
public class SettingsWithoutDomain {
    public String lookupUserName = "user";
    public String lookupUserPassword = "secret";
    public String server = "dc1";
    public boolean useServerName;

    public SettingsWithoutDomain(boolean useServerName) {
        this.useServerName = useServerName;
    }
}
