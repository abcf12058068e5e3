#pragma once

#include <QString>

// Canonically equivalent texts (precomposed "é" and "e" + combining accent) count as equal.
inline bool sameText(const QString& a, const QString& b) {
    return a == b || a.normalized(QString::NormalizationForm_C) == b.normalized(QString::NormalizationForm_C);
}

inline QString canonicalText(const QString& text) {
    return text.normalized(QString::NormalizationForm_C);
}
