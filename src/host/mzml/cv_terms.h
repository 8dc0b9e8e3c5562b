// Every controlled-vocabulary term the mzML writer uses, in one table:
// accession and name as the PSI-MS vocabulary (psi-ms.obo) and the Unit
// Ontology (unit.obo) spell them. A test holds the table against those files,
// so a term is never written with a name its vocabulary does not give it.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace orvohost::mzml {

enum class Cv : unsigned char {
    // file content and source file
    MS1_SPECTRUM,
    MSN_SPECTRUM,
    SHA1,
    SCAN_NUMBER_NATIVE_ID,
    MZXML_FORMAT,
    // software and processing
    CUSTOM_SOFTWARE,
    CONVERSION_TO_MZML,
    // instrument configuration
    INSTRUMENT_MODEL,
    ELECTROSPRAY,
    NANOELECTROSPRAY,
    MALDI,
    APCI,
    ION_TRAP,
    QUADRUPOLE_ION_TRAP,
    LINEAR_ION_TRAP,
    QUADRUPOLE,
    TIME_OF_FLIGHT,
    FT_ICR,
    ORBITRAP,
    ELECTRON_MULTIPLIER,
    MICROCHANNEL_PLATE,
    FARADAY_CUP,
    PHOTOMULTIPLIER,
    // spectrum
    MS_LEVEL,
    POSITIVE_SCAN,
    NEGATIVE_SCAN,
    CENTROID_SPECTRUM,
    PROFILE_SPECTRUM,
    TOTAL_ION_CURRENT,
    BASE_PEAK_MZ,
    BASE_PEAK_INTENSITY,
    LOWEST_OBSERVED_MZ,
    HIGHEST_OBSERVED_MZ,
    NO_COMBINATION,
    SCAN_START_TIME,
    FILTER_STRING,
    SELECTED_ION_MZ,
    CHARGE_STATE,
    PEAK_INTENSITY,
    // activation
    COLLISION_ENERGY,
    CID,
    BEAM_TYPE_CID,
    ETD,
    ECD,
    // chromatogram
    TIC_CHROMATOGRAM,
    // binary arrays
    MZ_ARRAY,
    INTENSITY_ARRAY,
    TIME_ARRAY,
    FLOAT_32,
    FLOAT_64,
    NO_COMPRESSION,
    ZLIB,
    NUMPRESS_LINEAR,
    NUMPRESS_PIC,
    NUMPRESS_SLOF,
    NUMPRESS_LINEAR_ZLIB,
    NUMPRESS_PIC_ZLIB,
    NUMPRESS_SLOF_ZLIB,
    // units
    MZ_UNIT,
    DETECTOR_COUNTS,
    ELECTRONVOLT,
    SECOND,
};

struct CvTerm {
    Cv term;
    std::string_view accession; // "MS:1000511", "UO:0000010"
    std::string_view name;
    // The prefix of the accession: the id of its entry in the cvList.
    std::string_view cv_ref() const { return accession.substr(0, 2); }
};

const CvTerm& cv(Cv term);
// The whole table, in the order of Cv.
std::span<const CvTerm> cv_table();

} // namespace orvohost::mzml
