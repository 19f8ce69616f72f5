package orvistal.testing;

/** Connection settings without the server field. */
public class SettingsWithoutServer {
    public String lookupUserName = "user";
    public String lookupUserPassword = "secret";
    public boolean useServerName = true;
}
