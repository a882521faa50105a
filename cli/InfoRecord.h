#pragma once

#include "UnitInfo.h"
#include "UnitLoudness.h"
#include "UnitOutputPlan.h"
#include "UnitScanner.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora::cli {

// What `info` reports for one file: the scan's figures, and the editor's texts beside them.
struct InfoRecord {
    std::string file;
    std::string version, layer, channelMode, length;
    int layerNumber = 0, channels = 0;
    std::uint32_t sampleRate = 0;
    std::int64_t frames = 0, lengthSamples = 0; // samples per channel
    bool vbr = false;
    int bitrateKbps = 0;
    bool bitrateIsAverage = false; // VBR without a dominant bitrate
    double averageBitrateKbps = 0; // the file's bits over its length
    std::int64_t missingHeaders = 0;
    std::vector<std::string> missingHeaderTimes;    // the first 10, as the display shows them
    std::vector<std::int64_t> missingHeaderOffsets; // every one: where a header was expected
    std::int64_t badCrcs = 0;
    bool crc = false;
    bool leadingGarbage = false, lastFrameIncomplete = false;
    const char* extraInfo = nullptr; // "Xing", "Info" or none
    bool mp3Pro = false;
    std::int64_t silentBegin = 0, silentEnd = 0;
    bool abruptEnding = false;
    std::vector<std::string> inconsistencies;

    // What the editor shows after the open, and the plan for saving with no trim.
    InformationTexts texts;
    std::int64_t audioStart = 0;
    bool retried = false;
    TagLayout tags;
    OutputPlanDisplay plan;
    std::vector<std::string> warnings;     // MessageTable list names
    std::vector<std::string> warningTexts; // the lists joined

    std::optional<LoudnessResult> loudness; // with --loudness
};

// The record as one JSON line; `display` adds the editor's texts in a "display" object.
std::string InfoJsonLine(const InfoRecord& r, bool display);

} // namespace velmora::cli
