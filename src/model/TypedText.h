#pragma once

#include <QChar>
#include <QString>

namespace typedtext {

// What the user typed without the blanks around it (tabs and every Unicode space separator); blanks inside
// stay. A folder name or a host that is only blanks is no name at all.
inline QString trimmed(const QString& text) {
    const auto isBlank = [](QChar c) { return c == u'\t' || c.category() == QChar::Separator_Space; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace typedtext
