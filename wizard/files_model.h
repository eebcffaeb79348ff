// files_model.h -- the results list's rows, read straight from the engine's
// view array: no row is stored, each cell is computed when the list asks.
#pragma once

#include "file_info.h"

#include <QAbstractTableModel>

#include <functional>
#include <utility>
#include <vector>

namespace tessary {

class TFilesModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { colName, colSize, colStatus, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    // Shows the entries of `view` (which must outlive the model's use of it),
    // or none for a null view. The item count is taken now and stays until
    // the next call, as the list's item count does.
    void SetView(const std::vector<TInfoForView>* view);
    // The tooltip of every cell of a row, by row index; an empty text, or no
    // function (the default), leaves a row its own tooltips.
    void SetRowToolTip(std::function<QString(int row)> toolTip) {
        FRowToolTip = std::move(toolTip);
    }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const std::vector<TInfoForView>* FView = nullptr;
    int FCount = 0;
    std::function<QString(int row)> FRowToolTip;
};

} // namespace tessary
