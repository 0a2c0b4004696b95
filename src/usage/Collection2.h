#pragma once

#include "usage/clsUsageRec.h"

#include <QList>

#include <memory>

/// Usage records in ascending date order, at most one per date. Records are shared: an added
/// record that starts a new date is stored itself, not a copy.
class Collection2 final {
public:
    using Rec = std::shared_ptr<clsUsageRec>;

    /// Inserts the record in date order, or sums its four amounts into the record of its date.
    void Add(const Rec& record);
    /// Number of records.
    int Count() const { return int(items_.size()); }
    /// The record at a 1-based position.
    const Rec& Item(int position) const { return items_.at(position - 1); }
    /// Removes the record at a 1-based position.
    void Remove(int position) { items_.removeAt(position - 1); }

    /// Iteration from the oldest to the newest date.
    QList<Rec>::const_iterator begin() const { return items_.cbegin(); }
    /// End of iteration.
    QList<Rec>::const_iterator end() const { return items_.cend(); }

private:
    QList<Rec> items_;
};
