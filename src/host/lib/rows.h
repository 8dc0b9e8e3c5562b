// Listings in the three forms people ask for: an aligned table for the
// terminal, TSV for spreadsheets and pandas, JSON Lines for jq. TSV and
// JSON hold every digit of every value, a table ten significant digits; an
// empty cell is "-" in a table, empty in TSV and null in JSON.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace orvohost {

enum class Format { TABLE, TSV, JSON };

using Cell = std::variant<std::monostate, std::int64_t, double, std::string>;
using Row = std::vector<Cell>;

// A column of a listing: its name, and what a table shows where a row has
// no value (TSV leaves the cell empty, JSON gives null).
struct Column {
    Column(std::string column_name, std::string missing = "-")
        : name(std::move(column_name)), table_missing(std::move(missing)) {}
    Column(const char* column_name) : Column(std::string(column_name)) {}

    std::string name;
    std::string table_missing;
};

// Shortest text that reads back as the same double; "nan"/"inf" never
// reach JSON (they become null there).
std::string number_text(double value);

class RowWriter {
public:
    virtual ~RowWriter() = default;
    // Appends the row's text to `out` (a table keeps its rows until finish,
    // to align the columns).
    virtual void row(const Row& cells, std::string& out) = 0;
    virtual void finish(std::string& out) = 0;
};

std::unique_ptr<RowWriter> make_row_writer(Format format, std::vector<Column> columns);

} // namespace orvohost
