// Every message identifier the data source raises or posts, in one table
// that the plug-in and the host share.
//
// The plug-in raises and posts by name; the host keys its catalog texts by
// the same names, so an identifier, its status code, its level and its
// arguments are written down exactly once. Identifiers follow the Windows
// message-table layout: errors thrown as PAL::AppError carry 0xC8 in the top
// byte and share their low byte with their HRESULT status code; error events
// (level 1) carry 0xCC, informational events (levels 4 to 7) 0x4C.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace orvoeng::msg {

struct MessageDef {
    std::string_view name;
    std::uint32_t id;
    std::uint32_t code;  // status code of a PAL::AppError; 0 for an event
    std::uint32_t level; // level of an event; 0 for a PAL::AppError
    std::string_view args;

    constexpr bool is_error() const { return code != 0; }
};

// ---- thrown as PAL::AppError ------------------------------------------------

inline constexpr MessageDef ALREADY_OPEN{"ALREADY_OPEN", 0xC8020000, 0x80040800, 0, ""};
inline constexpr MessageDef NOT_OPEN{"NOT_OPEN", 0xC8020001, 0x80040801, 0, ""};
inline constexpr MessageDef FILE_REFUSED{"FILE_REFUSED", 0xC8020002, 0x80040802, 0,
                                         "text: file path"};
// Shares its status code with FILE_REFUSED: the same failure, with a reason.
inline constexpr MessageDef FILE_REFUSED_BECAUSE{"FILE_REFUSED_BECAUSE", 0xC8020003, 0x80040802, 0,
                                                 "text: file path; text: reason"};
inline constexpr MessageDef BAD_SELECTOR{"BAD_SELECTOR", 0xC8020004, 0x80040804, 0, ""};
inline constexpr MessageDef NO_SUCH_LABEL{"NO_SUCH_LABEL", 0xC8020008, 0x80040808, 0,
                                          "n: scan label"};
inline constexpr MessageDef CENTROIDING_UNKNOWN{"CENTROIDING_UNKNOWN", 0xC802000F, 0x8004080F, 0,
                                                ""};
inline constexpr MessageDef LABEL_OVERFLOW{"LABEL_OVERFLOW", 0xC8020019, 0x80040819, 0, ""};
inline constexpr MessageDef BAD_SCAN_HEADER{"BAD_SCAN_HEADER", 0xC802001A, 0x8004081A, 0,
                                            "n: scan position"};
inline constexpr MessageDef CENTROIDING_CONFLICT{"CENTROIDING_CONFLICT", 0xC802001B, 0x8004081B, 0,
                                                 ""};
inline constexpr MessageDef BAD_PEAKS{"BAD_PEAKS", 0xC802001C, 0x8004081C, 0,
                                      "n: scan label; text: reason"};
inline constexpr MessageDef MZSTAR_PROFILE{"MZSTAR_PROFILE", 0xC8020047, 0x80040847, 0, ""};
inline constexpr MessageDef NO_COMPLETION_TIME{"NO_COMPLETION_TIME", 0xC8020053, 0x80040853, 0,
                                               "text: reason"};
inline constexpr MessageDef PATH_NOT_CONVERTIBLE{
    "PATH_NOT_CONVERTIBLE", 0xC8010024, 0x80040424, 0,
    "text: locale name; text: path; text: conversion error; n: offset"};

// ---- error events (level 1) -------------------------------------------------

inline constexpr MessageDef WRONG_VERSION{"WRONG_VERSION", 0xCC020000, 0, 1, "text: \"mzXML\""};
inline constexpr MessageDef MISSING_START_TAG{"MISSING_START_TAG", 0xCC0236B0, 0, 1,
                                              "text: element"};
inline constexpr MessageDef NO_SCHEMA{"NO_SCHEMA", 0xCC0236B1, 0, 1, ""};
inline constexpr MessageDef SCANS_FOUND_DIFFER{"SCANS_FOUND_DIFFER", 0xCC0236B2, 0, 1,
                                               "n: scans found; n: declared scan count"};
inline constexpr MessageDef PEAK_ATTRIBUTES_MISSING{"PEAK_ATTRIBUTES_MISSING", 0xCC0236B3, 0, 1,
                                                    "n: scan number; text: missing attributes"};
inline constexpr MessageDef PEAK_COUNT_DIFFERS{
    "PEAK_COUNT_DIFFERS", 0xCC0236B4, 0, 1,
    "n: scan number; i: declared peak count; n: m/z values decoded"};
// A read of the file failed: posted before the error that ends the
// operation, so that the host can name the system's reason and knows the
// file itself may be sound.
inline constexpr MessageDef READ_FAILED{"READ_FAILED", 0xCC0236B5, 0, 1,
                                        "text: file path; text: the system's reason; "
                                        "n: the system's error number"};
// The file's bytes are no longer where they were when it was opened.
inline constexpr MessageDef FILE_CHANGED{"FILE_CHANGED", 0xCC0236B6, 0, 1, "text: file path"};

// ---- informational events (levels 4 to 7) -----------------------------------

inline constexpr MessageDef BUILDING_INDEX{"BUILDING_INDEX", 0x4C0336B0, 0, 5, ""};
inline constexpr MessageDef SCAN_OFFSET{"SCAN_OFFSET", 0x4C0336B1, 0, 7,
                                        "i or n: scan number; i64: file offset"};
inline constexpr MessageDef ENTRIES_DIFFER{"ENTRIES_DIFFER", 0x4C0336B2, 0, 5,
                                           "n: index entries; n: declared scan count"};
inline constexpr MessageDef SCAN_COUNT{"SCAN_COUNT", 0x4C0336B3, 0, 5, "n: declared scan count"};
inline constexpr MessageDef INDEX_OFFSET{"INDEX_OFFSET", 0x4C0336B4, 0, 5, "i64: index offset"};
inline constexpr MessageDef NOT_A_SCAN_INDEX{"NOT_A_SCAN_INDEX", 0x4C0336B5, 0, 5, ""};
inline constexpr MessageDef ID_OUT_OF_ORDER{"ID_OUT_OF_ORDER", 0x4C0336B6, 0, 6,
                                            "i: id read; i: id expected"};
inline constexpr MessageDef BAD_INDEX_LINE{"BAD_INDEX_LINE", 0x4C0336B7, 0, 6,
                                           "text: the index line"};
inline constexpr MessageDef NO_DATA_PROCESSING{"NO_DATA_PROCESSING", 0x4C0336B8, 0, 5,
                                               "text: \"dataProcessing\""};
inline constexpr MessageDef CENTROID_STATE{"CENTROID_STATE", 0x4C0336B9, 0, 7,
                                           "text: \"true\" or \"false\"; n: centroided scans"};
inline constexpr MessageDef PEAKS_READ{"PEAKS_READ", 0x4C030004, 0, 7,
                                       "n: m/z values read; n: scan label"};
inline constexpr MessageDef SCAN_WALK{"SCAN_WALK", 0x4C020006, 0, 4, ""};

inline constexpr std::array ALL{
    ALREADY_OPEN,
    NOT_OPEN,
    FILE_REFUSED,
    FILE_REFUSED_BECAUSE,
    BAD_SELECTOR,
    NO_SUCH_LABEL,
    CENTROIDING_UNKNOWN,
    LABEL_OVERFLOW,
    BAD_SCAN_HEADER,
    CENTROIDING_CONFLICT,
    BAD_PEAKS,
    MZSTAR_PROFILE,
    NO_COMPLETION_TIME,
    PATH_NOT_CONVERTIBLE,
    WRONG_VERSION,
    MISSING_START_TAG,
    NO_SCHEMA,
    SCANS_FOUND_DIFFER,
    PEAK_ATTRIBUTES_MISSING,
    PEAK_COUNT_DIFFERS,
    READ_FAILED,
    FILE_CHANGED,
    BUILDING_INDEX,
    SCAN_OFFSET,
    ENTRIES_DIFFER,
    SCAN_COUNT,
    INDEX_OFFSET,
    NOT_A_SCAN_INDEX,
    ID_OUT_OF_ORDER,
    BAD_INDEX_LINE,
    NO_DATA_PROCESSING,
    CENTROID_STATE,
    PEAKS_READ,
    SCAN_WALK,
};

// The table's entry for `id`, or null.
constexpr const MessageDef* find(std::uint32_t id) {
    for (const MessageDef& def : ALL)
        if (def.id == id)
            return &def;
    return nullptr;
}

// The table's entry named `name`, or null.
constexpr const MessageDef* find_name(std::string_view name) {
    for (const MessageDef& def : ALL)
        if (def.name == name)
            return &def;
    return nullptr;
}

} // namespace orvoeng::msg
