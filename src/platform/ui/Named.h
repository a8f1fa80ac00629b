#pragma once
// Gives a widget (or a layout, a timer...) its object name, the name tests and
// the hint line look it up by, and a widget its hint.
#include <QString>
#include <QWidget>

#include <type_traits>

template <class W> W* Named(W* w, const QString& name, const QString& hint = QString()) {
    w->setObjectName(name);
    if constexpr (std::is_base_of_v<QWidget, W>)
        if (!hint.isEmpty()) w->setToolTip(hint);
    return w;
}
