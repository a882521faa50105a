#pragma once

#include "TimeSpinValue.h"

#include <QWidget>

#include <array>

class QKeyEvent;
class QLineEdit;
class TSpinButtons;

// A duration in whole seconds, typed into three two-digit fields (hours:minutes:seconds) or
// stepped with the up/down buttons, the keys "+"/"-" or the arrow keys. Stepping carries and
// borrows between the fields but never wraps the value around.
//
// changed() is emitted whenever the sum of the fields differs from the value last reported:
// after an edit of a field, on leaving a field, on Enter, after a step and after setValue().
// A change made while signals are blocked still counts as reported, so a QSignalBlocker around
// setValue() sets the control without an echo.
class TTimeSpin final : public QWidget {
    Q_OBJECT

public:
    enum Field { Hours = 0, Minutes = 1, Seconds = 2 };

    explicit TTimeSpin(QWidget* parent = nullptr);

    // The sum of the fields pulled into [minimum, maximum], in seconds.
    int value() const;
    // Pulls the number into [minimum, maximum], writes the fields and reports a change.
    void setValue(int seconds);

    int minimum() const;
    void setMinimum(int seconds);
    int maximum() const;
    // Also sets the field maxima; the value shown is not pulled into the new range.
    void setMaximum(int seconds);

    // Gives the three fields empty texts (no change is reported).
    void clearFields();

    // When set (the default), enabling the control sets it to 0 s and disabling it empties its
    // fields. Acts on every change of the enabled state, however it is made.
    bool resetOnOpen() const { return m_resetOnOpen; }
    void setResetOnOpen(bool reset) { m_resetOnOpen = reset; }

    void stepUp();
    void stepDown();

    QLineEdit* field(Field which) const { return m_fields[which]; }

signals:
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int FieldIndex(const QObject* watched) const;
    bool FieldKey(int index, const QKeyEvent& key);
    void Step(bool up);
    void LeaveField(int index);
    void PushToFields();
    void ReportChange();

    velmora::TimeSpinValue m_value;
    std::array<QLineEdit*, 3> m_fields{};
    TSpinButtons* m_buttons = nullptr;
    int m_active = -1;
    bool m_resetOnOpen = true;
    bool m_pushing = false;
};
