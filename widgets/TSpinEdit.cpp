#include "TSpinEdit.h"

#include "SpinButtons.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QStyleOptionFrame>

#include <algorithm>

namespace {

// Room for the cursor and the line edit's inner margins beside the digits themselves.
constexpr int kTextSlack = 6;

// A line edit as wide as its longest number in the current font, not the usual 17 characters.
class DigitsEdit final : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

    QSize sizeHint() const override {
        ensurePolished();
        const QFontMetrics metrics(font());
        const QMargins margins = textMargins();
        const int digits = std::max(1, maxLength());
        const int width = metrics.horizontalAdvance(QString(digits, u'9')) + kTextSlack +
                          margins.left() + margins.right();
        QStyleOptionFrame option;
        initStyleOption(&option);
        const QSize base = QLineEdit::sizeHint();
        const QSize framed =
            style()->sizeFromContents(QStyle::CT_LineEdit, &option, QSize(width, 0), this);
        return {framed.width(), base.height()};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }
};

QString DigitsPattern(int digits) {
    return QStringLiteral("[0-9]{0,%1}").arg(digits);
}

} // namespace

TSpinEdit::TSpinEdit(QWidget* parent) : QWidget(parent) {
    m_edit = new DigitsEdit(this);
    m_edit->setMaxLength(m_maxDigits);
    m_edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(DigitsPattern(m_maxDigits)), m_edit));
    m_edit->installEventFilter(this);
    m_buttons = new TSpinButtons(this);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_buttons);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setFocusProxy(m_edit);

    connect(m_edit, &QLineEdit::textChanged, this, [this] { emit valueChanged(value()); });
    connect(m_buttons, &TSpinButtons::stepUp, this, &TSpinEdit::stepUp);
    connect(m_buttons, &TSpinButtons::stepDown, this, &TSpinEdit::stepDown);
}

int TSpinEdit::value() const {
    bool ok = false;
    const int number = m_edit->text().toInt(&ok);
    return ok && number >= 0 ? number : -1;
}

void TSpinEdit::setValue(int v) {
    if (v == -1) {
        m_edit->clear();
        return;
    }
    m_edit->setText(QString::number(std::clamp(v, m_minimum, m_maximum)));
}

void TSpinEdit::clear() {
    m_edit->clear();
}

void TSpinEdit::setMinimum(int minimum) {
    setRange(minimum, std::max(minimum, m_maximum));
}

void TSpinEdit::setMaximum(int maximum) {
    setRange(std::min(m_minimum, maximum), maximum);
}

void TSpinEdit::setRange(int minimum, int maximum) {
    m_minimum = std::clamp(minimum, 0, LargestNumber());
    m_maximum = std::clamp(maximum, m_minimum, LargestNumber());
}

void TSpinEdit::setMaxDigits(int digits) {
    m_maxDigits = std::clamp(digits, 1, 9);
    m_edit->setMaxLength(m_maxDigits);
    m_edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(DigitsPattern(m_maxDigits)), m_edit));
    setRange(m_minimum, m_maximum);
    m_edit->updateGeometry();
}

void TSpinEdit::commit() {
    const int typed = value();
    if (typed < 0)
        return;
    const int clamped = std::clamp(typed, m_minimum, m_maximum);
    if (clamped != typed)
        setValue(clamped);
}

void TSpinEdit::stepUp() {
    StepBy(1);
}

void TSpinEdit::stepDown() {
    StepBy(-1);
}

void TSpinEdit::StepBy(int delta) {
    // Clamped here, not in setValue(): a step down from 0 must not reach -1 and empty the field.
    const int current = value();
    const int next = current < 0 ? m_minimum : current + delta;
    setValue(std::clamp(next, m_minimum, m_maximum));
}

int TSpinEdit::LargestNumber() const {
    int largest = 9;
    for (int i = 1; i < m_maxDigits; ++i)
        largest = largest * 10 + 9;
    return largest;
}

bool TSpinEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_edit)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::FocusOut) {
        commit();
        emit editingFinished();
    } else if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Up:
            stepUp();
            return true;
        case Qt::Key_Down:
            stepDown();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            commit();
            emit editingFinished();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
