// A date edit that may be empty: a line edit showing dd/mm/yyyy with the
// regional date separator, and a button that drops a calendar down under it.
// The clerk may type the date in any common form (parseTypedDate); leaving the
// edit for another control of the window with a text that is no date shows
// "'<text>' non è una data valida" and puts the focus back. An empty text is
// the zero date (no date).
#pragma once

#include <QWidget>

#include "platform/Dates.h"

class QCalendarWidget;
class QFrame;
class QLineEdit;
class QToolButton;

namespace doz {

class DateEdit : public QWidget {
    Q_OBJECT
public:
    explicit DateEdit(QWidget* parent = nullptr);

    // The zero date also when the text is no date (see hasValidText).
    DaySerial date() const;
    void setDate(DaySerial date);  // 0 empties the edit

    QLineEdit* lineEdit() const { return edit_; }
    QToolButton* button() const { return button_; }
    // The drop-down calendar (created with the edit, shown by the button).
    QCalendarWidget* calendar() const { return calendar_; }
    QFrame* popup() const { return popup_; }

    void showCalendar();

    // False when the edit holds a text that is not a date.
    bool hasValidText() const;
    // "'<text>' non è una data valida" for the text as it stands.
    QString invalidTextMessage() const;

    // Texts of the edit, for a date and back: "dd/mm/yyyy" with the regional
    // separator; read in every typed form of parseTypedDate. Zero when the text
    // is empty or no valid date.
    static QString formatDate(DaySerial date);
    static DaySerial parseDate(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void chooseDate(const QDate& date);
    void left();

    QLineEdit* edit_;
    QToolButton* button_;
    QFrame* popup_;
    QCalendarWidget* calendar_;
};

}  // namespace doz
