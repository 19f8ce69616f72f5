package orvistal.testing;

/** Connection settings without the flag that chooses between server and domain. */
public class SettingsWithoutUseServerName {
    public String lookupUserName = "user";
    public String lookupUserPassword = "secret";
    public String server = "dc1";
    public String domain = "orvistal.test";
}
