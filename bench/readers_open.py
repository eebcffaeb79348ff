#!/usr/bin/env python3
"""Whether repaired archives open in five readers: Python's zipfile, unzip,
7-Zip, bsdtar and Java's java.util.zip.ZipFile (names read as UTF-8, or as code page 437
where they are not UTF-8 and carry no UTF-8 flag: Java's default refuses
those, in the damaged archive as in the repaired one). An archive opens when the
reader lists its entries without an error about the archive itself (an
entry whose data is damaged may still fail when it is read).

  readers_open.py ARCHIVE...      prints per reader how many archives open,
                                  and each one that does not.
"""
import os
import subprocess
import sys
import tempfile
import zipfile

JAVA = r"""
import java.nio.charset.Charset;
import java.util.zip.ZipFile;
public class OpenCheck {
    static void open(String path, Charset names) throws Exception {
        try (ZipFile z = new ZipFile(new java.io.File(path), ZipFile.OPEN_READ, names)) {
            z.stream().forEach(e -> e.getName());
        }
    }
    public static void main(String[] args) {
        for (String path : args) {
            try {
                open(path, Charset.forName("UTF-8"));
                System.out.println("OK " + path);
            } catch (Exception e) {
                // Names in code page 437 without the UTF-8 flag need their charset.
                try {
                    open(path, Charset.forName("IBM437"));
                    System.out.println("OK " + path + " (names as IBM437)");
                } catch (Exception again) {
                    System.out.println("BAD " + path + " " + again);
                }
            }
        }
    }
}
"""


def python_opens(path):
    try:
        with zipfile.ZipFile(path) as z:
            z.infolist()
        return True, ""
    except Exception as e:  # any refusal counts
        return False, str(e)


def tool_opens(command, path, bad_words=(), warning_status=None):
    r = subprocess.run(command + [path], capture_output=True, text=True, errors="replace")
    text = r.stdout + r.stderr
    bad = [w for w in bad_words if w in text]
    ok = r.returncode == 0 or r.returncode == warning_status
    return ok and not bad, (bad or [text.strip()[-200:]])[0]


def java_opens(paths, work):
    source = os.path.join(work, "OpenCheck.java")
    with open(source, "w") as f:
        f.write(JAVA)
    subprocess.run(["javac", "-d", work, source], check=True)
    result = {}
    for start in range(0, len(paths), 200):
        r = subprocess.run(["java", "-cp", work, "OpenCheck"] + paths[start:start + 200],
                           capture_output=True, text=True)
        for line in r.stdout.splitlines():
            word, _, rest = line.partition(" ")
            path = next(p for p in paths[start:start + 200] if rest.startswith(p))
            result[path] = (word == "OK", rest[len(path):].strip())
    return result


def main():
    paths = [os.path.abspath(p) for p in sys.argv[1:]]
    readers = {
        "zipfile": python_opens,
        # unzip's status 1: warnings (a name it shortens), the listing complete.
        "unzip": lambda p: tool_opens(["unzip", "-l"], p, warning_status=1),
        "7z": lambda p: tool_opens(["7z", "l"], p, ("Headers Error", "Unexpected end", "Is not archive",
                                                     "Can not open")),
        "bsdtar": lambda p: tool_opens(["bsdtar", "-tf"], p),
    }
    failures = []
    counts = {}
    for name, opens in readers.items():
        counts[name] = 0
        for p in paths:
            ok, why = opens(p)
            counts[name] += ok
            if not ok:
                failures.append((name, p, why))
    with tempfile.TemporaryDirectory() as work:
        java = java_opens(paths, work)
    counts["java"] = sum(ok for ok, _ in java.values())
    charset = sum("IBM437" in why for ok, why in java.values() if ok)
    if charset:
        print(f"java: {charset} opened only with names read as IBM437")
    failures += [("java", p, why) for p, (ok, why) in java.items() if not ok]
    for name, n in counts.items():
        print(f"{name}: {n} of {len(paths)} open")
    for name, p, why in failures:
        print(f"not opened by {name}: {p}: {why}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
