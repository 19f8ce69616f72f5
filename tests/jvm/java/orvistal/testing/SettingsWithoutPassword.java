package orvistal.testing;

/** Connection settings without a password field: unreadable for every native method. */
public class SettingsWithoutPassword {
    public String lookupUserName = "user";
    public String server = "dc1";
    public boolean useServerName = true;
    public String domain = "orvistal.test";
}
