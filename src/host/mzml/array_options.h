// How the arrays of a file are to be written, as the command line asks:
// the precision of m/z, zlib, and MS-Numpress for m/z (linear) and for
// intensities (pic or slof). Times and the chromatogram's intensities
// follow the m/z and intensity choices.
#pragma once

#include "array_encoding.h"

namespace orvohost::mzml {

struct ArrayOptions {
    bool zlib = false;
    bool mz_wide = false; // m/z as 64-bit floats even where the source's are 32-bit
    Numpress mz_numpress = Numpress::NONE;        // NONE or LINEAR
    Numpress intensity_numpress = Numpress::NONE; // NONE, PIC or SLOF

    // `single`: the spectrum's values are all 32-bit floats (a 32-bit
    // source), which are then written as such.
    ArrayFormat mz(bool single) const { return {!single || mz_wide, zlib, mz_numpress}; }
    ArrayFormat intensity(bool single) const { return {!single, zlib, intensity_numpress}; }
    ArrayFormat time() const { return {true, zlib, mz_numpress}; }
    ArrayFormat chromatogram_intensity() const { return {true, zlib, intensity_numpress}; }
};

} // namespace orvohost::mzml
