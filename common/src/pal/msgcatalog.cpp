#include <pal/msgcatalog.h>

#include "os/syscalls.h"

#include <cstdlib>
#include <iomanip>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>

namespace PAL {

std::wstring user_language_code() {
    std::wostringstream out;
    out.imbue(std::locale::classic());
    out << std::hex << std::nouppercase << std::setw(4) << std::setfill(L'0')
        << os::syscalls().user_language();
    return out.str();
}

namespace {

// What the C library reads to build the user's locale. Building it loads
// locale files, so it is built once per distinct environment and kept:
// paths are converted through it on every open.
std::string locale_environment() {
    static constexpr const char* names[] = {
        "LC_ALL",       "LC_CTYPE",       "LC_NUMERIC",        "LC_TIME", "LC_COLLATE",
        "LC_MONETARY",  "LC_MESSAGES",    "LC_PAPER",          "LC_NAME", "LC_ADDRESS",
        "LC_TELEPHONE", "LC_MEASUREMENT", "LC_IDENTIFICATION", "LANG",    "LOCPATH"};
    std::string key;
    for (const char* name : names) {
        if (const char* value = std::getenv(name))
            key += value;
        key += '\n';
    }
    return key;
}

} // namespace

std::locale user_default_locale() {
    static std::mutex guard;
    static std::string built_for;
    static std::locale built = std::locale::classic();
    static bool ready = false;
    std::string key = locale_environment();
    const std::lock_guard<std::mutex> hold(guard);
    if (!ready || key != built_for) {
        built = os::syscalls().user_locale();
        built_for = std::move(key);
        ready = true;
    }
    return built;
}

MsgCatalog::MsgCatalog(const std::wstring& catalog_name)
    : loaded(false), name(catalog_name), locale(user_default_locale()), module(nullptr) {}

MsgCatalog::~MsgCatalog() {
    if (loaded) {
        os::syscalls().catalog_close(module);
        module = nullptr;
        loaded = false;
    }
}

std::wstring MsgCatalog::prefix() const {
    return std::wstring();
}

bool MsgCatalog::load_language(const std::wstring& code) {
    const auto& os = os::syscalls();
    module = os.catalog_open(prefix() + name + code + os.catalog_extension);
    if (!module)
        return false;
    loaded = true;
    return true;
}

bool MsgCatalog::load() {
    if (loaded)
        return true;
    if (name.empty())
        return false;
    // A failed load is not remembered: a catalog installed later is found.
    return load_language(user_language_code()) || load_language(L"0809");
}

bool MsgCatalog::lookup(std::uint32_t id, bool from_module, std::wstring& text) {
    std::wstring found;
    if (from_module) {
        if (!module || !os::syscalls().catalog_find(module, id, found))
            return false;
    } else if (!os::syscalls().error_text(id, found)) {
        return false;
    }
    const auto& ctype = std::use_facet<std::ctype<wchar_t>>(locale);
    std::size_t end = found.size();
    while (end > 0 && ctype.is(std::ctype_base::space, found[end - 1]))
        --end;
    found.resize(end);
    text = std::move(found);
    return true;
}

std::wstring MsgCatalog::message_text(std::uint32_t id) {
    ScopedLock guard(lock);
    std::wstring text;
    if (load() && lookup(id, true, text))
        return text;
    if (lookup(id, false, text))
        return text;
    // The identifier's digits are written in the classic locale: a locale
    // that groups digits would otherwise split the identifier.
    std::wostringstream hex;
    hex.imbue(std::locale::classic());
    hex << std::hex << id;
    std::wostringstream out;
    out.imbue(locale);
    out << L"Message 0x" << hex.str() << L" not found in the catalog.";
    return out.str();
}

} // namespace PAL
