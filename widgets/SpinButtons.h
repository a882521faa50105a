#pragma once

#include <QWidget>

class QToolButton;

// The pair of small up/down arrow buttons at the right of the number fields. They never take
// the focus, so a click steps the field that has it; held down, they repeat.
class TSpinButtons final : public QWidget {
    Q_OBJECT

public:
    explicit TSpinButtons(QWidget* parent = nullptr);

    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void stepUp();
    void stepDown();

private:
    QToolButton* m_up = nullptr;
    QToolButton* m_down = nullptr;
};
