#include "cv_terms.h"

#include <array>

namespace orvohost::mzml {

namespace {

constexpr std::array TERMS{
    CvTerm{Cv::MS1_SPECTRUM, "MS:1000579", "MS1 spectrum"},
    CvTerm{Cv::MSN_SPECTRUM, "MS:1000580", "MSn spectrum"},
    CvTerm{Cv::SHA1, "MS:1000569", "SHA-1"},
    CvTerm{Cv::SCAN_NUMBER_NATIVE_ID, "MS:1000776", "scan number only nativeID format"},
    CvTerm{Cv::MZXML_FORMAT, "MS:1000566", "ISB mzXML format"},
    CvTerm{Cv::CUSTOM_SOFTWARE, "MS:1000799", "custom unreleased software tool"},
    CvTerm{Cv::CONVERSION_TO_MZML, "MS:1000544", "Conversion to mzML"},
    CvTerm{Cv::INSTRUMENT_MODEL, "MS:1000031", "instrument model"},
    CvTerm{Cv::ELECTROSPRAY, "MS:1000073", "electrospray ionization"},
    CvTerm{Cv::NANOELECTROSPRAY, "MS:1000398", "nanoelectrospray"},
    CvTerm{Cv::MALDI, "MS:1000075", "matrix-assisted laser desorption ionization"},
    CvTerm{Cv::APCI, "MS:1000070", "atmospheric pressure chemical ionization"},
    CvTerm{Cv::ION_TRAP, "MS:1000264", "ion trap"},
    CvTerm{Cv::QUADRUPOLE_ION_TRAP, "MS:1000082", "quadrupole ion trap"},
    CvTerm{Cv::LINEAR_ION_TRAP, "MS:1000291", "linear ion trap"},
    CvTerm{Cv::QUADRUPOLE, "MS:1000081", "quadrupole"},
    CvTerm{Cv::TIME_OF_FLIGHT, "MS:1000084", "time-of-flight"},
    CvTerm{Cv::FT_ICR, "MS:1000079", "fourier transform ion cyclotron resonance mass spectrometer"},
    CvTerm{Cv::ORBITRAP, "MS:1000484", "orbitrap"},
    CvTerm{Cv::ELECTRON_MULTIPLIER, "MS:1000253", "electron multiplier"},
    CvTerm{Cv::MICROCHANNEL_PLATE, "MS:1000114", "microchannel plate detector"},
    CvTerm{Cv::FARADAY_CUP, "MS:1000112", "faraday cup"},
    CvTerm{Cv::PHOTOMULTIPLIER, "MS:1000116", "photomultiplier"},
    CvTerm{Cv::MS_LEVEL, "MS:1000511", "ms level"},
    CvTerm{Cv::POSITIVE_SCAN, "MS:1000130", "positive scan"},
    CvTerm{Cv::NEGATIVE_SCAN, "MS:1000129", "negative scan"},
    CvTerm{Cv::CENTROID_SPECTRUM, "MS:1000127", "centroid spectrum"},
    CvTerm{Cv::PROFILE_SPECTRUM, "MS:1000128", "profile spectrum"},
    CvTerm{Cv::TOTAL_ION_CURRENT, "MS:1000285", "total ion current"},
    CvTerm{Cv::BASE_PEAK_MZ, "MS:1000504", "base peak m/z"},
    CvTerm{Cv::BASE_PEAK_INTENSITY, "MS:1000505", "base peak intensity"},
    CvTerm{Cv::LOWEST_OBSERVED_MZ, "MS:1000528", "lowest observed m/z"},
    CvTerm{Cv::HIGHEST_OBSERVED_MZ, "MS:1000527", "highest observed m/z"},
    CvTerm{Cv::NO_COMBINATION, "MS:1000795", "no combination"},
    CvTerm{Cv::SCAN_START_TIME, "MS:1000016", "scan start time"},
    CvTerm{Cv::FILTER_STRING, "MS:1000512", "filter string"},
    CvTerm{Cv::SELECTED_ION_MZ, "MS:1000744", "selected ion m/z"},
    CvTerm{Cv::CHARGE_STATE, "MS:1000041", "charge state"},
    CvTerm{Cv::PEAK_INTENSITY, "MS:1000042", "peak intensity"},
    CvTerm{Cv::COLLISION_ENERGY, "MS:1000045", "collision energy"},
    CvTerm{Cv::CID, "MS:1000133", "collision-induced dissociation"},
    CvTerm{Cv::BEAM_TYPE_CID, "MS:1000422", "beam-type collision-induced dissociation"},
    CvTerm{Cv::ETD, "MS:1000598", "electron transfer dissociation"},
    CvTerm{Cv::ECD, "MS:1000250", "electron capture dissociation"},
    CvTerm{Cv::TIC_CHROMATOGRAM, "MS:1000235", "total ion current chromatogram"},
    CvTerm{Cv::MZ_ARRAY, "MS:1000514", "m/z array"},
    CvTerm{Cv::INTENSITY_ARRAY, "MS:1000515", "intensity array"},
    CvTerm{Cv::TIME_ARRAY, "MS:1000595", "time array"},
    CvTerm{Cv::FLOAT_32, "MS:1000521", "32-bit float"},
    CvTerm{Cv::FLOAT_64, "MS:1000523", "64-bit float"},
    CvTerm{Cv::NO_COMPRESSION, "MS:1000576", "no compression"},
    CvTerm{Cv::ZLIB, "MS:1000574", "zlib compression"},
    CvTerm{Cv::NUMPRESS_LINEAR, "MS:1002312", "MS-Numpress linear prediction compression"},
    CvTerm{Cv::NUMPRESS_PIC, "MS:1002313", "MS-Numpress positive integer compression"},
    CvTerm{Cv::NUMPRESS_SLOF, "MS:1002314", "MS-Numpress short logged float compression"},
    CvTerm{Cv::NUMPRESS_LINEAR_ZLIB, "MS:1002746",
           "MS-Numpress linear prediction compression followed by zlib compression"},
    CvTerm{Cv::NUMPRESS_PIC_ZLIB, "MS:1002747",
           "MS-Numpress positive integer compression followed by zlib compression"},
    CvTerm{Cv::NUMPRESS_SLOF_ZLIB, "MS:1002748",
           "MS-Numpress short logged float compression followed by zlib compression"},
    CvTerm{Cv::MZ_UNIT, "MS:1000040", "m/z"},
    CvTerm{Cv::DETECTOR_COUNTS, "MS:1000131", "number of detector counts"},
    CvTerm{Cv::ELECTRONVOLT, "UO:0000266", "electronvolt"},
    CvTerm{Cv::SECOND, "UO:0000010", "second"},
};

// The table is indexed by the enumeration: an entry out of place would
// give a term another's name.
constexpr bool in_order() {
    for (std::size_t i = 0; i < TERMS.size(); ++i)
        if (static_cast<std::size_t>(TERMS[i].term) != i)
            return false;
    return true;
}
static_assert(in_order(), "the terms must stand in the order of Cv");
static_assert(TERMS.size() == static_cast<std::size_t>(Cv::SECOND) + 1, "every Cv needs its entry");

} // namespace

const CvTerm& cv(Cv term) {
    return TERMS[static_cast<std::size_t>(term)];
}

std::span<const CvTerm> cv_table() {
    return TERMS;
}

} // namespace orvohost::mzml
