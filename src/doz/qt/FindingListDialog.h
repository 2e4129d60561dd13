// The list of findings of Controlla: a summary, one row per finding, a button
// that saves the list as a text file and one that closes it. The window stays
// usable while the list is open; a double click on a row hands its key back.
#pragma once

#include <QDialog>
#include <functional>

#include "platform/WindowPort.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace doz {

class FindingListDialog : public QDialog {
    Q_OBJECT
public:
    // `save` asks for a file name and writes the text form (the window's save dialog and error report).
    FindingListDialog(const FindingList& list, std::function<void(int key)> onPick,
                      std::function<void(const std::string& textForm)> save, QWidget* parent);

    QTableWidget* table() const { return table_; }
    QLabel* summary() const { return summary_; }
    QPushButton* saveButton() const { return save_; }

private:
    FindingList list_;
    QLabel* summary_;
    QTableWidget* table_;
    QPushButton* save_;
};

}  // namespace doz
