// Listings in the three forms people ask for: an aligned table for the
// terminal, TSV for spreadsheets and pandas, JSON Lines for jq. Every form
// writes a number alike, as short as exact; an empty cell is "-" in a
// table, empty in TSV and null in JSON.
#pragma once

#include "number_text.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace orvohost {

enum class Format { TABLE, TSV, JSON };

// A float is a value known to be exactly a 32-bit one (a peak of a 32-bit
// file), written with the float's digits.
using Cell = std::variant<std::monostate, std::int64_t, double, std::string, float>;
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

class RowWriter {
public:
    virtual ~RowWriter() = default;
    // Appends the row's text to `out` (a table keeps its rows until finish,
    // to align the columns).
    virtual void row(const Row& cells, std::string& out) = 0;
    virtual void finish(std::string& out) = 0;
};

std::unique_ptr<RowWriter> make_row_writer(Format format, std::vector<Column> columns);

// A JSON value appended to `out`: a number as short as exact (null when it
// is not finite; as a 32-bit float when `single`); a string quoted and
// escaped (invalid UTF-8 replaced).
void append_json_number(std::string& out, double value, bool single = false);
void append_json_string(std::string& out, std::string_view text);

} // namespace orvohost
