// files_model.cpp -- name with its file-type icon, size and status word of
// each entry, computed afresh for every request.
#include "files_model.h"

#include "file_icons.h"
#include "wizard_text.h"

#include <algorithm>
#include <climits>

namespace tessary {

namespace {
constexpr int64_t UnknownSize32 = 0xFFFFFFFF;
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
    const TInfoForView& entry = (*FView)[static_cast<size_t>(index.row())];
    switch (index.column()) {
    case colName:
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
            return EntryDisplayName(entry.Name, entry.Flags);
        }
        if (role == Qt::DecorationRole) {
            auto& icons = TFileIconList::System();
            return icons.Icon(icons.IndexOf(EntryDisplayName(entry.Name, entry.Flags)));
        }
        break;
    case colSize:
        if (role == Qt::DisplayRole) {
            // All 32 bits set is the size field's mark for "stored elsewhere";
            // when nothing better was found the size is unknown.
            return FormatFileSize(entry.Size == UnknownSize32 ? -1 : entry.Size);
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
            return QString::fromLatin1(word.data(), static_cast<qsizetype>(word.size()));
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
            return QStringLiteral("FIle Name");
        case colSize:
            return QStringLiteral("Size");
        case colStatus:
            return QStringLiteral("Status");
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
