package kestrivane.qom.userstoreproxy.multidomain;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.AccessDeniedException;
import java.nio.file.FileAlreadyExistsException;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.PosixFileAttributes;
import java.nio.file.attribute.PosixFilePermission;
import java.nio.file.attribute.PosixFilePermissions;
import java.nio.file.attribute.UserPrincipal;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.util.Locale;
import java.util.Set;

/**
 * The native libraries the jar carries, one for each platform with its SHA-256. The one for the
 * running platform is copied to a directory of the user's own, named after its checksum, and
 * loaded from there: a copy left by an earlier run is reused when its checksum still matches and
 * replaced otherwise, and no file is loaded before its checksum is verified.
 */
final class BundledLibrary {
    private static final String FOLDER = "/kestrivane/qom/userstoreproxy/multidomain/native/";
    private static final String NAME = "Orvistal";
    private static final Set<PosixFilePermission> OWNER_ONLY = PosixFilePermissions.fromString("rwx------");

    private BundledLibrary() {}

    /** Loads the bundled library of the running platform; {@code notFound} tells why none was found elsewhere. */
    static void load(UnsatisfiedLinkError notFound) {
        String platform = platform();
        String fileName = System.mapLibraryName(NAME);
        String resource = FOLDER + platform + "/" + fileName;
        String digest;
        try {
            digest = expectedDigest(resource + ".sha256");
        } catch (IOException e) {
            throw linkError("the bundled " + resource + ".sha256 cannot be read", e, notFound);
        }
        if (digest == null) {
            throw linkError("no Orvistal library is bundled for " + platform + " (" + System.getProperty("os.name")
                    + ", " + System.getProperty("os.arch") + "); the jar carries linux-x86_64, windows-x86 and"
                    + " windows-x86_64", null, notFound);
        }
        Path file;
        try {
            file = placedCopy(resource, digest, fileName);
        } catch (IOException e) {
            throw linkError("the bundled library for " + platform + " cannot be placed", e, notFound);
        }
        System.load(file.toString());
    }

    /** The platform as the jar's folders name it: linux-x86_64, windows-x86, windows-x86_64, or the like. */
    static String platform() {
        String os = System.getProperty("os.name", "").toLowerCase(Locale.ROOT);
        String arch = System.getProperty("os.arch", "").toLowerCase(Locale.ROOT);
        if (os.startsWith("linux")) {
            os = "linux";
        } else if (os.startsWith("windows")) {
            os = "windows";
        } else {
            os = os.replaceAll("[^a-z0-9]", "");
        }
        if (arch.equals("amd64") || arch.equals("x86_64")) {
            arch = "x86_64";
        } else if (arch.matches("x86|i[3-6]86")) {
            arch = "x86";
        }
        return os + "-" + arch;
    }

    private static UnsatisfiedLinkError linkError(String message, Throwable cause, UnsatisfiedLinkError notFound) {
        UnsatisfiedLinkError error = new UnsatisfiedLinkError(message + (cause == null ? "" : ": " + cause));
        if (cause != null) {
            error.initCause(cause);
        }
        error.addSuppressed(notFound);
        return error;
    }

    /** The hexadecimal SHA-256 the jar gives for a library, or null when it carries none. */
    private static String expectedDigest(String checksumResource) throws IOException {
        try (InputStream in = BundledLibrary.class.getResourceAsStream(checksumResource)) {
            if (in == null) {
                return null;
            }
            String line = new BufferedReader(new InputStreamReader(in, StandardCharsets.US_ASCII)).readLine();
            String digest = line == null ? "" : line.trim().split("\\s+")[0];
            if (!digest.matches("[0-9a-f]{64}")) {
                throw new IOException("not a SHA-256: " + line);
            }
            return digest;
        }
    }

    /** The verified copy of the library in the user's own directory, written there when missing or altered. */
    private static Path placedCopy(String resource, String digest, String fileName) throws IOException {
        Path directory = ownDirectory(ownDirectory(cacheRoot().resolve(NAME.toLowerCase(Locale.ROOT))).resolve(digest));
        Path file = directory.resolve(fileName);
        if (!digest.equals(digestOf(file))) {
            writeCopy(resource, digest, directory, file);
        }
        if (!digest.equals(digestOf(file))) {
            throw new IOException(file + " changed after it was written");
        }
        return file;
    }

    /** Writes the library beside its final name and moves it there whole, so no reader sees a part. */
    private static void writeCopy(String resource, String digest, Path directory, Path file) throws IOException {
        Path partial = Files.createTempFile(directory, "partial", ".tmp");
        try {
            try (InputStream in = BundledLibrary.class.getResourceAsStream(resource)) {
                if (in == null) {
                    throw new IOException("the jar lacks " + resource);
                }
                try (OutputStream out = Files.newOutputStream(partial)) {
                    in.transferTo(out);  // into the file made owner-only, never a new one
                }
            }
            if (!digest.equals(digestOf(partial))) {
                throw new IOException("the jar's " + resource + " does not match its SHA-256");
            }
            Files.move(partial, file, StandardCopyOption.REPLACE_EXISTING, StandardCopyOption.ATOMIC_MOVE);
        } finally {
            Files.deleteIfExists(partial);
        }
    }

    /** The SHA-256 of a regular file (never through a link), or null when there is none. */
    private static String digestOf(Path file) throws IOException {
        if (!Files.isRegularFile(file, LinkOption.NOFOLLOW_LINKS)) {
            return null;
        }
        MessageDigest sha256;
        try {
            sha256 = MessageDigest.getInstance("SHA-256");
        } catch (NoSuchAlgorithmException e) {
            throw new IOException(e);
        }
        try (InputStream in = Files.newInputStream(file, LinkOption.NOFOLLOW_LINKS)) {
            byte[] buffer = new byte[65536];
            for (int n = in.read(buffer); n >= 0; n = in.read(buffer)) {
                sha256.update(buffer, 0, n);
            }
        }
        StringBuilder hex = new StringBuilder();
        for (byte b : sha256.digest()) {
            hex.append(String.format("%02x", b));
        }
        return hex.toString();
    }

    /**
     * The user's cache folder: XDG_CACHE_HOME or ~/.cache on Linux and other POSIX systems,
     * LOCALAPPDATA (private to the user) on Windows.
     */
    private static Path cacheRoot() {
        boolean windows = System.getProperty("os.name", "").toLowerCase(Locale.ROOT).startsWith("windows");
        String configured = System.getenv(windows ? "LOCALAPPDATA" : "XDG_CACHE_HOME");
        if (configured != null && !configured.isEmpty() && Paths.get(configured).isAbsolute()) {
            return Paths.get(configured);
        }
        Path home = Paths.get(System.getProperty("user.home"));
        return windows ? home.resolve("AppData").resolve("Local") : home.resolve(".cache");
    }

    /**
     * A directory only its owner can use. On POSIX its parent must belong to this user (or root)
     * and be closed to other users, who could otherwise swap it; it is made with owner-only
     * permissions, must be a real directory of this user (never a link), and is narrowed to
     * owner-only if it was wider.
     */
    private static Path ownDirectory(Path directory) throws IOException {
        Path parent = directory.getParent();
        Files.createDirectories(parent);
        if (!FileSystems.getDefault().supportedFileAttributeViews().contains("posix")) {
            Files.createDirectories(directory);
            return directory;
        }
        UserPrincipal self = FileSystems.getDefault().getUserPrincipalLookupService()
                .lookupPrincipalByName(System.getProperty("user.name"));
        PosixFileAttributes above = Files.readAttributes(parent, PosixFileAttributes.class);
        if (!above.owner().equals(self) && !above.owner().getName().equals("root")
                || above.permissions().contains(PosixFilePermission.OTHERS_WRITE)) {
            throw new AccessDeniedException(parent.toString(), null,
                    "other users may write there; set XDG_CACHE_HOME to a directory of your own");
        }
        try {
            Files.createDirectory(directory, PosixFilePermissions.asFileAttribute(OWNER_ONLY));
        } catch (FileAlreadyExistsException existing) {
            // checked below, as a new one is
        }
        PosixFileAttributes own = Files.readAttributes(directory, PosixFileAttributes.class, LinkOption.NOFOLLOW_LINKS);
        if (!own.isDirectory() || !own.owner().equals(self)) {
            throw new AccessDeniedException(directory.toString(), null, "not a directory of " + self.getName());
        }
        if (!own.permissions().equals(OWNER_ONLY)) {
            Files.setPosixFilePermissions(directory, OWNER_ONLY);
        }
        return directory;
    }
}
