// files_model.cpp -- name with its file-type icon, size and status word of
// each entry, computed afresh for every request.
#include "files_model.h"

#include "entry_text.h"
#include "file_icons.h"
#include "safe_text.h"
#include "wizard_text.h"

#include <QLocale>

#include <algorithm>
#include <climits>

namespace tessary {

namespace {

// A bidirectional control would reorder the name on screen, so that
// "live\u202etxt.exe" read as a text file; it is shown as its escape, and the
// icon is the one of the name as shown.
QString ShownName(const TInfoForView& entry) {
    return FromUtf8(WithVisibleBidiControls(EntryNameText(entry)));
}

} // namespace

void TFilesModel::SetView(const std::vector<TInfoForView>* view) {
    beginResetModel();
    FView = view;
    // A list cannot hold more rows than an int counts; no archive gets near.
    FCount = view ? static_cast<int>(std::min<size_t>(view->size(), INT_MAX)) : 0;
    endResetModel();
}

int TFilesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FCount;
}

int TFilesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TFilesModel::data(const QModelIndex& index, int role) const {
    if (!FView || !index.isValid() || index.row() >= FCount) {
        return {};
    }
    if (role == Qt::ToolTipRole && FRowToolTip) {
        const QString toolTip = FRowToolTip(index.row());
        if (!toolTip.isEmpty()) {
            return toolTip;
        }
    }
    const TInfoForView& entry = (*FView)[static_cast<size_t>(index.row())];
    switch (index.column()) {
    case colName:
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
            return ShownName(entry);
        }
        if (role == Qt::DecorationRole) {
            auto& icons = TFileIconList::System();
            return icons.Icon(icons.IndexOf(ShownName(entry)));
        }
        break;
    case colSize:
        if (role == Qt::DisplayRole) {
            return FromUtf8(
                FormatFileSize(entry.Size, QLocale::system().decimalPoint().toStdString()));
        }
        if (role == Qt::TextAlignmentRole) {
            return int(Qt::AlignRight | Qt::AlignVCenter);
        }
        break;
    case colStatus:
        if (role == Qt::DisplayRole) {
            const std::string_view word = StatusWord(entry.Status);
            if (word.empty()) {
                return {};
            }
            return FromUtf8(word);
        }
        break;
    default:
        break;
    }
    return {};
}

QVariant TFilesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        switch (section) {
        case colName:
            return FromUtf8(FileNameCaption);
        case colSize:
            return FromUtf8(SizeCaption);
        case colStatus:
            return FromUtf8(StatusCaption);
        default:
            return {};
        }
    }
    if (role == Qt::TextAlignmentRole) {
        const Qt::Alignment horizontal = section == colSize ? Qt::AlignRight : Qt::AlignLeft;
        return int(horizontal | Qt::AlignVCenter);
    }
    return {};
}

} // namespace tessary
