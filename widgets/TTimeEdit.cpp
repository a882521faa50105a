#include "TTimeEdit.h"

#include "SpinButtons.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QStyleOptionFrame>

namespace {

using velmora::TimeSpinValue;

// Room for the cursor beside the two digits.
constexpr int kCursorRoom = 2;

// A frameless two-digit field as wide as "00" in the current font.
class TwoDigitEdit final : public QLineEdit {
public:
    explicit TwoDigitEdit(QWidget* parent) : QLineEdit(parent) {
        setFrame(false);
        setMaxLength(2);
        setAlignment(Qt::AlignCenter);
        setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,2}"), this));
        setText(QStringLiteral("00"));
    }

    QSize sizeHint() const override {
        ensurePolished();
        const QFontMetrics metrics(font());
        const QMargins margins = textMargins();
        // Half a character more keeps the digits clear of the colons and the buttons.
        const int width = metrics.horizontalAdvance(QStringLiteral("00")) +
                          metrics.averageCharWidth() / 2 + kCursorRoom + margins.left() +
                          margins.right();
        return {width, QLineEdit::sizeHint().height()};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }
};

} // namespace

TTimeSpin::TTimeSpin(QWidget* parent) : QWidget(parent) {
    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    panel->setBackgroundRole(QPalette::Base);
    panel->setAutoFillBackground(true);

    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(panel->frameWidth(), panel->frameWidth(), 0, 0);
    row->setSpacing(0);
    for (int index = 0; index < TimeSpinValue::kFieldCount; ++index) {
        if (index > 0)
            row->addWidget(new QLabel(QStringLiteral(":"), panel));
        auto* field = new TwoDigitEdit(panel);
        field->installEventFilter(this);
        m_fields[index] = field;
        row->addWidget(field);
        connect(field, &QLineEdit::textChanged, this, [this, index](const QString& text) {
            m_value.SetText(index, text.toStdString());
            if (!m_pushing)
                ReportChange();
        });
    }
    m_buttons = new TSpinButtons(panel);
    row->addWidget(m_buttons);

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(panel);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusProxy(m_fields[Hours]);
    setTabOrder(m_fields[Hours], m_fields[Minutes]);
    setTabOrder(m_fields[Minutes], m_fields[Seconds]);

    connect(m_buttons, &TSpinButtons::stepUp, this, &TTimeSpin::stepUp);
    connect(m_buttons, &TSpinButtons::stepDown, this, &TTimeSpin::stepDown);
}

int TTimeSpin::value() const {
    return m_value.Value();
}

void TTimeSpin::setValue(int seconds) {
    m_value.SetValue(seconds);
    PushToFields();
    ReportChange();
}

int TTimeSpin::minimum() const {
    return m_value.Minimum();
}

void TTimeSpin::setMinimum(int seconds) {
    m_value.SetMinimum(seconds);
}

int TTimeSpin::maximum() const {
    return m_value.Maximum();
}

void TTimeSpin::setMaximum(int seconds) {
    m_value.SetMaximum(seconds);
}

void TTimeSpin::clearFields() {
    m_value.ClearTexts();
    PushToFields();
}

void TTimeSpin::stepUp() {
    Step(true);
}

void TTimeSpin::stepDown() {
    Step(false);
}

void TTimeSpin::Step(bool up) {
    const int field = m_value.StepField(m_active);
    if (field != m_active) {
        m_fields[field]->setFocus(Qt::OtherFocusReason);
        m_active = field;
    }
    if (up)
        m_value.StepUp(field);
    else
        m_value.StepDown(field);
    PushToFields();
    ReportChange();
}

void TTimeSpin::LeaveField(int index) {
    m_value.TidyField(index);
    PushToFields();
    ReportChange();
}

void TTimeSpin::PushToFields() {
    m_pushing = true;
    for (int index = 0; index < TimeSpinValue::kFieldCount; ++index) {
        const QString text = QString::fromStdString(m_value.Text(index));
        if (m_fields[index]->text() != text)
            m_fields[index]->setText(text);
    }
    m_pushing = false;
}

void TTimeSpin::ReportChange() {
    if (m_value.TakeChange())
        emit changed();
}

int TTimeSpin::FieldIndex(const QObject* watched) const {
    for (int index = 0; index < TimeSpinValue::kFieldCount; ++index)
        if (m_fields[index] == watched)
            return index;
    return -1;
}

bool TTimeSpin::FieldKey(int index, const QKeyEvent& key) {
    switch (key.key()) {
    case Qt::Key_Up:
    case Qt::Key_Plus:
        stepUp();
        return true;
    case Qt::Key_Down:
    case Qt::Key_Minus:
        stepDown();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        const int next = (index + 1) % TimeSpinValue::kFieldCount;
        LeaveField(index);
        m_fields[next]->setFocus(Qt::TabFocusReason);
        m_active = next;
        ReportChange();
        return true;
    }
    default:
        return false;
    }
}

bool TTimeSpin::eventFilter(QObject* watched, QEvent* event) {
    const int index = FieldIndex(watched);
    if (index < 0)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::FocusIn:
        m_active = index;
        break;
    case QEvent::FocusOut:
        LeaveField(index);
        if (m_active == index)
            m_active = -1;
        break;
    case QEvent::KeyPress:
        if (FieldKey(index, *static_cast<QKeyEvent*>(event)))
            return true;
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void TTimeSpin::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::EnabledChange || !m_resetOnOpen)
        return;
    if (isEnabled())
        setValue(0);
    else
        clearFields();
}
