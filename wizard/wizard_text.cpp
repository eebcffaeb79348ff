// wizard_text.cpp -- the texts the wizard composes.
#include "wizard_text.h"

#include "arcsalve.h"
#include "engine_error.h"
#include "entry_text.h"
#include "run_summary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace tessary {

QString FolderPart(const QString& fileName) {
    return fileName.left(fileName.lastIndexOf(QLatin1Char('/')) + 1);
}

QString FileNamePart(const QString& fileName) {
    return fileName.mid(fileName.lastIndexOf(QLatin1Char('/')) + 1);
}

QString DefaultRepairedName(const QString& inputName) {
    return FromUtf8(DefaultRepairedName(inputName.toUtf8().toStdString()));
}

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString FinishSummary(qsizetype count, const QString& inputName) {
    return QStringLiteral("The product has successfully repaired ") + QString::number(count) +
           QStringLiteral(" in the archive ") + FileNamePart(inputName);
}

QString ScanNoteText(const TArcsalve& engine) {
    QStringList lines;
    const std::string textMode = TextModeText(engine.TextModeDamage(), engine.TextModeRestored(),
                                              engine.TextModeNotRestored());
    if (!textMode.empty()) {
        lines.append(FromUtf8(textMode));
    }
    for (const std::string& text :
         CutShortTexts(engine.DroppedEntries(), engine.StoppedByMemory())) {
        lines.append(FromUtf8(text));
    }
    return lines.join(QLatin1Char('\n'));
}

QString FinishText(const TArcsalve* engine, const QString& inputName) {
    QStringList lines;
    const size_t found = engine ? engine->FView.size() : 0;
    if (found == 0) {
        lines.append(QStringLiteral("Nothing was found in the archive ") + FileNamePart(inputName) +
                     QStringLiteral(", so no repaired archive has been written"));
    } else {
        const size_t written = engine->WrittenEntries();
        lines.append(FinishSummary(static_cast<qsizetype>(written), inputName));
        if (written < found) {
            lines.append(QStringLiteral("The repair was stopped: the repaired archive holds %1 "
                                        "of the %2 files found.")
                             .arg(written)
                             .arg(found));
        }
    }
    const QString note = engine ? ScanNoteText(*engine) : QString();
    if (!note.isEmpty()) {
        lines.append(note);
    }
    return lines.join(QLatin1Char('\n'));
}

QString WithFullStop(const QString& text) {
    if (!text.isEmpty() && text.back() > QLatin1Char('.')) {
        return text + QLatin1Char('.');
    }
    return text;
}

QString EngineErrorText(const EArcsalveError& error) {
    const QString path = QDir::cleanPath(QFileInfo(FromNativePath(error.Path)).absoluteFilePath());
    return WithFullStop(
        FromUtf8(FileErrorText(error.Kind, path.toUtf8().toStdString(), error.Reason)));
}

QString FailureText(const std::exception& error) {
    if (const auto* engineError = dynamic_cast<const EArcsalveError*>(&error)) {
        return EngineErrorText(*engineError);
    }
    return WithFullStop(QString::fromLocal8Bit(error.what()));
}

std::string ToNativePath(const QString& fileName) {
    return QFile::encodeName(fileName).toStdString();
}

QString FromNativePath(std::string_view path) {
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

} // namespace tessary
