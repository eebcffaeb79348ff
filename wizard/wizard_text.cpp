// wizard_text.cpp -- the texts the wizard composes.
#include "wizard_text.h"

#include "engine_error.h"
#include "entry_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

std::string ToNativePath(const QString& fileName) {
    return QFile::encodeName(fileName).toStdString();
}

QString FromNativePath(std::string_view path) {
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

} // namespace tessary
