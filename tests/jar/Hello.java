import kestrivane.qom.result.Status;
import kestrivane.qom.userstoreproxy.multidomain.Orvistal;

public class Hello {
    public static void main(String[] args) {
        // bind account, its password, the server (useServerName true: no domain needed)
        Orvistal directory = new Orvistal(args[0], System.getenv("AD_PASSWORD"), args[1], true, null);
        int status = directory.wInit();  // binds the server's root entry: 0 when all is well
        System.out.println("wInit: " + Status.describe(status));
        System.exit(status == 0 ? 0 : 1);
    }
}
