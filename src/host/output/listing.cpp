#include "listing.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace orvohost {

namespace {

// A table shows the digits TSV and JSON give, so that a value read off the
// screen is the one a script reads.
std::string cell_text(const Cell& cell, const char* empty) {
    if (const auto* i = std::get_if<std::int64_t>(&cell))
        return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&cell))
        return number_text(*d);
    if (const auto* f = std::get_if<float>(&cell)) {
        std::string text;
        append_as_float(text, *f);
        return text;
    }
    if (const auto* s = std::get_if<std::string>(&cell))
        return *s;
    return empty;
}

std::vector<std::string> column_names(const std::vector<Column>& columns) {
    std::vector<std::string> names;
    for (const Column& column : columns)
        names.push_back(column.name);
    return names;
}

class TsvWriter : public RowWriter {
public:
    explicit TsvWriter(const std::vector<Column>& names) : columns(column_names(names)) {}
    void row(const Row& cells, std::string& out) override {
        if (!header_done) {
            append(columns, out);
            header_done = true;
        }
        std::vector<std::string> texts;
        for (const Cell& cell : cells) {
            std::string text = cell_text(cell, "");
            // A tab or line break inside a value would shift every column after it.
            std::replace_if(
                text.begin(), text.end(),
                [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
            texts.push_back(std::move(text));
        }
        append(texts, out);
    }
    void finish(std::string& out) override {
        if (!header_done)
            append(columns, out);
        header_done = true;
    }

private:
    static void append(const std::vector<std::string>& texts, std::string& out) {
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (i)
                out.push_back('\t');
            out += texts[i];
        }
        out.push_back('\n');
    }
    std::vector<std::string> columns;
    bool header_done = false;
};

class JsonWriter : public RowWriter {
public:
    explicit JsonWriter(const std::vector<Column>& names) {
        for (const Column& column : names) {
            std::string key;
            append_json_string(key, column.name);
            keys.push_back(std::move(key));
        }
    }
    void row(const Row& cells, std::string& out) override {
        out.push_back('{');
        for (std::size_t i = 0; i < keys.size() && i < cells.size(); ++i) {
            if (i)
                out.push_back(',');
            out += keys[i];
            out.push_back(':');
            const Cell& cell = cells[i];
            if (const auto* n = std::get_if<std::int64_t>(&cell))
                fmt::format_to(std::back_inserter(out), "{}", *n);
            else if (const auto* d = std::get_if<double>(&cell))
                append_json_number(out, *d);
            else if (const auto* f = std::get_if<float>(&cell))
                append_json_number(out, *f, true);
            else if (const auto* s = std::get_if<std::string>(&cell))
                append_json_string(out, *s);
            else
                out += "null";
        }
        out += "}\n";
    }
    void finish(std::string&) override {}

private:
    std::vector<std::string> keys; // quoted
};

class TableWriter : public RowWriter {
public:
    explicit TableWriter(std::vector<Column> specs)
        : columns(column_names(specs)), missing(std::move(specs)) {
        numeric.assign(this->columns.size(), true);
    }
    void row(const Row& cells, std::string&) override {
        std::vector<std::string> texts;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (std::holds_alternative<std::string>(cells[i]) && i < numeric.size())
                numeric[i] = false;
            const char* empty = i < missing.size() ? missing[i].table_missing.c_str() : "-";
            texts.push_back(cell_text(cells[i], empty));
        }
        rows.push_back(std::move(texts));
    }
    void finish(std::string& out) override {
        std::vector<std::size_t> width(columns.size());
        for (std::size_t i = 0; i < columns.size(); ++i)
            width[i] = columns[i].size();
        for (const auto& texts : rows)
            for (std::size_t i = 0; i < texts.size() && i < width.size(); ++i)
                width[i] = std::max(width[i], texts[i].size());
        append(columns, width, out);
        for (const auto& texts : rows)
            append(texts, width, out);
        rows.clear();
    }

private:
    void append(const std::vector<std::string>& texts, const std::vector<std::size_t>& width,
                std::string& out) const {
        std::string line;
        for (std::size_t i = 0; i < texts.size() && i < width.size(); ++i) {
            if (i)
                line += "  ";
            // Numbers align right so their digits line up; words align left.
            if (numeric[i])
                line += fmt::format("{:>{}}", texts[i], width[i]);
            else
                line += fmt::format("{:<{}}", texts[i], width[i]);
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line;
        out.push_back('\n');
    }
    std::vector<std::string> columns;
    std::vector<Column> missing;
    std::vector<bool> numeric;
    std::vector<std::vector<std::string>> rows;
};

} // namespace

void append_json_number(std::string& out, double value, bool single) {
    if (!std::isfinite(value))
        out += "null";
    else if (single)
        append_as_float(out, value);
    else
        append_number(out, value);
}

void append_json_string(std::string& out, std::string_view text) {
    // Plain text is copied as it is; anything that needs escaping or
    // checking goes through the JSON library.
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 && byte < 0x80 && c != '"' && c != '\\';
    });
    if (plain) {
        out.push_back('"');
        out += text;
        out.push_back('"');
        return;
    }
    out += nlohmann::json(std::string(text))
               .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::unique_ptr<RowWriter> make_row_writer(Format format, std::vector<Column> columns) {
    switch (format) {
    case Format::TSV:
        return std::make_unique<TsvWriter>(columns);
    case Format::JSON:
        return std::make_unique<JsonWriter>(columns);
    case Format::TABLE:
        break;
    }
    return std::make_unique<TableWriter>(std::move(columns));
}

} // namespace orvohost
