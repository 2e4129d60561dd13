#include "qt/DateEdit.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QFrame>
#include <QHBoxLayout>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/Regional.h"
#include "qt/Italian.h"

namespace doz {

namespace {

QDate toQDate(DaySerial serial) {
    const CivilDate c = decodeDate(serial);
    return QDate(c.year, c.month, c.day);
}

}  // namespace

DateEdit::DateEdit(QWidget* parent)
    : QWidget(parent),
      edit_(new QLineEdit(this)),
      button_(new QToolButton(this)),
      popup_(new QFrame(this, Qt::Popup)),
      calendar_(new QCalendarWidget(popup_)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(edit_, 1);
    row->addWidget(button_);

    // Digits and separators only; the text is read as a date when it is asked for.
    edit_->setMaxLength(10);
    const QString separators = QStringLiteral("/.\\-") + QRegularExpression::escape(QString(QChar::fromLatin1(regional().dateSeparator)));
    edit_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9%1]*").arg(separators)), edit_));
    edit_->installEventFilter(this);
    setFocusProxy(edit_);

    button_->setText(QStringLiteral("..."));
    button_->setIcon(QIcon::fromTheme(QStringLiteral("x-office-calendar")));
    button_->setToolTip(tr("Calendario"));
    button_->setFocusPolicy(Qt::NoFocus);
    connect(button_, &QToolButton::clicked, this, &DateEdit::showCalendar);

    popup_->setFrameShape(QFrame::Box);
    auto* box = new QVBoxLayout(popup_);
    box->setContentsMargins(1, 1, 1, 1);
    box->addWidget(calendar_);
    calendar_->setGridVisible(true);
    calendar_->setFirstDayOfWeek(Qt::Monday);
    connect(calendar_, &QCalendarWidget::activated, this, &DateEdit::chooseDate);
    connect(calendar_, &QCalendarWidget::clicked, this, &DateEdit::chooseDate);
}

DaySerial DateEdit::date() const { return parseDate(edit_->text()); }

void DateEdit::setDate(DaySerial date) { edit_->setText(formatDate(date)); }

QString DateEdit::formatDate(DaySerial date) {
    if (date == 0) return {};
    return QString::fromLatin1(formatDatePattern("dd/mm/yyyy", date, regional().dateSeparator));
}

DaySerial DateEdit::parseDate(const QString& text) {
    DaySerial out = 0;
    if (!parseTypedDate(text.toLatin1().toStdString(), regional().dateSeparator, out)) return 0;
    return out;
}

bool DateEdit::hasValidText() const { return edit_->text().trimmed().isEmpty() || parseDate(edit_->text()) != 0; }

QString DateEdit::invalidTextMessage() const {
    return QStringLiteral("'%1' non \u00E8 una data valida").arg(edit_->text());
}

// Leaving the edit: a date is shown in the edit's own form; a text that is no
// date is refused and the focus goes back to it.
void DateEdit::left() {
    // Left for a command that already stopped on this text with the same message.
    if (QApplication::activeModalWidget()) return;
    // Left for the window's closing (Chiudi, Esc): the window is gone, and so is the date.
    if (!window()->isVisible()) return;
    if (edit_->text().trimmed().isEmpty()) return;
    if (hasValidText()) {
        setDate(date());
        return;
    }
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kBoxTitle), invalidTextMessage(),
                    QMessageBox::Ok, window());
    box.exec();
    edit_->setFocus(Qt::OtherFocusReason);
    edit_->selectAll();
}

void DateEdit::showCalendar() {
    const DaySerial current = date();
    calendar_->setSelectedDate(current != 0 ? toQDate(current) : toQDate(today()));
    popup_->adjustSize();
    QPoint at = mapToGlobal(QPoint(0, height()));
    if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        if (at.x() + popup_->width() > area.right()) at.setX(area.right() - popup_->width());
        if (at.y() + popup_->height() > area.bottom()) at.setY(mapToGlobal(QPoint(0, 0)).y() - popup_->height());
    }
    popup_->move(at);
    popup_->show();
    calendar_->setFocus(Qt::PopupFocusReason);
}

void DateEdit::chooseDate(const QDate& date) {
    popup_->hide();
    setDate(encodeDate(date.year(), date.month(), date.day()));
    edit_->setFocus(Qt::PopupFocusReason);
}

// Alt+Down and F4 drop the calendar down from the keyboard.
// Leaving for another window or a pop-up (the calendar) is not leaving the edit.
bool DateEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_ && event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            QMetaObject::invokeMethod(this, &DateEdit::left, Qt::QueuedConnection);
    }
    if (watched == edit_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F4 || (key->key() == Qt::Key_Down && (key->modifiers() & Qt::AltModifier))) {
            showCalendar();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace doz
