#include "qt/FindingListDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "platform/Ansi.h"

namespace doz {

namespace {
QString fromAnsi(const std::string& text) { return QString::fromStdString(ansiToUtf8(text)); }
}  // namespace

FindingListDialog::FindingListDialog(const FindingList& list, std::function<void(int key)> onPick,
                                     std::function<void(const std::string& textForm)> save, QWidget* parent)
    : QDialog(parent), list_(list), summary_(new QLabel(this)), table_(new QTableWidget(this)) {
    setObjectName(QStringLiteral("dlgControlla"));
    setWindowTitle(fromAnsi(list.title));
    setModal(false);
    summary_->setTextFormat(Qt::PlainText);
    summary_->setText(fromAnsi(list.summary));
    summary_->setWordWrap(true);

    table_->setColumnCount(static_cast<int>(list.columns.size()));
    QStringList titles;
    for (const std::string& c : list.columns) titles << fromAnsi(c);
    table_->setHorizontalHeaderLabels(titles);
    table_->setRowCount(static_cast<int>(list.rows.size()));
    for (int r = 0; r < table_->rowCount(); ++r) {
        const auto& row = list.rows[static_cast<std::size_t>(r)];
        for (int c = 0; c < table_->columnCount() && c < static_cast<int>(row.size()); ++c) {
            auto* item = new QTableWidgetItem(fromAnsi(row[static_cast<std::size_t>(c)]));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            table_->setItem(r, c, item);
        }
    }
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setWordWrap(false);
    table_->verticalHeader()->setVisible(false);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->resizeColumnsToContents();
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this, onPick](int row, int) {
        const int key = row >= 0 && row < static_cast<int>(list_.keys.size()) ? list_.keys[static_cast<std::size_t>(row)] : 0;
        if (key != 0 && onPick) onPick(key);
    });

    auto* buttons = new QDialogButtonBox(this);
    save_ = buttons->addButton(QStringLiteral("Salva..."), QDialogButtonBox::ActionRole);
    save_->setObjectName(QStringLiteral("btnSalva"));
    QPushButton* close = buttons->addButton(QStringLiteral("Chiudi"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("btnChiudiLista"));
    connect(save_, &QPushButton::clicked, this, [this, save] {
        if (save) save(list_.textForm);
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* column = new QVBoxLayout(this);
    column->addWidget(summary_);
    column->addWidget(table_, 1);
    column->addWidget(buttons);
    resize(900, 360);
}

}  // namespace doz
