// The one part of reading an mzXML 3.x file through a repaired copy that no
// pipeline can spare: every zlib peak text of the file inflated and written
// as plain base64 by the repair's own inflater, one text after another on
// one thread, best of three. scripts/bench.sh sets it beside the read
// through a copy: the copy cannot be made faster than this work divided
// among the machine's cores.
#include <host/repair/peak_text.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The texts of the peaks elements whose start tag says zlib.
std::vector<std::string_view> zlib_texts(std::string_view file) {
    std::vector<std::string_view> texts;
    for (std::size_t at = file.find("<peaks"); at != std::string_view::npos;
         at = file.find("<peaks", at + 1)) {
        const std::size_t open_end = file.find('>', at);
        const std::size_t close = file.find("</peaks>", open_end);
        if (open_end == std::string_view::npos || close == std::string_view::npos)
            break;
        if (file.substr(at, open_end - at).find("compressionType=\"zlib\"") !=
            std::string_view::npos)
            texts.push_back(file.substr(open_end + 1, close - open_end - 1));
    }
    return texts;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: inflate_floor FILE (an mzXML 3.x file with zlib peaks)\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && in.fail()) {
        std::fprintf(stderr, "inflate_floor: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::vector<std::string_view> texts = zlib_texts(file);
    if (texts.empty()) {
        std::fprintf(stderr, "inflate_floor: %s has no zlib peak text\n", argv[1]);
        return 1;
    }
    orvohost::repair::PeakInflater inflater;
    std::string plain;
    double best = 1e300;
    std::size_t written = 0;
    for (int run = 0; run < 3; ++run) {
        written = 0;
        const auto start = std::chrono::steady_clock::now();
        for (const std::string_view text : texts) {
            plain.clear();
            if (!inflater.append_plain_text(text, plain)) {
                std::fprintf(stderr, "inflate_floor: a peak text does not inflate\n");
                return 1;
            }
            written += plain.size();
        }
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::printf("%zu zlib peak texts inflated to %.1f MB of plain text on one thread in %.3f s "
                "(best of 3)\n",
                texts.size(), static_cast<double>(written) / 1e6, best);
    return 0;
}
