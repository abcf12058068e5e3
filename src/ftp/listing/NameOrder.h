#pragma once

#include <QCollator>
#include <QCollatorSortKey>

#include <functional>
#include <optional>
#include <vector>

// The order of a listing: folders first, then files, each group by name in the user's locale, ignoring
// letter case, stable.
namespace listing {

// The collation names are sorted by: the user's locale, case-insensitive, digits as characters.
QCollator nameCollator();

using SortKeys = std::vector<std::optional<QCollatorSortKey>>;

// Releasing a million keys takes a while too; this shares it out.
void releaseKeys(SortKeys& keys);

// Sorts `order` (indices into `isFolder` and `keys`) folders first, then by key; entries with equal keys
// keep their order. Calls onTie with every run of two or more entries, folders and files together, whose
// keys are equal: only such entries can have the same name. onTie may run on several threads at once,
// each time with other entries.
void sortOrder(std::vector<qsizetype>& order, const std::vector<char>& isFolder, const SortKeys& keys,
               const std::function<void(const std::vector<qsizetype>&)>& onTie);

} // namespace listing
