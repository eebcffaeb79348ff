// wizard_text_test.cpp -- the texts the wizard composes: the default
// repaired name, the finish summary and error messages.
#include "engine_error.h"
#include "wizard_text.h"

#include <QDir>
#include <QTest>

using namespace tessary;

class TWizardTextTest : public QObject {
    Q_OBJECT
private slots:
    void DefaultRepairedNameKeepsNonAsciiFolders();
    void FinishSummaryNamesTheArchiveWithoutItsFolder();
    void WithFullStop_data();
    void WithFullStop();
    void EngineErrorsNameTheAbsolutePathAndTheReason();
};

void TWizardTextTest::DefaultRepairedNameKeepsNonAsciiFolders() {
    QCOMPARE(tessary::DefaultRepairedName(QStringLiteral("/d\u00E9j\u00E0/\u00FCber.zip")),
             QStringLiteral("/d\u00E9j\u00E0/recovered_\u00FCber.zip"));
}

void TWizardTextTest::FinishSummaryNamesTheArchiveWithoutItsFolder() {
    QCOMPARE(FinishSummary(12, QStringLiteral("/in/broken.zip")),
             QStringLiteral("The product has successfully repaired 12 in the archive broken.zip"));
    QCOMPARE(FinishSummary(0, QStringLiteral("broken.zip")),
             QStringLiteral("The product has successfully repaired 0 in the archive broken.zip"));
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
