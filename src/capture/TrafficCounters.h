#pragma once

#include <QtGlobal>

/// Which way a counted frame went, seen from the monitored adapter.
enum class Direction : quint8 {
    Download = 0, ///< addressed to one of the local addresses (row "Download", received)
    Upload = 1,   ///< sent from one of the local addresses (row "Upload", sent)
    Passby = 2,   ///< neither end is local (row "Pass-by")
};

/// Twelve byte counts: rows received, sent, pass-by and total; columns transfer, data, headers.
/// Transfer = Data + Headers in every row and Total = the sum of the three direction rows, as
/// long as every addition goes through add().
class TrafficCounters final {
public:
    /// Row of the table.
    enum Row : int { Received = 0, Sent = 1, Passthru = 2, Total = 3 };
    /// Column of the table.
    enum Column : int { Transfer = 0, Data = 1, Headers = 2 };
    /// Number of rows and columns.
    static constexpr int kRows = 4;
    static constexpr int kColumns = 3;

    /// The row that counts a direction.
    static constexpr Row rowOf(Direction direction) { return static_cast<Row>(direction); }

    /// Adds one frame: the Total row first, then the row of its direction.
    void add(Direction direction, double transfer, double data, double headers) {
        double* total = cells_[Total];
        total[Transfer] += transfer;
        total[Data] += data;
        total[Headers] += headers;
        double* row = cells_[rowOf(direction)];
        row[Transfer] += transfer;
        row[Data] += data;
        row[Headers] += headers;
    }

    /// One count.
    double value(Row row, Column column) const { return cells_[row][column]; }
    /// The transfer count of a row.
    double transfer(Row row) const { return cells_[row][Transfer]; }

    /// Sets all twelve counts to 0.
    void reset();

    /// True when every count equals the other's.
    bool operator==(const TrafficCounters& other) const;

private:
    double cells_[kRows][kColumns] = {};
};
