#pragma once

// Small builders shared by the files that lay out the Options window's pages.

#include "TSpinEdit.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include <initializer_list>

namespace velmora::options_layout {

template <typename T> T* Named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

inline QLabel* Text(const char* name, const QString& text, QWidget* parent) {
    auto* label = Named(new QLabel(text, parent), name);
    label->setWordWrap(true);
    return label;
}

inline QCheckBox* Box(const char* name, const QString& caption, QWidget* parent) {
    return Named(new QCheckBox(caption, parent), name);
}

inline QComboBox* List(const char* name, const QStringList& items, QWidget* parent) {
    auto* box = Named(new QComboBox(parent), name);
    box->addItems(items);
    return box;
}

inline TSpinEdit* Spin(const char* name, int minimum, int maximum, QWidget* parent, int digits) {
    auto* spin = Named(new TSpinEdit(parent), name);
    spin->setMaxDigits(digits);
    spin->setRange(minimum, maximum);
    spin->setFixedWidth(70);
    return spin;
}

// A row of controls that keep their natural width, left-aligned; its labels stay on one line.
inline QHBoxLayout* Row(std::initializer_list<QWidget*> widgets) {
    auto* row = new QHBoxLayout;
    for (QWidget* w : widgets) {
        if (auto* label = qobject_cast<QLabel*>(w))
            label->setWordWrap(false);
        row->addWidget(w);
    }
    row->addStretch(1);
    return row;
}

} // namespace velmora::options_layout
