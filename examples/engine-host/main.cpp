// engine-host: loads the installed mzXML plug-in as an analysis engine
// does (dlopen, the one export, a factory, a data source per file) and
// lists a file's scans. Errors of the plug-in are printed from the host's
// message catalog.
#include <ds/data_source_intf.h>
#include <pal/exception.h>
#include <pal/msgcatalog.h>
#include <pal/progress.h>
#include <pal/string.h>

#include <dlfcn.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

// The host's catalog files, "orvo-host" + language + ".msg" in the
// installed catalog folder.
class Catalog : public PAL::MsgCatalog {
public:
    Catalog() : PAL::MsgCatalog(L"orvo-host") {}
    std::wstring prefix() const override {
        return PAL::to_wide(ORVO_CATALOG_DIR "/", std::locale());
    }
};

std::string narrow(const std::wstring& text) {
    return PAL::to_narrow(text, std::locale());
}

// The catalog's text with the message's arguments in place of %1, %2...
std::string sentence(Catalog& catalog, const PAL::Message& message) {
    std::wstring text = catalog.message_text(message.id);
    for (std::size_t i = message.args.size(); i > 0; --i) {
        const std::wstring marker = L"%" + std::to_wstring(i);
        for (auto at = text.find(marker); at != std::wstring::npos; at = text.find(marker, at))
            text.replace(at, marker.size(), message.args[i - 1]);
    }
    return narrow(text);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: engine-host FILE.mzXML\n");
        return 2;
    }
    void* module = ::dlopen(ORVO_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        std::fprintf(stderr, "engine-host: %s\n", ::dlerror());
        return 1;
    }
    const auto entry =
        reinterpret_cast<orvoeng::GetIntfFactory>(::dlsym(module, orvoeng::DS_MZXML_ENTRY_SYMBOL));
    const PAL::SmartPtr<PAL::EventSocket> events(new PAL::EventSocket());
    orvoeng::DataSourceIntfFactory* factory =
        entry != nullptr ? entry(orvoeng::DS_INTF_VERSION, events) : nullptr;
    if (factory == nullptr) {
        std::fprintf(stderr, "engine-host: %s serves no interface version %u\n", ORVO_PLUGIN,
                     orvoeng::DS_INTF_VERSION);
        return 1;
    }
    std::printf("plug-in %s\n", ORVO_PLUGIN);

    Catalog catalog;
    try {
        const std::unique_ptr<orvoeng::DataSourceIntf> source(factory->create());
        const PAL::SmartPtr<PAL::Progress> progress(
            new PAL::Progress(events, PAL::Message(), 1, 1));
        const orvoeng::PeakListOptions options;
        const orvoeng::ScanList scans = source->open_file(PAL::to_wide(argv[1], std::locale()), 1,
                                                          &options, 1, events, progress);
        std::printf("%s: %zu scans, %s\n", argv[1], scans->size(),
                    source->is_centroided() ? "centroided" : "profile");
        std::printf("label  ms_level  rt_seconds  precursor_mz\n");
        for (const auto& scan : *scans) {
            std::printf("%5u  %8d  %10.3f  ", scan.label, scan.scan_type.ms_level,
                        scan.retention_time);
            if (scan.scan_type.ms_level > 1)
                std::printf("%12.4f\n", scan.precursor_mz);
            else
                std::printf("%12s\n", "-");
        }
    } catch (const PAL::AppError& error) {
        std::fprintf(stderr, "engine-host: %s (status 0x%08x)\n",
                     sentence(catalog, error.message).c_str(), error.code);
        return 1;
    } catch (const PAL::Exception& error) {
        std::fprintf(stderr, "engine-host: %s\n", narrow(error.description()).c_str());
        return 1;
    }
    return 0;
}
