// A single-line edit with an ellipsis button beside it (the bank-file name).
// The button, or Ctrl+Enter in the edit, emits buttonClicked. The tooltip
// holds the whole text; out of focus the end of the text is shown.
#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace doz {

class BrowseEdit : public QWidget {
    Q_OBJECT
public:
    explicit BrowseEdit(QWidget* parent = nullptr);

    QLineEdit* lineEdit() const { return edit_; }
    QToolButton* button() const { return button_; }

signals:
    void buttonClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* edit_;
    QToolButton* button_;
};

}  // namespace doz
