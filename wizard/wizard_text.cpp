// wizard_text.cpp -- the texts the wizard composes.
#include "wizard_text.h"

#include "engine_error.h"
#include "file_info.h"
#include "oem_codepage.h"

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
    // A folder part always ends in the delimiter here, so nothing needs to be
    // added; a name without one stays in the current folder rather than
    // moving to the root.
    return FolderPart(inputName) + QStringLiteral("recovered_") + FileNamePart(inputName);
}

QString FormatFileSize(int64_t size, const QLocale& locale) {
    if (size == -1) {
        return {};
    }
    QLocale numbers = locale;
    numbers.setNumberOptions(QLocale::OmitGroupSeparator);
    const auto fixed = [&numbers](double value) { return numbers.toString(value, 'f', 2); };
    double x = static_cast<double>(size) / 1024;
    if (x > 1000) {
        x /= 1024;
        if (x > 1000) {
            return fixed(x / 1024) + QStringLiteral(" Gb");
        }
        return fixed(x) + QStringLiteral(" Mb");
    }
    return fixed(x) + QStringLiteral(" kb");
}

QString FinishSummary(qsizetype count, const QString& inputName) {
    return QStringLiteral("The product has successfully repaired ") + QString::number(count) +
           QStringLiteral(" in the archive ") + FileNamePart(inputName);
}

QString EntryDisplayName(std::string_view name, uint16_t flags) {
    if (flags & FlagUtf8Name) {
        return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    }
    return OemToUnicode(name);
}

QString WithFullStop(const QString& text) {
    if (!text.isEmpty() && text.back() > QLatin1Char('.')) {
        return text + QLatin1Char('.');
    }
    return text;
}

QString EngineErrorText(const EArcsalveError& error) {
    const QString path = QDir::cleanPath(QFileInfo(FromNativePath(error.Path)).absoluteFilePath());
    const QString reason = QString::fromLocal8Bit(error.Reason);
    const QString pattern =
        error.Kind == TErrorKind::OpenInput   ? QStringLiteral("Cannot open file \"%1\". %2")
        : error.Kind == TErrorKind::ReadInput ? QStringLiteral("Cannot read file \"%1\". %2")
                                              : QStringLiteral("Cannot create file \"%1\". %2");
    return WithFullStop(pattern.arg(path, reason));
}

std::string ToNativePath(const QString& fileName) {
    return QFile::encodeName(fileName).toStdString();
}

QString FromNativePath(std::string_view path) {
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

} // namespace tessary
