// Messages and the message catalog.
//
// MsgCatalog turns a message identifier into text: from the catalog file for
// the user's language, falling back to British English (0809), then from the
// operating system's own texts, and finally to the sentence
//     Message 0x<identifier in lower-case hex> not found in the catalog.
// It never fails for a missing text. A catalog with an empty name loads no
// file and only reads system texts (the process-wide catalog behind
// PAL::WindowsError is such a one).
//
// On Windows a catalog is a message-table library, prefix() + name +
// language + ".dll", loaded as a data file; elsewhere it is a text file of
// the format below, with ".msg" in place of ".dll".
//
// Catalog file format
// -------------------
// One file per language, named prefix() + name + language + ".msg", where the
// language is four lower-case hexadecimal digits (0409 US English, 0809
// British English, 040c French). The file is UTF-8 text (an initial byte
// order mark is allowed) made of entries:
//
//     # a comment line (only where an entry may start)
//     0xC8020002 = Cannot open the file %1.
//     0xC8020003 = Cannot open the file %1:
//      %2
//
// An entry starts at the beginning of a line with a hexadecimal identifier
// and its 0x prefix, then "=", then the text (blanks around "=" are ignored). Each following line
// that starts with a blank or a tab continues the text: the text gets a line
// break and the line without its first blank. Blank lines end an entry.
// Insert markers %1 to %99 stay in the text as they are written; the host
// inserts arguments by position. Trailing white space of a text is removed.
// Lines that fit none of these forms are ignored; a later entry for the same
// identifier replaces an earlier one.
#pragma once

#include <pal/api.h>
#include <pal/message.h>
#include <pal/mutex.h>

#include <cstdint>
#include <locale>
#include <map>
#include <memory>
#include <string>

namespace PAL {

class PAL_API MsgCatalog {
public:
    explicit MsgCatalog(const std::wstring& name);
    virtual ~MsgCatalog();
    MsgCatalog(const MsgCatalog&) = delete;
    MsgCatalog& operator=(const MsgCatalog&) = delete;

    // Directory put before catalog file names, ending in a separator; empty
    // by default (file names are then relative to the working directory).
    virtual std::wstring prefix() const;

    // The text for `id`; never raises for a missing text.
    std::wstring message_text(std::uint32_t id);

protected:
    bool load();
    bool load_language(const std::wstring& code);
    bool lookup(std::uint32_t id, bool from_module, std::wstring& text);

public:
    CriticalSection lock;
    bool loaded;
    std::wstring name;
    std::locale locale;
    // The loaded catalog library, opaque: the platform backend's handle.
    void* module;
};

// The user's language as four lower-case hexadecimal digits (0409, 0809...).
PAL_API std::wstring user_language_code();

// The user's default locale, made from the empty locale name. When the
// environment names a locale that this machine does not have, the classic
// locale is used instead of letting the standard library's error escape.
PAL_API std::locale user_default_locale();

} // namespace PAL
