#include "AccessibleNames.h"

#include "SpinButtons.h"
#include "TSpinEdit.h"
#include "TTimeEdit.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QTextEdit>
#include <QToolButton>

#include <optional>

namespace velmora {

namespace {

constexpr const char* kNamedBy = "velmoraNamedBy";
constexpr const char* kNameHint = "velmoraNameHint";
constexpr const char* kOurName = "velmoraAccessibleName"; // the name this unit gave

QString Caption(const QWidget* widget) {
    QString text;
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        text = label->text();
    else if (const auto* group = qobject_cast<const QGroupBox*>(widget))
        text = group->title();
    else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        text = button->text();
    text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    text = text.simplified();
    while (text.endsWith(u':'))
        text.chop(1);
    return text.trimmed();
}

bool IsControl(const QWidget* w) {
    if (const auto* label = qobject_cast<const QLabel*>(w))
        return !label->pixmap().isNull();
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QAbstractSlider*>(w) || qobject_cast<const QPlainTextEdit*>(w) ||
           qobject_cast<const QTextEdit*>(w);
}

// A label, or a check box whose caption introduces the field beside it ("Update the year to be").
const QWidget* LabelIn(const QLayoutItem* item) {
    const QWidget* w = item ? item->widget() : nullptr;
    return qobject_cast<const QLabel*>(w) || qobject_cast<const QCheckBox*>(w) ? w : nullptr;
}

// The label beside `w` in the layout that holds it: the cell to the left in a grid, or the item
// before it in a row; else the one to the right or after it ("[0.5 s] of silence at the end").
const QWidget* LabelBeside(const QLayout* layout, const QWidget* w) {
    const int index = layout->indexOf(w);
    if (index < 0) {
        for (int i = 0; i < layout->count(); ++i)
            if (const QLayout* inner = layout->itemAt(i)->layout())
                if (const QWidget* found = LabelBeside(inner, w))
                    return found;
        return nullptr;
    }
    if (const auto* grid = qobject_cast<const QGridLayout*>(layout)) {
        int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
        const QWidget* left = column > 0 ? LabelIn(grid->itemAtPosition(row, column - 1)) : nullptr;
        return left ? left : LabelIn(grid->itemAtPosition(row, column + columnSpan));
    }
    const QWidget* before = index > 0 ? LabelIn(layout->itemAt(index - 1)) : nullptr;
    return before ? before : LabelIn(layout->itemAt(index + 1));
}

// The label, group box or caption-bearing neighbour that introduces `w`, if any.
const QWidget* LabelWidget(const QWidget* w) {
    if (const auto* namedBy = w->property(kNamedBy).value<QObject*>())
        return qobject_cast<const QWidget*>(namedBy);
    const QWidget* parent = w->parentWidget();
    if (!parent)
        return nullptr;
    for (const QLabel* label : parent->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
        if (label->buddy() == w)
            return label;
    if (const QLayout* layout = parent->layout())
        if (const QWidget* label = LabelBeside(layout, w)) {
            // A list box is announced by the label it is tied to (its name is its value).
            if (auto* text = qobject_cast<QLabel*>(const_cast<QWidget*>(label));
                text && !text->buddy() && qobject_cast<const QComboBox*>(w))
                text->setBuddy(const_cast<QWidget*>(w));
            return label;
        }
    return nullptr;
}

QString LabelOf(const QWidget* w) {
    const QWidget* label = LabelWidget(w);
    return label ? Caption(label) : QString();
}

QString HintOf(const QWidget* w) {
    const QString hint = w->toolTip().isEmpty() ? w->property(kNameHint).toString() : w->toolTip();
    return hint.simplified();
}

QString Joined(const QString& label, const QString& hint) {
    if (label.isEmpty() || hint.isEmpty())
        return label.isEmpty() ? hint : label;
    return label + QStringLiteral(": ") + hint;
}

QString NameOf(const QWidget* w);

// A part of a number field is named after the field: its text box alone takes the field's name.
std::optional<QString> PartName(const QWidget* w) {
    const QWidget* parent = w->parentWidget();
    const QWidget* field = parent;
    while (field && !field->isWindow() && !qobject_cast<const TSpinEdit*>(field) &&
           !qobject_cast<const TTimeSpin*>(field))
        field = field->parentWidget();
    if (!field || field->isWindow())
        return std::nullopt;
    const bool stepButton = qobject_cast<const TSpinButtons*>(parent) != nullptr;
    const QString name = NameOf(field);
    if (stepButton) {
        const auto* buttons = static_cast<const TSpinButtons*>(parent);
        return name + (w == static_cast<const QWidget*>(buttons->upButton())
                           ? QStringLiteral(" +")
                           : QStringLiteral(" \u2212"));
    }
    if (const auto* time = qobject_cast<const TTimeSpin*>(field))
        for (int i = 0; i < 3; ++i)
            if (time->field(static_cast<TTimeSpin::Field>(i)) == w)
                return name + QStringLiteral(" (%1/3)").arg(i + 1);
    return name;
}

QString NameOf(const QWidget* w) {
    if (std::optional<QString> part = PartName(w))
        return *part;
    const QString caption =
        qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QGroupBox*>(w) ? Caption(w)
                                                                                     : QString();
    if (caption.size() > 1)
        return caption;
    QString label = LabelOf(w);
    // A field introduced by a check box's caption is told apart from the check box.
    if (!label.isEmpty() && !qobject_cast<const QAbstractButton*>(w) &&
        qobject_cast<const QCheckBox*>(LabelWidget(w)))
        label += u':';
    if (qobject_cast<const QAbstractButton*>(w))
        return Joined(label, HintOf(w));
    return label.isEmpty() ? HintOf(w) : label;
}

} // namespace

void SetNamedBy(QWidget* control, QWidget* label) {
    control->setProperty(kNamedBy, QVariant::fromValue<QObject*>(label));
}

void SetNameHint(QWidget* control, const QString& hint) {
    control->setProperty(kNameHint, hint);
}

void NameControls(QWidget* window) {
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!IsControl(w))
            continue;
        const QString given = w->accessibleName();
        if (!given.isEmpty() && given != w->property(kOurName).toString())
            continue;
        // A button with a caption of its own is named by Qt from the caption.
        const QString name = NameOf(w);
        const auto* button = qobject_cast<const QAbstractButton*>(w);
        const QString ours = button && name == Caption(w) ? QString() : name;
        w->setAccessibleName(ours);
        w->setProperty(kOurName, ours);
    }
}

} // namespace velmora
