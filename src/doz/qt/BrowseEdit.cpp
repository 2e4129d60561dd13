#include "qt/BrowseEdit.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

namespace doz {

BrowseEdit::BrowseEdit(QWidget* parent) : QWidget(parent), edit_(new QLineEdit(this)), button_(new QToolButton(this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(edit_, 1);
    row->addWidget(button_);
    setFocusProxy(edit_);
    edit_->installEventFilter(this);

    button_->setText(QStringLiteral("..."));
    button_->setFocusPolicy(Qt::NoFocus);
    connect(button_, &QToolButton::clicked, this, &BrowseEdit::buttonClicked);

    // The whole path in the tooltip; out of focus the edit shows the end of the
    // path, so the file name is whole and only the folder may be cut on the left.
    connect(edit_, &QLineEdit::textChanged, this, [this](const QString& text) {
        edit_->setToolTip(text);
        if (!edit_->hasFocus()) edit_->setCursorPosition(static_cast<int>(text.size()));
    });
}

bool BrowseEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_ && event->type() == QEvent::FocusOut) edit_->setCursorPosition(static_cast<int>(edit_->text().size()));
    if (watched == edit_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && (key->modifiers() & Qt::ControlModifier)) {
            button_->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace doz
