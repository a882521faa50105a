#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <variant>

namespace velmora {

// The option set. Every field is named after the Options window control that shows it, which is
// also its name in the settings store and the settings file.
struct Settings {
    bool CheckBoxAskBeforeExiting = false;
    bool CheckBoxOverwriteAsk = false;
    bool CheckBoxWarnWhenMissingFH = true;
    bool CheckBoxCloseAfterSave = true;
    bool CheckBoxSmartCBR = true;
    bool CheckBoxKeepExtraInfo = true;
    bool CheckBoxNoExtraInfoInMPEG2 = true;
    bool CheckBoxAllowPatchedStreams = false;
    bool CheckBoxExactCut = true; // cuts at the exact sample, for gapless decoders
    bool CheckBoxSaveWAV = false;
    bool CheckBoxSave_WithTime = false;
    bool CheckBoxSaveAs_WithTime = true;
    bool CheckBoxStayOnTop = false;
    bool MenuWaveform = true; // the main window's waveform panel is shown
    bool CheckBoxResetTrimmingPointsWhenOpen = true;
    bool CheckBoxResetFadeControlsWhenOpen = true;
    bool CheckBoxFileOpenInCurrentDirectory = false;
    bool CheckBoxPreserveDate = true;
    std::uint8_t RadioButtonID3Remove = 1; // 0 remove, 1 keep, 2 create from the file name
    bool CheckBoxKeepID3v2 = true;
    // Three-state: 0 leave, 1 always write, 2 write only where the field is empty.
    std::uint8_t CheckBoxID3UpdateTrackName = 0;
    std::uint8_t CheckBoxID3UpdateArtistName = 0;
    std::uint8_t CheckBoxID3UpdateAlbumName = 0;
    std::uint8_t CheckBoxID3UpdateAlbumYear = 0;
    std::uint8_t CheckBoxID3UpdateGenre = 0;
    std::uint8_t CheckBoxID3UpdateCommentName = 0;
    std::string EditID3Track;
    std::string EditID3Artist;
    std::string EditID3Album;
    std::string EditID3Comment;
    std::int32_t SpinEditID3Year = 0;    // 0 = no year
    std::uint8_t ComboBoxID3Genre = 255; // 255 = none
    bool CheckBoxCleanup = true;
    bool CheckBoxAutoDetectSilence = false;
    bool CheckBoxFastSilenceDetection = true;
    bool CheckBoxRemoveLastFrame = true;
    bool CheckBoxWarnWhenTrimBeginning_mp3PRO = true;
    bool CheckBoxDisableSilenceDetectionBeginning_mp3PRO = true;
    std::int32_t SpinEditMinimumCueTrackLength = 60;
    std::int32_t RadioGroupCueSplit = 0;
    std::int32_t RadioGroupTrimAggressivity = 0;
    std::int32_t ComboBoxAddSilenceBeginning = 0;
    std::int32_t ComboBoxAddSilenceEnd = 0;
    bool CheckBoxResetAddSilenceWhenOpen = true;
    bool CheckBoxAutoNormalizeVolume = false;
    std::int32_t ComboBoxNormlizeAt = 1;
    std::int32_t ComboBoxNormalizeClippingThreshold = 1;
    bool CheckBoxNormalizationIncOnly = false;
    std::int32_t TrackBarDefaultAmplification = 0;
    std::int32_t ComboBoxFadeDepth = 1;
    std::int32_t SpinEditPreviewLength = 5;
    bool RadioGroupPreviewPlaysWhat = false; // on: play the part that is trimmed away
    bool CheckBoxStickyPreviewButtons = true;
    bool RadioGroupPreviewMode = true; // on: internal decoder

    // Batch processing.
    bool CheckBoxBatchRemoveSilence = false;
    bool CheckBoxBatchVolumeNormalize = false;
    std::int32_t TrackBarBatchFadeIn = 0; // into FadeDurationTable
    std::int32_t TrackBarBatchFadeOut = 0;
    bool CheckBoxBatchCreateLOG = false;
    bool CheckBoxBatchLOGEraseAtBeginning = false;
    bool CheckBoxBatchLOGExcludeGoodFiles = false;
    bool CheckBoxBatchLOGCharacteristics = false;
    bool CheckBoxBatchLOGStatistics = false;
    bool CheckBoxBatchLOGAbrupt = false;
    bool CheckBoxBatchTestRun = false;
    bool CheckBatchBoxStopOnError = false;
    bool CheckBoxBatchStopsOnBadFiles = false;
    bool CheckBoxBatchSkipBadFiles = false;
    bool CheckBoxBatchSplitCUE = false;
    bool CheckBoxBatchRunInIdlePriority = false;
    bool CheckBoxProcessSubfolders = false;
    bool CheckBoxProcessOnly = false;
    std::string EditBatchProcessOnlyFiles = "*.mp3"; // shell wildcards separated by ";"
    bool CheckBoxBatchCreateThumbnail = false;
    std::int32_t ComboBoxLengthThumbnail = 1; // 15, 30, 45, 60, 90, 120 seconds, variable
    std::int32_t SpinEditStartThumbnail = 0;  // seconds
    std::int32_t SpinEditEndThumbnail = 0;    // seconds before the end
    bool CheckBoxBatchMoveAbrupt = false;

    // Loudness (EBU R128): Auto and the batch aim at a loudness instead of the peak.
    bool CheckBoxNormalizeLoudness = false;
    std::int32_t ComboBoxLoudnessTarget = 0;        // -18 (ReplayGain 2.0), -14, -16, -23, custom
    std::int32_t SpinEditLoudnessTargetCustom = 18; // LUFS below zero
    std::int32_t ComboBoxTruePeakCeiling = 2;       // 0, -0.5, -1, -1.5, -2 dBTP
    bool CheckBoxWriteReplayGainTags = false;       // ReplayGain 2.0 track tags on save
    bool CheckBoxBatchAlbumGain = false;            // one gain for the files of each folder

    // Fixed options: shown in the Options window but never stored.
    bool CheckBoxFixMissingCRC = false;
    bool CheckBoxFixBadCRC = false;
    bool CheckBoxCreateVBRseekInfo = true;
};

// The loudness target in LUFS and the true-peak ceiling in dBTP the options choose.
double LoudnessTargetLufs(const Settings& s);
double TruePeakCeilingDbtp(const Settings& s);

enum class OptionKind { Switch, ThreeState, ItemIndex, Position, Number, Text, Byte };

// One stored option: its name, its encoding, the field that holds it, and the name people type
// (lower case, words joined by "-"). The stored name stays the key of the store and the file.
struct OptionBinding {
    const char* name;
    OptionKind kind;
    std::variant<bool Settings::*, std::uint8_t Settings::*, std::int32_t Settings::*,
                 std::string Settings::*>
        field;
    const char* readable;
};

// The stored options in their store order.
std::span<const OptionBinding> OptionBindings();
const OptionBinding* FindOption(std::string_view name);

// The value as the store holds it (switches as -1/0). Not for Text options.
std::int32_t GetStoredInt(const Settings& s, const OptionBinding& b);
// Sets a field from a stored integer: any non-zero switch is on; one-byte fields keep the low 8
// bits.
void SetStoredInt(Settings& s, const OptionBinding& b, std::int32_t value);
const std::string& GetText(const Settings& s, const OptionBinding& b);
void SetText(Settings& s, const OptionBinding& b, std::string value);

// Added-silence durations in tenths of a second, by combo-box position.
inline constexpr std::array<std::int32_t, 27> SilenceDurationTable = {
    0,  1,  2,  3,   4,   5,   6,   7,   8,   9,   10,   12,   15,  20,
    30, 50, 70, 100, 150, 300, 450, 600, 750, 900, 1050, 1200, 1500};

// Fade durations in milliseconds, by track-bar position 0 … 32.
inline constexpr std::array<std::int32_t, 33> FadeDurationTable = [] {
    std::array<std::int32_t, 33> t{};
    t[32] = 20000;
    for (int i = 31; i >= 1; --i)
        t[i] = (t[i + 1] * 11) / 12 - 110;
    t[0] = 0;
    return t;
}();

} // namespace velmora
