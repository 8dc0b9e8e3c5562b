// The whole read from Python through the orvo module, timed by a Python
// program of its own (python_read.py) run with the interpreter the module
// was built for. Built in only when CMake built the module.
#include <cstddef>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace readbench {

// Declared again in read_bench.cpp. False with `why` set when the module is
// not built or the run failed; otherwise the seconds of each run and the
// peaks one run read.
bool python_read(const std::string& path, int repeat, std::vector<double>& seconds,
                 std::size_t& peaks, std::string& why) {
#ifndef READ_BENCH_PYTHON
    (void)path, (void)repeat, (void)seconds, (void)peaks;
    why = "the orvo Python module is not built";
    return false;
#else
    const std::string command = "PYTHONPATH='" READ_BENCH_PYTHON_PATH "' '" READ_BENCH_PYTHON
                                "' '" READ_BENCH_PYTHON_SCRIPT "' '" +
                                path + "' " + std::to_string(repeat);
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        why = "cannot run " + command;
        return false;
    }
    std::string out;
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr)
        out += chunk;
    if (::pclose(pipe) != 0) {
        why = "python_read.py failed: " + out;
        return false;
    }
    std::istringstream fields(out);
    fields >> peaks;
    for (double s = 0; fields >> s;)
        seconds.push_back(s);
    if (seconds.empty())
        why = "python_read.py printed no time: " + out;
    return !seconds.empty();
#endif
}

} // namespace readbench
