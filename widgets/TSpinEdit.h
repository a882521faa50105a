#pragma once

#include <QWidget>

class QLineEdit;
class TSpinButtons;

// A digits-only number field with up/down buttons. Unlike QSpinBox it keeps every digit typed
// (up to the length limit) and can be empty: an empty field reads as -1, which callers take as
// "no valid number". A typed number is read as it stands until the field loses the focus (or
// commit() runs); then it is clamped into the range.
class TSpinEdit final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kDefaultMaxDigits = 6;

    explicit TSpinEdit(QWidget* parent = nullptr);

    // The number in the field, or -1 when the field holds no number (empty).
    int value() const;
    // Clamps into [minimum, maximum] and shows the number; -1 empties the field.
    void setValue(int v);
    // Empties the field (value -1).
    void clear();

    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    // A new range does not touch the number shown; commit() or the next focus-out clamps it.
    // Both bounds are kept within [0, the largest number of maxDigits() digits].
    void setMinimum(int minimum);
    void setMaximum(int maximum);
    void setRange(int minimum, int maximum);

    int maxDigits() const { return m_maxDigits; }
    void setMaxDigits(int digits);

    QLineEdit* lineEdit() const { return m_edit; }

    // Clamps a typed number into the range now, as leaving the field does. An empty field stays
    // empty.
    void commit();

    void stepUp();
    void stepDown();

signals:
    // On every change of the field's text, typed or programmatic; -1 when it became empty.
    void valueChanged(int value);
    // After the field was committed by losing the focus or by Enter.
    void editingFinished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void StepBy(int delta);
    int LargestNumber() const;

    QLineEdit* m_edit = nullptr;
    TSpinButtons* m_buttons = nullptr;
    int m_minimum = 0;
    int m_maximum = 999999;
    int m_maxDigits = kDefaultMaxDigits;
};
