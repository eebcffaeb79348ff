// file_icons.h -- one shared list of file-type icons, looked up by a file's
// name alone, for lists that show many names with their type's icon.
#pragma once

#include <QHash>
#include <QIcon>
#include <QString>
#include <QVector>

namespace tessary {

class TFileIconList {
public:
    // The program's one list, shared by every window that shows file icons.
    static TFileIconList& System();

    // The index of the icon for files of that name's type. Only the name (its
    // extension) counts; no file is touched. The same name always gives the
    // same index, and names of one type share one entry.
    int IndexOf(const QString& name);

    // The icon at an index; a null icon for an index that was never handed out.
    QIcon Icon(int index) const;
    int Count() const { return static_cast<int>(FIcons.size()); }

    // Forgets every icon; indexes handed out before are void.
    void Clear();

private:
    TFileIconList();
    QIcon IconForType(const QString& mimeName, const QString& iconName,
                      const QString& genericIconName) const;

    QVector<QIcon> FIcons;
    QHash<QString, int> FIndexByType;
};

// The index of the icon for files of that name's type in the shared list.
int GetFileIconIndex(const QString& name);

} // namespace tessary
