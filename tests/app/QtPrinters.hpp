#pragma once

#include <QColor>
#include <QString>

#include <ostream>

// Readable failure messages for Qt values: GoogleTest finds these by argument-dependent lookup.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QColor& color, std::ostream* os) {
    *os << "rgba(" << color.redF() << ", " << color.greenF() << ", " << color.blueF() << ", "
        << color.alphaF() << ")";
}
