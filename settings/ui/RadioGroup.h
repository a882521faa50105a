#pragma once

#include <QGroupBox>
#include <QStringList>

// A captioned group of radio buttons chosen by item index (-1: none); the buttons' ids are
// their item indices. Language files see it as one control with an "Items" list.
class TRadioGroup final : public QGroupBox {
    Q_OBJECT

public:
    TRadioGroup(const char* name, const QString& caption, const QStringList& items,
                QWidget* parent);

    int itemIndex() const;
    void setItemIndex(int index);
    QStringList items() const;
    // Renames the buttons; extra names are dropped and missing ones keep their text.
    void setItems(const QStringList& items);

signals:
    // A button became checked, by the user or by setItemIndex.
    void clicked(int index);

private:
    QList<class QRadioButton*> m_buttons;
};
