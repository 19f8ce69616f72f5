package orvistal.testing;

/** Connection settings without the bind account field. */
public class SettingsWithoutUserName {
    public String lookupUserPassword = "secret";
    public String server = "dc1";
    public boolean useServerName = true;
}
