// The list of findings of Controlla, or the produced files of Storico, as a
// panel of the export window beside the grid: a title and a summary, one row
// per entry, the list's own command when it has one, a button that saves the
// list as a text file and one that closes the panel. A double click (or Enter)
// on a row hands its key back (Controlla: the grid beside shows that
// disposition; Storico: that file's payments). Esc inside the panel closes the
// panel only.
#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "platform/WindowPort.h"

class QLabel;
class QPushButton;
class QTableView;

namespace doz {

class FindingListModel;

class FindingListPanel : public QWidget {
    Q_OBJECT
public:
    // `save` asks for a file name and writes the list's text form (the window's save dialog and error report).
    FindingListPanel(std::function<void(const FindingList& list)> save, QWidget* parent);

    // Shows `list` in place of the one shown; picking a row calls `onPick` with its key (0: nothing).
    void setList(const FindingList& list, std::function<void(int key)> onPick);

    QTableView* table() const { return table_; }
    QLabel* summary() const { return summary_; }
    QPushButton* actionButton() const { return action_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* closeButton() const { return close_; }
    // The text of a cell as shown (its whole text also when the column cuts it).
    QString cellText(int row, int column) const;
    int rowCount() const;

signals:
    void closed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void pick(int row);
    void hand(int key);
    void fitColumns();
    void applyColumnWidths();

    FindingList list_;
    std::function<void(int key)> onPick_;
    QLabel* title_;
    QLabel* summary_;
    QTableView* table_;
    FindingListModel* model_;
    QPushButton* action_;  // the list's own command, when it has one
    QPushButton* save_;
    QPushButton* close_;
    std::vector<int> natural_;  // widths of the columns before the message, uncut
};

}  // namespace doz
