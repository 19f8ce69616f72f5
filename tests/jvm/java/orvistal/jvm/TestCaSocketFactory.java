package orvistal.jvm;

import java.io.FileInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.net.InetAddress;
import java.net.Socket;
import java.security.KeyStore;
import java.security.cert.CertificateFactory;
import javax.net.SocketFactory;
import javax.net.ssl.SSLContext;
import javax.net.ssl.SSLSocketFactory;
import javax.net.ssl.TrustManagerFactory;

/** TLS sockets that trust the test directory's own CA (LDAPTLS_CACERT) and nothing else. */
public final class TestCaSocketFactory extends SocketFactory {
    private static final SSLSocketFactory TRUSTING_TEST_CA = build();

    public static SocketFactory getDefault() {
        return new TestCaSocketFactory();
    }

    private static SSLSocketFactory build() {
        try (InputStream pem = new FileInputStream(Directory.env("LDAPTLS_CACERT"))) {
            KeyStore store = KeyStore.getInstance(KeyStore.getDefaultType());
            store.load(null, null);
            store.setCertificateEntry("orvistal-test-ca", CertificateFactory.getInstance("X.509").generateCertificate(pem));
            TrustManagerFactory trust = TrustManagerFactory.getInstance(TrustManagerFactory.getDefaultAlgorithm());
            trust.init(store);
            SSLContext context = SSLContext.getInstance("TLS");
            context.init(null, trust.getTrustManagers(), null);
            return context.getSocketFactory();
        } catch (Exception e) {
            throw new IllegalStateException("cannot trust the test CA", e);
        }
    }

    @Override
    public Socket createSocket() throws IOException {
        return TRUSTING_TEST_CA.createSocket();
    }

    @Override
    public Socket createSocket(String host, int port) throws IOException {
        return TRUSTING_TEST_CA.createSocket(host, port);
    }

    @Override
    public Socket createSocket(String host, int port, InetAddress localHost, int localPort) throws IOException {
        return TRUSTING_TEST_CA.createSocket(host, port, localHost, localPort);
    }

    @Override
    public Socket createSocket(InetAddress host, int port) throws IOException {
        return TRUSTING_TEST_CA.createSocket(host, port);
    }

    @Override
    public Socket createSocket(InetAddress address, int port, InetAddress localAddress, int localPort) throws IOException {
        return TRUSTING_TEST_CA.createSocket(address, port, localAddress, localPort);
    }
}
