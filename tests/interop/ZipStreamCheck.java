// ZipStreamCheck.java -- java.util.zip.ZipInputStream as a streaming ZIP
// reader for the interoperability tests.
//
// Usage: java ZipStreamCheck.java JOBFILE
// Each line of JOBFILE is an archive path, a tab, and the offsets of its local
// headers in archive order, comma-separated. The archive is read from its
// start as a stream, entry after entry, each entry read to its end. A stream
// reader cannot go on behind an entry whose data it could not decode, so after
// such an entry the reading starts again as a new stream at the next local
// header, the way a reader sees an archive's tail. Output, one line each:
//   E <archive> <index> OK <crc> <size> <isdir> <namehex>
//   E <archive> <index> FAIL 0 0 <isdir> <namehex> <reason>
// Names are decoded as code page 437 unless the entry's UTF-8 flag is set,
// and printed as the hex of their UTF-8 form.
import java.io.BufferedInputStream;
import java.io.BufferedOutputStream;
import java.io.FileInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.PrintStream;
import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.List;
import java.util.zip.CRC32;
import java.util.zip.ZipEntry;
import java.util.zip.ZipInputStream;

public class ZipStreamCheck {
    private static final Charset CP437 = Charset.forName("IBM437");

    private static final char[] DIGITS = "0123456789abcdef".toCharArray();

    private static String hex(String name) {
        StringBuilder sb = new StringBuilder();
        for (byte b : name.getBytes(StandardCharsets.UTF_8))
            sb.append(DIGITS[(b >> 4) & 0xF]).append(DIGITS[b & 0xF]);
        return sb.toString();
    }

    private static String hex32(long value) {
        StringBuilder sb = new StringBuilder();
        for (int shift = 28; shift >= 0; shift -= 4)
            sb.append(DIGITS[(int) (value >> shift) & 0xF]);
        return sb.toString();
    }

    private static String oneLine(Throwable t) {
        String m = t.getClass().getSimpleName() + ": " + t.getMessage();
        return m.replaceAll("\\s+", " ");
    }

    private static void checkArchive(PrintStream out, int archive, String path, long[] offsets)
            throws IOException {
        int start = 0;
        byte[] buffer = new byte[1 << 16];
        while (start < Math.max(offsets.length, 1)) {
            int seen = 0;
            int restartAt = -1;
            try (InputStream file = new FileInputStream(path)) {
                long skip = offsets.length > 0 ? offsets[start] : 0;
                while (skip > 0) {
                    long n = file.skip(skip);
                    if (n <= 0)
                        throw new IOException("cannot skip to " + offsets[start]);
                    skip -= n;
                }
                ZipInputStream zip = new ZipInputStream(new BufferedInputStream(file), CP437);
                while (true) {
                    ZipEntry e;
                    try {
                        e = zip.getNextEntry();
                    } catch (Exception ex) {
                        out.printf("E %d %d FAIL 0 0 0 - %s%n", archive, start + seen, oneLine(ex));
                        restartAt = start + seen + 1;
                        break;
                    }
                    if (e == null)
                        break;
                    int index = start + seen;
                    ++seen;
                    CRC32 crc = new CRC32();
                    long size = 0;
                    try {
                        for (int n; (n = zip.read(buffer)) > 0;) {
                            crc.update(buffer, 0, n);
                            size += n;
                        }
                        out.append("E ").append(String.valueOf(archive)).append(' ')
                            .append(String.valueOf(index)).append(" OK ").append(hex32(crc.getValue()))
                            .append(' ').append(String.valueOf(size)).append(e.isDirectory() ? " 1 " : " 0 ")
                            .append(hex(e.getName())).append('\n');
                    } catch (Exception ex) {
                        out.printf("E %d %d FAIL 0 0 %d %s %s%n", archive, index,
                                   e.isDirectory() ? 1 : 0, hex(e.getName()), oneLine(ex));
                        restartAt = index + 1;
                        break;
                    }
                }
            }
            if (restartAt < 0)
                return;
            start = restartAt;
        }
    }

    public static void main(String[] args) throws IOException {
        PrintStream out = new PrintStream(new BufferedOutputStream(System.out, 1 << 16), false,
                                          StandardCharsets.UTF_8);
        List<String> jobs = Files.readAllLines(Paths.get(args[0]), StandardCharsets.UTF_8);
        int archive = 0;
        for (String job : jobs) {
            if (job.isEmpty())
                continue;
            String[] parts = job.split("\t", -1);
            String[] fields = parts.length > 1 && !parts[1].isEmpty() ? parts[1].split(",") : new String[0];
            long[] offsets = new long[fields.length];
            for (int i = 0; i < fields.length; ++i)
                offsets[i] = Long.parseLong(fields[i]);
            try {
                checkArchive(out, archive, parts[0], offsets);
            } catch (IOException ex) {
                out.printf("A %d BAD %s%n", archive, oneLine(ex));
            }
            ++archive;
        }
        out.flush();
    }
}
