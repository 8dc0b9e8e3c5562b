// A start tag written attribute by attribute, with what a layout puts
// between two attributes: a blank, or a line break and an indentation.
#pragma once

#include "counted_output.h"
#include "xml_numbers.h"

#include <cstdint>
#include <string_view>

namespace mkmzxml {

class StartTagWriter {
public:
    // Writes "<name"; `between` stands before every attribute but the first,
    // which follows the name after one blank.
    StartTagWriter(OutputFile& output, std::string_view name, std::string_view separator)
        : out(output), between(separator) {
        out.write("<");
        out.write(name);
    }

    // Writes ` name="` (or the separator and `name="`); the caller writes
    // the value's text and then calls end_value().
    OutputFile& begin_value(std::string_view name) {
        out.write(first ? std::string_view(" ") : between);
        first = false;
        out.write(name);
        out.write("=\"");
        return out;
    }
    void end_value() { out.write("\""); }

    void text(std::string_view name, std::string_view value) {
        begin_value(name).write(value);
        end_value();
    }
    void uint(std::string_view name, std::uint64_t value) {
        write_uint(begin_value(name), value);
        end_value();
    }

    // Ends the tag with ">", or with what `close` says.
    void close(std::string_view close = ">") { out.write(close); }

private:
    OutputFile& out;
    std::string_view between;
    bool first = true;
};

} // namespace mkmzxml
