#include "man_sections.h"

namespace orvohost::cli {

std::vector<orvocli::ManSection> host_man_sections() {
    return {
        {"EXIT STATUS",
         "",
         {{"0", "Every file and spectrum read and every output written. check also ends so when a "
                "file's <sha1> is stale, which many converters leave."},
          {"1", "A file or a spectrum could not be read, an output could not be written, or the "
                "host could not do its job (no plug-in, no temporary folder). Standard error says "
                "which in a sentence, the plug-in's status code last."},
          {"2", "A usage error: an unknown subcommand or option, a value that cannot be read, "
                "options that exclude each other. Standard error names the subcommand's help."}}},
        {"ENVIRONMENT",
         "",
         {{"TMPDIR",
           "The folder of repaired copies (unless --temp-dir names one) and of the "
           "outputs that files read with -j keep until their turn; else TMP, TEMP or TEMPDIR, "
           "else /tmp."},
          {"COLUMNS", "The width of the progress bar where the terminal does not tell it."},
          {"LC_ALL, LC_MESSAGES, LANG",
           "The language of the sentences of the message catalog (the first one set); English as "
           "written in Britain where the catalog has no such language."},
          {"LC_ALL, LC_CTYPE, LANG",
           "The character set of file names as the plug-in converts them to its wide text."},
          {"ORVO_BASE64",
           "avx512, avx2, ssse3 or scalar: holds the plug-in's base64 decoding to that path or a "
           "narrower one (scalar also its widening of 32-bit peaks), and its searches of scan "
           "headers to avx2 or 16 bytes a step, so that each path can be checked on one machine. "
           "Unset: the widest the processor has."},
          {"ORVO_PLUGIN", "The plug-in that the Python module orvo loads instead of the installed "
                          "one; orvo-host takes --plugin instead."}}},
        {"FILES",
         "PREFIX is where orvo is installed; a build tree keeps the plug-in in bin/ beside "
         "orvo-host and the catalogs in share/orvo/.",
         {{"PREFIX/lib/orvo/liborvo_ds_mzxml.so",
           "The data-source plug-in, loaded as an analysis engine loads it; --plugin names "
           "another."},
          {"PREFIX/lib/liborvo_pal.so", "The platform library, from whose folder the plug-in and "
                                        "the catalogs are found."},
          {"PREFIX/share/orvo/orvo-host0809.msg, orvo-host0409.msg",
           "The message catalogs: the sentences of the plug-in's events and refusals."},
          {"$TMPDIR/orvo-repaired-*.mzXML",
           "A repaired copy of a file the plug-in refuses, read in its place and removed at exit, "
           "also on SIGINT and SIGTERM."},
          {"$TMPDIR/orvo-host-*.part",
           "The output of a file read with -j ahead of its turn, removed once written."},
          {"DIR/.NAME.*.part",
           "The output DIR/NAME of -o while it is written, renamed to NAME only when whole."}}},
        {"EXAMPLES",
         "",
         {{"orvo-host info --stats run.mzXML",
           "The run in figures: instrument, scans per MS level, ranges, charges, peaks and "
           "whether the spectra are centroided or profile."},
          {"orvo-host scans run.mzXML --ms-level 2 --rt 600:1200",
           "The MS2 scans of the tenth to twentieth minute, one row each."},
          {"orvo-host spectrum run.mzXML 12 --top 20", "The 20 most intense peaks of scan 12."},
          {"orvo-host dump run.mzXML | jq .peak_count",
           "Every scan with its peaks as JSON Lines, for other tools."},
          {"orvo-host mgf -j 4 runs/*.mzXML -o all.mgf",
           "The MS2 spectra of many runs for a search engine, four threads at work."},
          {"orvo-host tic run.mzXML -o tic.svg", "The total ion current as an SVG plot."},
          {"orvo-host --format tsv info -j 4 runs/*.mzXML > runs.tsv",
           "A folder of runs as one table, one row a file."},
          {"orvo-host check runs/*.mzXML", "Read everything, verify each <sha1>, and say why a "
                                           "file fails."},
          {"orvo-host repair refused.mzXML -o readable.mzXML",
           "A copy of a refused file that the plug-in reads."}}},
    };
}

} // namespace orvohost::cli
