package orvistal.jvm;

import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import kestrivane.qom.userstoreproxy.multidomain.Orvistal;

/**
 * A JVM of its own for the cases whose settings are read once per process (the trace, OpenLDAP's
 * CA file, the Kerberos credentials cache): runs the calls named on the command line with the
 * settings' account, password (PROBE_PASSWORD) and server, and prints each status as
 * "status=0x%08X". "threads N M" runs a mix of calls on N threads, M times each, instead.
 */
public final class TraceProbe {
    private TraceProbe() {}

    public static void main(String[] args) throws Exception {
        Orvistal.loadLibrary();
        String user = args[0].isEmpty() ? null : args[0];
        Orvistal library = new Orvistal(user, System.getenv("PROBE_PASSWORD"), args[1], true, null);
        if (args[2].equals("threads")) {
            mixOnThreads(library, Integer.parseInt(args[3]), Integer.parseInt(args[4]));
            return;
        }
        for (int i = 2; i < args.length; ++i) System.out.printf("status=0x%08X%n", call(library, args[i]));
    }

    static int call(Orvistal library, String name) {
        switch (name) {
            case "wInit": return library.wInit();
            case "wGetUserDsn": return library.wGetUserDsn("alice", null).getErrCode();
            case "wGetNodeGuid": return library.wGetNodeGuid(Directory.ALICE).getErrCode();
            case "wCheckNodeAccess": return library.wCheckNodeAccess(Directory.ALICE, 0x10).getErrCode();
            case "wTranslateName": return library.wTranslateName("ORVISTAL\\alice", 2, 1).getErrCode();
            case "wSearchNodes": return library.wSearchNodes(Directory.PEOPLE, "(sAMAccountName=alice)").getErrCode();
            case "wIsMemberOf": return library.wIsMemberOf(Directory.G_DEVS, Directory.ALICE).getErrCode();
            default: throw new IllegalArgumentException(name);
        }
    }

    /** Reads, a password check right and wrong, a translation: every kind of line, from many threads. */
    private static void mixOnThreads(Orvistal library, int threads, int rounds) throws Exception {
        ExecutorService pool = Executors.newFixedThreadPool(threads);
        List<Future<?>> done = new ArrayList<>();
        for (int t = 0; t < threads; ++t) {
            done.add(pool.submit(() -> {
                for (int i = 0; i < rounds; ++i) {
                    library.wGetUserDsn("alice", null);
                    library.wGetNodeAttributeString(Directory.ALICE, "mail");
                    library.wVerifyPassword("alice@" + Directory.DOMAIN, "Alice.Pw.123", null);
                    library.wVerifyPassword("alice@" + Directory.DOMAIN, "Wrong.Trace.Pw9", null);
                    library.wResetPassword("CN=nobody-here," + Directory.PEOPLE, "Reset.Trace.Pw7", "");
                    library.wTranslateName("ORVISTAL\\alice", 2, 1);
                }
                return null;
            }));
        }
        for (Future<?> f : done) f.get();
        pool.shutdown();
        System.out.println("calls=" + threads * rounds * 6);
    }
}
