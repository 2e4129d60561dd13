// The rows of the dispositions table (cdsDisp) as the grid shows them: the
// columns of the window's grid in their order, the rows the table's filter
// leaves, and the table's current row, which the vertical header marks.
//
// The model follows the table through its observer calls only, so while the
// table's controls are disabled (the reports walking every row) the grid
// neither resets nor moves. Texts are converted from Windows-1252.
#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "platform/Table.h"

namespace doz {

class DispositionModel : public QAbstractTableModel, private TableObserver {
    Q_OBJECT
public:
    struct Column {
        const char* field;
        const char* title;
        int width;  // pixels; 0: the view's default
    };
    static const std::vector<Column>& columns();

    explicit DispositionModel(Table& table, QObject* parent = nullptr);
    ~DispositionModel() override;

    // Stops observing the table (before the table goes away).
    void detach();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The table's current row as last reported, -1 when none.
    int currentRow() const { return current_; }
    const QString& fieldNameOf(int column) const;

signals:
    // The table's cursor moved, or the rows were replaced.
    void currentRowMoved(int row);

private:
    void tableChanged(const Table& table) override;
    void currentRowChanged(const Table& table) override;
    void readCurrent();

    Table* table_;
    int rows_ = 0;
    int current_ = -1;
    std::vector<int> fieldIndexes_;  // per column; -1 when the table has no such field
};

}  // namespace doz
