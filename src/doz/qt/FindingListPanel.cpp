#include "qt/FindingListPanel.h"

#include <QAbstractTableModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/Ansi.h"

namespace doz {

namespace {
QString fromAnsi(const std::string& text) { return QString::fromStdString(ansiToUtf8(text)); }

// Widths of the columns before the message, in average characters: a column
// is as wide as its title and its texts need, up to this; longer texts are
// cut with an ellipsis and shown whole in the tooltip.
constexpr int kColumnCap = 22;
// A column at most this wide (in average characters) is never narrowed.
constexpr int kNarrowColumn = 16;
// Rows measured when the columns are fitted (the first ones: the failures).
constexpr int kMeasuredRows = 200;
}  // namespace

// The findings as rows of texts, converted as they are shown.
class FindingListModel : public QAbstractTableModel {
public:
    explicit FindingListModel(QObject* parent) : QAbstractTableModel(parent) {}

    void setList(const FindingList* list) {
        beginResetModel();
        list_ = list;
        endResetModel();
    }
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() || !list_ ? 0 : static_cast<int>(list_->rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() || !list_ ? 0 : static_cast<int>(list_->columns.size());
    }
    QString text(int row, int column) const {
        if (!list_ || row < 0 || row >= rowCount() || column < 0) return {};
        const auto& cells = list_->rows[static_cast<std::size_t>(row)];
        return static_cast<std::size_t>(column) < cells.size() ? fromAnsi(cells[static_cast<std::size_t>(column)])
                                                                 : QString();
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid()) return {};
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return text(index.row(), index.column());
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role != Qt::DisplayRole || orientation != Qt::Horizontal || !list_ || section < 0 ||
            section >= columnCount())
            return {};
        return fromAnsi(list_->columns[static_cast<std::size_t>(section)]);
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

private:
    const FindingList* list_ = nullptr;
};

FindingListPanel::FindingListPanel(std::function<void(const FindingList& list)> save, QWidget* parent)
    : QWidget(parent),
      title_(new QLabel(this)),
      summary_(new QLabel(this)),
      table_(new QTableView(this)),
      model_(new FindingListModel(this)),
      action_(new QPushButton(this)),
      save_(new QPushButton(QStringLiteral("S&alva..."), this)),
      close_(new QPushButton(QStringLiteral("Chiudi l'elenco"), this)) {
    setObjectName(QStringLiteral("pnlControlla"));
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    title_->setTextFormat(Qt::PlainText);
    summary_->setTextFormat(Qt::PlainText);
    summary_->setWordWrap(true);

    table_->setModel(model_);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setWordWrap(false);
    table_->setTextElideMode(Qt::ElideRight);
    table_->verticalHeader()->setVisible(false);
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->horizontalHeader()->setHighlightSections(false);
    // A double click (or a single one where the desktop activates with one) and
    // Enter: both come as one activation (a double click is no second pick).
    connect(table_, &QTableView::activated, this, [this](const QModelIndex& index) { pick(index.row()); });

    action_->setObjectName(QStringLiteral("btnAzioneLista"));
    action_->hide();
    save_->setObjectName(QStringLiteral("btnSalva"));
    close_->setObjectName(QStringLiteral("btnChiudiLista"));
    for (QPushButton* b : {action_, save_, close_}) b->setAutoDefault(true);  // Enter presses the focused button
    connect(action_, &QPushButton::clicked, this, [this] { hand(list_.actionKey); });
    connect(save_, &QPushButton::clicked, this, [this, save] {
        if (save) save(list_);
    });
    connect(close_, &QPushButton::clicked, this, [this] {
        hide();
        emit closed();
    });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(action_);
    buttons->addWidget(save_);
    buttons->addWidget(close_);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    column->addWidget(title_);
    column->addWidget(summary_);
    column->addWidget(table_, 1);
    column->addLayout(buttons);
}

void FindingListPanel::setList(const FindingList& list, std::function<void(int key)> onPick) {
    model_->setList(nullptr);
    list_ = list;
    onPick_ = std::move(onPick);
    title_->setText(fromAnsi(list_.title));
    summary_->setText(fromAnsi(list_.summary));
    action_->setText(fromAnsi(list_.action));
    action_->setVisible(!list_.action.empty());
    model_->setList(&list_);
    fitColumns();
}

QString FindingListPanel::cellText(int row, int column) const { return model_->text(row, column); }

int FindingListPanel::rowCount() const { return model_->rowCount(); }

void FindingListPanel::pick(int row) {
    if (row < 0 || row >= static_cast<int>(list_.keys.size())) return;
    hand(list_.keys[static_cast<std::size_t>(row)]);
}

void FindingListPanel::hand(int key) {
    // A copy: the handler may show a list of its own, which replaces this one's.
    if (key == 0 || !onPick_) return;
    const std::function<void(int)> onPick = onPick_;
    onPick(key);
}

// Every column but the message as wide as its title and the texts of the
// first rows need, up to a cap; together they take at most a little over half
// of the list's width (narrowed alike when they would take more), and the
// message takes the rest.
void FindingListPanel::fitColumns() {
    const QFontMetrics cells = table_->fontMetrics();
    const QFontMetrics titles(table_->horizontalHeader()->font());
    const int padding = 16;
    const int cap = cells.averageCharWidth() * kColumnCap;
    const int rows = std::min(model_->rowCount(), kMeasuredRows);
    natural_.clear();
    for (int c = 0; c + 1 < model_->columnCount(); ++c) {
        int width = titles.horizontalAdvance(model_->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
        for (int r = 0; r < rows; ++r) width = std::max(width, cells.horizontalAdvance(model_->text(r, c)));
        natural_.push_back(std::min(width + padding, cap));
    }
    applyColumnWidths();
}

void FindingListPanel::applyColumnWidths() {
    // Narrow columns (kind, numbers, record) keep their width; the wide ones
    // (payee, field) give up room alike until the message has its share.
    const int narrow = table_->fontMetrics().averageCharWidth() * kNarrowColumn;
    int fixed = 0, flexible = 0;
    for (int w : natural_) (w <= narrow ? fixed : flexible) += w;
    const int budget = table_->viewport()->width() * 11 / 20;
    const double factor =
        fixed + flexible > budget && flexible > 0 ? std::max(0.2, double(budget - fixed) / flexible) : 1.0;
    for (std::size_t c = 0; c < natural_.size(); ++c) {
        const int w = natural_[c];
        table_->setColumnWidth(static_cast<int>(c), w <= narrow ? w : std::max(40, static_cast<int>(w * std::min(1.0, factor))));
    }
}

void FindingListPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    applyColumnWidths();
}

void FindingListPanel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close_->click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace doz
