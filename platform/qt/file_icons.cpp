// file_icons.cpp -- file-type icons from the shared MIME database and the
// icon theme, with a built-in icon where the theme has none.
#include "file_icons.h"

#include <QCoreApplication>
#include <QDir>
#include <QMimeDatabase>
#include <QStringList>

namespace tessary {

namespace {

// Headless and bare X sessions name no icon theme, or one without file-type
// icons. Falls back to Adwaita, which the desktop packages bring, so that the
// list still shows which entries are pictures, texts or archives.
void EnsureIconTheme() {
    if (QIcon::hasThemeIcon(QStringLiteral("text-x-generic"))) {
        return;
    }
    QStringList paths = QIcon::themeSearchPaths();
    const QString system = QStringLiteral("/usr/share/icons");
    if (!paths.contains(system) && QDir(system).exists()) {
        paths.append(system);
        QIcon::setThemeSearchPaths(paths);
    }
    if (QDir(system + QStringLiteral("/Adwaita")).exists()) {
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    }
}

// Icons hold pixmaps, which must not outlive the application object; the
// list lets go of them when the application goes.
void ReleaseSystemIcons() {
    TFileIconList::System().Clear();
}

} // namespace

TFileIconList& TFileIconList::System() {
    static TFileIconList list;
    return list;
}

TFileIconList::TFileIconList() {
    EnsureIconTheme();
    qAddPostRoutine(ReleaseSystemIcons);
}

void TFileIconList::Clear() {
    FIcons.clear();
    FIndexByType.clear();
}

int TFileIconList::IndexOf(const QString& name) {
    static const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    const QString key = type.name();
    if (const auto found = FIndexByType.constFind(key); found != FIndexByType.constEnd()) {
        return found.value();
    }
    const int index = Count();
    FIcons.append(IconForType(key, type.iconName(), type.genericIconName()));
    FIndexByType.insert(key, index);
    return index;
}

QIcon TFileIconList::Icon(int index) const {
    if (index < 0 || index >= Count()) {
        return {};
    }
    return FIcons.at(index);
}

QIcon TFileIconList::IconForType(const QString& mimeName, const QString& iconName,
                                 const QString& genericIconName) const {
    for (const QString& candidate : {iconName, genericIconName}) {
        if (!candidate.isEmpty() && QIcon::hasThemeIcon(candidate)) {
            return QIcon::fromTheme(candidate);
        }
    }
    // Types without a theme icon of their own: texts look like texts,
    // everything else like a plain file.
    const QString fallback = mimeName.startsWith(QLatin1String("text/"))
                                 ? QStringLiteral("text-x-generic")
                                 : QStringLiteral("application-x-generic");
    if (QIcon::hasThemeIcon(fallback)) {
        return QIcon::fromTheme(fallback);
    }
    return QIcon(QStringLiteral(":/platform_qt/file.png"));
}

int GetFileIconIndex(const QString& name) {
    return TFileIconList::System().IndexOf(name);
}

} // namespace tessary
