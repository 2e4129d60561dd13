#include "qt/DispositionModel.h"

#include <QFontMetrics>
#include <algorithm>
#include <cmath>

#include "platform/Ansi.h"

namespace doz {

namespace {

bool isNumber(FieldType t) {
    return isIntegerType(t) || t == FieldType::Float || t == FieldType::Currency || t == FieldType::Bcd;
}

QString fromAnsi(const std::string& text) { return QString::fromStdString(ansiToUtf8(text)); }

}  // namespace

const std::vector<DispositionModel::Column>& DispositionModel::columns() {
    static const std::vector<Column> list = {
        {"DESC_DESTINATARIO", "Destinario", 276, "BIANCHI MARIA GIOVANNA"},
        {"IMPORTO", "Importo in cent.", 84, "1234567"},
        {"MODALITA_PAGAMENTO", "Mod. Pag.", 56, "1"},
        {"ABI_DESTINATARIO", "ABI", 48, "03069"},
        {"CAB_DESTINATARIO", "CAB", 48, "01600"},
        {"CC_DESTINATARIO", "C/C", 92, "000012345678"},
        {"CIN", "CIN", 24, "X"},
        {"CF_DESTINATARIO", "Cod. fisc,", 0, "BNCMGV80A41H501W"},
        {"IND_DESTINATARIO", "Indirizzo", 300, "VIA GIUSEPPE GARIBALDI 123"},
        {"CAP_DESTINATARIO", "CAP", 40, "00100"},
        {"COM_DESTINATARIO", "Comune", 200, "SAN GIOVANNI IN PERSICETO"},
        {"BANCA_DESCR_DEST", "Banca", 300, "BANCA POPOLARE DI SONDRIO"},
    };
    return list;
}

std::vector<int> DispositionModel::columnWidths(const QFontMetrics& cells, const QFontMetrics& titles, int padding) {
    const double factor = std::max(1.0, cells.averageCharWidth() / double(kDesignCharWidth));
    std::vector<int> widths;
    for (const Column& c : columns()) {
        const int scaled = static_cast<int>(std::ceil((c.width > 0 ? c.width : kDefaultWidth) * factor));
        const int needed = std::max(titles.horizontalAdvance(QString::fromLatin1(c.title)),
                                    cells.horizontalAdvance(QString::fromLatin1(c.sample))) + padding;
        widths.push_back(std::max(scaled, needed));
    }
    return widths;
}

DispositionModel::DispositionModel(Table& table, QObject* parent)
    : QAbstractTableModel(parent), table_(&table), fieldIndexes_(columns().size(), -1) {
    table_->addObserver(this);
    tableChanged(table);
}

DispositionModel::~DispositionModel() { detach(); }

void DispositionModel::detach() {
    if (!table_) return;
    table_->removeObserver(this);
    table_ = nullptr;
    beginResetModel();
    rows_ = 0;
    current_ = -1;
    endResetModel();
}

void DispositionModel::resync() {
    if (table_) tableChanged(*table_);
}

const QString& DispositionModel::fieldNameOf(int column) const {
    static std::vector<QString> names = [] {
        std::vector<QString> out;
        for (const Column& c : columns()) out.push_back(QString::fromLatin1(c.field));
        return out;
    }();
    return names.at(static_cast<std::size_t>(column));
}

int DispositionModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int DispositionModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns().size());
}

QVariant DispositionModel::data(const QModelIndex& index, int role) const {
    if (!table_ || !index.isValid() || index.row() >= rows_) return {};
    // Between observer calls (controls disabled) the table may hold other rows.
    if (!table_->active() || index.row() >= table_->viewCount()) return {};
    const int field = fieldIndexes_.at(static_cast<std::size_t>(index.column()));
    if (field < 0 || field >= table_->fieldCount()) return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
    switch (role) {
        case Qt::DisplayRole: {
            const Row& row = table_->viewRow(index.row());
            if (static_cast<std::size_t>(field) >= row.size()) return QString();
            return fromAnsi(valueToText(row[static_cast<std::size_t>(field)]));
        }
        case Qt::TextAlignmentRole:
            if (isNumber(table_->fieldDefs()[static_cast<std::size_t>(field)].type))
                return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        default:
            return {};
    }
}

QVariant DispositionModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= columnCount()) return {};
        return QString::fromLatin1(columns()[static_cast<std::size_t>(section)].title);
    }
    // The row indicator: a mark on the current row.
    return section == current_ ? QStringLiteral("\u25B6") : QString();
}

Qt::ItemFlags DispositionModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void DispositionModel::tableChanged(const Table& table) {
    beginResetModel();
    rows_ = table.viewCount();
    for (std::size_t i = 0; i < columns().size(); ++i)
        fieldIndexes_[i] = table.active() ? table.fieldIndex(columns()[i].field) : -1;
    readCurrent();
    endResetModel();
    emit currentRowMoved(current_);
}

void DispositionModel::currentRowChanged(const Table&) {
    const int before = current_;
    readCurrent();
    if (before == current_) return;
    if (before >= 0 && before < rows_) emit headerDataChanged(Qt::Vertical, before, before);
    if (current_ >= 0) emit headerDataChanged(Qt::Vertical, current_, current_);
    emit currentRowMoved(current_);
}

void DispositionModel::readCurrent() {
    const int at = table_ ? table_->recNo() : -1;
    current_ = (at >= 0 && at < rows_) ? at : (rows_ > 0 && at >= rows_ ? rows_ - 1 : -1);
}

}  // namespace doz
