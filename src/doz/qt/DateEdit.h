// A date edit that may be empty: a line edit showing dd/mm/yyyy with the
// regional date separator, and a button that drops a calendar down under it.
// An empty or unreadable text is the zero date (no date).
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

    DaySerial date() const;
    void setDate(DaySerial date);  // 0 empties the edit

    QLineEdit* lineEdit() const { return edit_; }
    QToolButton* button() const { return button_; }
    // The drop-down calendar (created with the edit, shown by the button).
    QCalendarWidget* calendar() const { return calendar_; }
    QFrame* popup() const { return popup_; }

    void showCalendar();

    // Texts of the edit, for a date and back: "dd/mm/yyyy" with the regional
    // separator; a two-digit year is taken in 1950..2049. Zero when the text is
    // empty or no valid date.
    static QString formatDate(DaySerial date);
    static DaySerial parseDate(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void chooseDate(const QDate& date);

    QLineEdit* edit_;
    QToolButton* button_;
    QFrame* popup_;
    QCalendarWidget* calendar_;
};

}  // namespace doz
