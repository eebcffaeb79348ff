// wizard_text_test.cpp -- the texts the wizard composes: sizes, the default
// repaired name, the finish summary, entry names and error messages.
#include "engine_error.h"
#include "oem_codepage.h"
#include "wizard_text.h"

#include <QDir>
#include <QProcess>
#include <QTest>

using namespace tessary;

class TWizardTextTest : public QObject {
    Q_OBJECT
private slots:
    void FormatFileSize_data();
    void FormatFileSize();
    void FormatFileSizeUsesTheLocalesDecimalSeparator();
    void DefaultRepairedName_data();
    void DefaultRepairedName();
    void FinishSummaryNamesTheArchiveWithoutItsFolder();
    void CodePage437MatchesTheSystemsConversion();
    void Utf8FlaggedNamesShowAsUtf8();
    void DisplayConversionLeavesTheStoredBytesAlone();
    void WithFullStop_data();
    void WithFullStop();
    void EngineErrorsNameTheAbsolutePathAndTheReason();
};

void TWizardTextTest::FormatFileSize_data() {
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("text");
    QTest::newRow("unknown size") << qint64(-1) << QString();
    QTest::newRow("empty") << qint64(0) << QStringLiteral("0.00 kb");
    QTest::newRow("one and a half kilobytes") << qint64(1536) << QStringLiteral("1.50 kb");
    QTest::newRow("kilobytes up to a thousand")
        << qint64(1'024'000) << QStringLiteral("1000.00 kb");
    QTest::newRow("one byte more is megabytes") << qint64(1'024'001) << QStringLiteral("0.98 Mb");
    QTest::newRow("one megabyte") << qint64(1'048'576) << QStringLiteral("1.00 Mb");
    QTest::newRow("two billion bytes") << qint64(2'000'000'000) << QStringLiteral("1.86 Gb");
    // Entries of 2 GiB and more show their true size, never a negative one.
    QTest::newRow("beyond 32 bits") << qint64(5'000'000'000) << QStringLiteral("4.66 Gb");
    QTest::newRow("no thousands separator")
        << qint64(3'000'000'000'000) << QStringLiteral("2793.97 Gb");
}

void TWizardTextTest::FormatFileSize() {
    QFETCH(qint64, size);
    QFETCH(QString, text);
    QCOMPARE(tessary::FormatFileSize(size, QLocale::c()), text);
}

void TWizardTextTest::FormatFileSizeUsesTheLocalesDecimalSeparator() {
    const QLocale german(QLocale::German, QLocale::Germany);
    QCOMPARE(tessary::FormatFileSize(1536, german), QStringLiteral("1,50 kb"));
    QCOMPARE(tessary::FormatFileSize(1'024'000, german), QStringLiteral("1000,00 kb"));
}

void TWizardTextTest::DefaultRepairedName_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::newRow("absolute") << QStringLiteral("/data/damaged.zip")
                              << QStringLiteral("/data/recovered_damaged.zip");
    QTest::newRow("relative with folder")
        << QStringLiteral("in/broken.zip") << QStringLiteral("in/recovered_broken.zip");
    // Without a folder part the repaired file stays in the current folder.
    QTest::newRow("bare name") << QStringLiteral("damaged.zip")
                               << QStringLiteral("recovered_damaged.zip");
    QTest::newRow("in the root") << QStringLiteral("/x.zip") << QStringLiteral("/recovered_x.zip");
    QTest::newRow("spaces kept") << QStringLiteral(" a b/ c.zip ")
                                 << QStringLiteral(" a b/recovered_ c.zip ");
    QTest::newRow("folder only") << QStringLiteral("/data/") << QStringLiteral("/data/recovered_");
}

void TWizardTextTest::DefaultRepairedName() {
    QFETCH(QString, input);
    QFETCH(QString, output);
    QCOMPARE(tessary::DefaultRepairedName(input), output);
}

void TWizardTextTest::FinishSummaryNamesTheArchiveWithoutItsFolder() {
    QCOMPARE(FinishSummary(12, QStringLiteral("/in/broken.zip")),
             QStringLiteral("The product has successfully repaired 12 in the archive broken.zip"));
    QCOMPARE(FinishSummary(0, QStringLiteral("broken.zip")),
             QStringLiteral("The product has successfully repaired 0 in the archive broken.zip"));
}

void TWizardTextTest::CodePage437MatchesTheSystemsConversion() {
    QByteArray all;
    for (int byte = 1; byte < 256; ++byte) {
        all.append(static_cast<char>(byte));
    }
    QProcess iconv;
    iconv.start(QStringLiteral("iconv"), {QStringLiteral("-f"), QStringLiteral("CP437"),
                                          QStringLiteral("-t"), QStringLiteral("UTF-8")});
    if (!iconv.waitForStarted()) {
        QSKIP("iconv is not installed");
    }
    iconv.write(all);
    iconv.closeWriteChannel();
    QVERIFY(iconv.waitForFinished());
    const QString expected = QString::fromUtf8(iconv.readAllStandardOutput());
    QCOMPARE(OemToUnicode(std::string_view(all.constData(), all.size())), expected);
}

void TWizardTextTest::Utf8FlaggedNamesShowAsUtf8() {
    const std::string name = "\xC3\xBC"
                             "ber.txt"; // "über.txt" in UTF-8
    QCOMPARE(EntryDisplayName(name, 0x0800), QStringLiteral("\u00FCber.txt"));
    // Without the flag the same bytes are two code page 437 characters.
    QCOMPARE(EntryDisplayName(name, 0), QStringLiteral("\u251C\u255Dber.txt"));
    QCOMPARE(EntryDisplayName("Caf\x82.txt", 0x0008), QStringLiteral("Caf\u00E9.txt"));
}

void TWizardTextTest::DisplayConversionLeavesTheStoredBytesAlone() {
    const std::string stored = "\x80\x81\x82\xE1.txt";
    const std::string copy = stored;
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(EntryDisplayName(stored, 0), QStringLiteral("\u00C7\u00FC\u00E9\u00DF.txt"));
    }
    QCOMPARE(stored, copy);
}

void TWizardTextTest::WithFullStop_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << QStringLiteral("No such file or directory")
                            << QStringLiteral("No such file or directory.");
    QTest::newRow("full stop") << QStringLiteral("Done.") << QStringLiteral("Done.");
    QTest::newRow("closing bracket") << QStringLiteral("(x)") << QStringLiteral("(x)");
    QTest::newRow("digit") << QStringLiteral("code 5") << QStringLiteral("code 5.");
    QTest::newRow("exclamation mark") << QStringLiteral("Stop!") << QStringLiteral("Stop!");
    QTest::newRow("empty") << QString() << QString();
}

void TWizardTextTest::WithFullStop() {
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(tessary::WithFullStop(text), shown);
}

void TWizardTextTest::EngineErrorsNameTheAbsolutePathAndTheReason() {
    const QString here = QDir::currentPath();
    QCOMPARE(
        EngineErrorText(
            EArcsalveError(TErrorKind::OpenInput, "sub/../in.zip", "No such file or directory")),
        QStringLiteral("Cannot open file \"%1/in.zip\". No such file or directory.").arg(here));
    QCOMPARE(EngineErrorText(
                 EArcsalveError(TErrorKind::CreateOutput, "/ro/out.zip", "Permission denied")),
             QStringLiteral("Cannot create file \"/ro/out.zip\". Permission denied."));
    QCOMPARE(EngineErrorText(EArcsalveError(TErrorKind::WriteOutput, "/full/out.zip",
                                            "No space left on device")),
             QStringLiteral("Cannot create file \"/full/out.zip\". No space left on device."));
    // A path holding "%2" is shown as it is.
    QCOMPARE(EngineErrorText(EArcsalveError(TErrorKind::OpenInput, "/a%2b.zip", "Gone")),
             QStringLiteral("Cannot open file \"/a%2b.zip\". Gone."));
}

QTEST_GUILESS_MAIN(TWizardTextTest)
#include "wizard_text_test.moc"
