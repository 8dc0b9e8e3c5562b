// The failures of writing and reading back an mzML file, each naming the
// file it is about, so that a run over many files says which one failed.
#pragma once

#include <host/base/host_error.h>

#include <filesystem>
#include <string>

namespace orvohost::mzml {

// A spectrum that cannot be written as asked (a value the chosen
// compression cannot hold).
class MzmlWriteError : public HostError {
public:
    explicit MzmlWriteError(const std::string& what) : HostError(what) {}
};

// An array's text that does not decode to the values it states.
class MzmlArrayError : public HostError {
public:
    explicit MzmlArrayError(const std::string& what) : HostError(what) {}
};

// The written file does not read back as written: it is not well-formed,
// an index offset or the checksum is wrong, or a value differs from the
// source's.
class MzmlVerifyError : public HostError {
public:
    MzmlVerifyError(const std::filesystem::path& file, const std::string& what)
        : HostError(file.string() + ": " + what) {}
};

} // namespace orvohost::mzml
