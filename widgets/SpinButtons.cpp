#include "SpinButtons.h"

#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QToolButton* MakeArrowButton(Qt::ArrowType arrow, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
    // The pair shares the height of the field beside it.
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    return button;
}

} // namespace

TSpinButtons::TSpinButtons(QWidget* parent) : QWidget(parent) {
    m_up = MakeArrowButton(Qt::UpArrow, this);
    m_down = MakeArrowButton(Qt::DownArrow, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_up);
    layout->addWidget(m_down);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    connect(m_up, &QToolButton::clicked, this, &TSpinButtons::stepUp);
    connect(m_down, &QToolButton::clicked, this, &TSpinButtons::stepDown);
}

QSize TSpinButtons::sizeHint() const {
    // As wide as the style's scroll bar, so the arrows look at home in any style and font.
    const int width = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    return {width, fontMetrics().height()};
}

QSize TSpinButtons::minimumSizeHint() const {
    return sizeHint();
}
