#pragma once

#include <Qt>

class DefaultsStore;

// How the file list orders entries: folders always come first, each group by one column.
struct FileSort {
    enum class Column { name, size, modified };
    Column column = Column::name;
    Qt::SortOrder order = Qt::AscendingOrder;

    friend bool operator==(const FileSort&, const FileSort&) = default;
};

// The file list's look, one per user: the plain list or the details columns, and the sort. Kept as one
// small value ("Kalvor.view") beside the saved connections; a value that cannot be read counts as none.
struct FileViewSettings {
    enum class Mode { list, details };
    Mode mode = Mode::list;
    FileSort sort;

    static FileViewSettings load(const DefaultsStore& store);
    // A preference that cannot be written is not worth an error: the window simply forgets it.
    void save(DefaultsStore& store) const;

    friend bool operator==(const FileViewSettings&, const FileViewSettings&) = default;
};
