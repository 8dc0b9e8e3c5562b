// Whether a spectrum is profile or centroided, judged from its peaks, as
// a person does at a glance and the field's file summaries do: converters
// often state one kind for the whole run (raw2xml says profile for a run of
// profile MS1 and centroided MS2 scans), and the statement is then wrong
// for some levels.
//
// Profile data are the detector sampled at fine, even steps, so adjacent
// m/z steps differ little; a centroided list is one m/z a peak, at gaps
// set by the sample. A spectrum is judged profile when most of its steps
// (at least 60%) are within 10% of the step before or after them and the
// median step is at most a thousandth of the m/z. On the files at hand
// the share of even steps is 0.76 to 1.0 for profile spectra and 0.05 to
// 0.48 for centroided ones; the step's size keeps out the evenly spaced
// sticks of synthetic files.
#pragma once

#include <ds/data_source_intf.h>

#include <optional>
#include <span>

namespace orvohost {

enum class PeakKind { CENTROIDED, PROFILE };

// Nothing for fewer than 10 peaks, which say too little.
std::optional<PeakKind> judge_peak_kind(std::span<const orvoeng::Peak> peaks);

} // namespace orvohost
