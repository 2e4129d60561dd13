// The rows of the dispositions table (cdsDisp) as the grid shows them: the
// columns of the window's grid in their order, the rows the table's filter
// leaves, and the table's current row, which the vertical header marks.
//
// The model follows the table through its observer calls only, so while the
// table's controls are disabled (the reports walking every row) the grid
// neither resets nor moves. Texts are converted from Windows-1252.
#pragma once

#include <QAbstractTableModel>
#include <QFontMetrics>
#include <vector>

#include "platform/Table.h"

namespace doz {

class DispositionModel : public QAbstractTableModel, private TableObserver {
    Q_OBJECT
public:
    struct Column {
        const char* field;
        const char* title;
        int width;           // pixels at the design font; 0: the default width
        const char* sample;  // a typical value, which the column must show whole
    };
    static const std::vector<Column>& columns();

    // The widths were drawn for a dialog font whose characters average 5 pixels;
    // a column 0 had the default of 64. Every width grows with the font in use
    // by the same factor, so order and proportions stay; a column whose title or
    // typical value (plus `padding`) would still not fit grows to fit it.
    static constexpr int kDesignCharWidth = 5;
    static constexpr int kDefaultWidth = 64;
    static std::vector<int> columnWidths(const QFontMetrics& cells, const QFontMetrics& titles, int padding);

    explicit DispositionModel(Table& table, QObject* parent = nullptr);
    ~DispositionModel() override;

    // Stops observing the table (before the table goes away).
    void detach();
    // Takes the table's rows and current row as they stand, also while its
    // controls are disabled (a question asked in the middle of a walk shows
    // the row it is about).
    void resync();

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
