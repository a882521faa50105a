#include "RadioGroup.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

TRadioGroup::TRadioGroup(const char* name, const QString& caption, const QStringList& items,
                         QWidget* parent)
    : QGroupBox(caption, parent) {
    setObjectName(QLatin1String(name));
    auto* column = new QVBoxLayout(this);
    auto* group = new QButtonGroup(this);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        group->addButton(button, i);
        column->addWidget(button);
        m_buttons.push_back(button);
    }
    connect(group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            emit clicked(id);
    });
}

int TRadioGroup::itemIndex() const {
    for (int i = 0; i < m_buttons.size(); ++i)
        if (m_buttons[i]->isChecked())
            return i;
    return -1;
}

void TRadioGroup::setItemIndex(int index) {
    if (index >= 0 && index < m_buttons.size()) {
        m_buttons[index]->setChecked(true);
        return;
    }
    // An exclusive group keeps one button checked: lift that while clearing.
    QButtonGroup* group = m_buttons.isEmpty() ? nullptr : m_buttons.front()->group();
    if (!group)
        return;
    group->setExclusive(false);
    for (QRadioButton* button : m_buttons)
        button->setChecked(false);
    group->setExclusive(true);
}

QStringList TRadioGroup::items() const {
    QStringList out;
    for (const QRadioButton* button : m_buttons)
        out.push_back(button->text());
    return out;
}

void TRadioGroup::setItems(const QStringList& items) {
    for (int i = 0; i < m_buttons.size() && i < items.size(); ++i)
        m_buttons[i]->setText(items[i]);
}
