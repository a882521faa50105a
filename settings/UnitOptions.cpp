#include "UnitOptions.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

using K = OptionKind;
#define VELMORA_OPTION(name, readable, kind)                                                       \
    OptionBinding {                                                                                \
#name, kind, &Settings::name, readable                                                     \
    }

const OptionBinding kBindings[] = {
    VELMORA_OPTION(CheckBoxAskBeforeExiting, "ask-before-exiting", K::Switch),
    VELMORA_OPTION(CheckBoxOverwriteAsk, "ask-before-overwriting", K::Switch),
    VELMORA_OPTION(CheckBoxWarnWhenMissingFH, "warn-missing-headers", K::Switch),
    VELMORA_OPTION(CheckBoxCloseAfterSave, "close-after-save", K::Switch),
    VELMORA_OPTION(CheckBoxSmartCBR, "smart-cbr", K::Switch),
    VELMORA_OPTION(CheckBoxKeepExtraInfo, "keep-extra-info", K::Switch),
    VELMORA_OPTION(CheckBoxNoExtraInfoInMPEG2, "no-extra-info-in-mpeg2", K::Switch),
    VELMORA_OPTION(CheckBoxAllowPatchedStreams, "allow-patched-streams", K::Switch),
    VELMORA_OPTION(CheckBoxExactCut, "exact-cut", K::Switch),
    VELMORA_OPTION(CheckBoxSaveWAV, "save-as-wav", K::Switch),
    VELMORA_OPTION(CheckBoxSave_WithTime, "save-with-time", K::Switch),
    VELMORA_OPTION(CheckBoxSaveAs_WithTime, "save-as-with-time", K::Switch),
    VELMORA_OPTION(CheckBoxStayOnTop, "stay-on-top", K::Switch),
    VELMORA_OPTION(MenuWaveform, "waveform", K::Switch),
    VELMORA_OPTION(CheckBoxResetTrimmingPointsWhenOpen, "reset-trim-on-open", K::Switch),
    VELMORA_OPTION(CheckBoxResetFadeControlsWhenOpen, "reset-fades-on-open", K::Switch),
    VELMORA_OPTION(CheckBoxFileOpenInCurrentDirectory, "open-in-current-folder", K::Switch),
    VELMORA_OPTION(CheckBoxPreserveDate, "preserve-date", K::Switch),
    VELMORA_OPTION(RadioButtonID3Remove, "id3v1-mode", K::Byte),
    VELMORA_OPTION(CheckBoxKeepID3v2, "keep-id3v2", K::Switch),
    VELMORA_OPTION(CheckBoxID3UpdateTrackName, "id3v1-update-title", K::ThreeState),
    VELMORA_OPTION(CheckBoxID3UpdateArtistName, "id3v1-update-artist", K::ThreeState),
    VELMORA_OPTION(CheckBoxID3UpdateAlbumName, "id3v1-update-album", K::ThreeState),
    VELMORA_OPTION(CheckBoxID3UpdateAlbumYear, "id3v1-update-year", K::ThreeState),
    VELMORA_OPTION(CheckBoxID3UpdateGenre, "id3v1-update-genre", K::ThreeState),
    VELMORA_OPTION(CheckBoxID3UpdateCommentName, "id3v1-update-comment", K::ThreeState),
    VELMORA_OPTION(EditID3Track, "id3v1-title", K::Text),
    VELMORA_OPTION(EditID3Artist, "id3v1-artist", K::Text),
    VELMORA_OPTION(EditID3Album, "id3v1-album", K::Text),
    VELMORA_OPTION(EditID3Comment, "id3v1-comment", K::Text),
    VELMORA_OPTION(SpinEditID3Year, "id3v1-year", K::Number),
    VELMORA_OPTION(ComboBoxID3Genre, "id3v1-genre", K::Byte),
    VELMORA_OPTION(CheckBoxCleanup, "cleanup", K::Switch),
    VELMORA_OPTION(CheckBoxAutoDetectSilence, "auto-detect-silence", K::Switch),
    VELMORA_OPTION(CheckBoxFastSilenceDetection, "fast-silence-detection", K::Switch),
    VELMORA_OPTION(CheckBoxRemoveLastFrame, "remove-last-frame", K::Switch),
    VELMORA_OPTION(CheckBoxWarnWhenTrimBeginning_mp3PRO, "mp3pro-warn-trim-beginning", K::Switch),
    VELMORA_OPTION(CheckBoxDisableSilenceDetectionBeginning_mp3PRO, "mp3pro-keep-beginning",
                   K::Switch),
    VELMORA_OPTION(SpinEditMinimumCueTrackLength, "cue-min-track-length", K::Number),
    VELMORA_OPTION(RadioGroupCueSplit, "cue-split-excerpts", K::ItemIndex),
    VELMORA_OPTION(RadioGroupTrimAggressivity, "trim-aggressivity", K::ItemIndex),
    VELMORA_OPTION(ComboBoxAddSilenceBeginning, "add-silence-beginning", K::ItemIndex),
    VELMORA_OPTION(ComboBoxAddSilenceEnd, "add-silence-end", K::ItemIndex),
    VELMORA_OPTION(CheckBoxResetAddSilenceWhenOpen, "reset-add-silence-on-open", K::Switch),
    VELMORA_OPTION(CheckBoxAutoNormalizeVolume, "auto-normalize", K::Switch),
    VELMORA_OPTION(ComboBoxNormlizeAt, "normalize-at", K::ItemIndex),
    VELMORA_OPTION(ComboBoxNormalizeClippingThreshold, "normalize-clipping-threshold",
                   K::ItemIndex),
    VELMORA_OPTION(CheckBoxNormalizationIncOnly, "normalize-increase-only", K::Switch),
    VELMORA_OPTION(TrackBarDefaultAmplification, "default-amplification", K::Position),
    VELMORA_OPTION(ComboBoxFadeDepth, "fade-depth", K::ItemIndex),
    VELMORA_OPTION(SpinEditPreviewLength, "preview-length", K::Number),
    VELMORA_OPTION(RadioGroupPreviewPlaysWhat, "preview-trimmed-part", K::Switch),
    VELMORA_OPTION(CheckBoxStickyPreviewButtons, "sticky-preview-buttons", K::Switch),
    VELMORA_OPTION(RadioGroupPreviewMode, "preview-internal-player", K::Switch),
    VELMORA_OPTION(CheckBoxBatchRemoveSilence, "batch-remove-silence", K::Switch),
    VELMORA_OPTION(CheckBoxBatchVolumeNormalize, "batch-normalize", K::Switch),
    VELMORA_OPTION(TrackBarBatchFadeIn, "batch-fade-in", K::Position),
    VELMORA_OPTION(TrackBarBatchFadeOut, "batch-fade-out", K::Position),
    VELMORA_OPTION(CheckBoxBatchCreateLOG, "batch-log", K::Switch),
    VELMORA_OPTION(CheckBoxBatchLOGEraseAtBeginning, "batch-log-erase", K::Switch),
    VELMORA_OPTION(CheckBoxBatchLOGExcludeGoodFiles, "batch-log-exclude-good", K::Switch),
    VELMORA_OPTION(CheckBoxBatchLOGCharacteristics, "batch-log-characteristics", K::Switch),
    VELMORA_OPTION(CheckBoxBatchLOGStatistics, "batch-log-statistics", K::Switch),
    VELMORA_OPTION(CheckBoxBatchLOGAbrupt, "batch-log-abrupt", K::Switch),
    VELMORA_OPTION(CheckBoxBatchTestRun, "batch-test-run", K::Switch),
    VELMORA_OPTION(CheckBatchBoxStopOnError, "batch-stop-on-error", K::Switch),
    VELMORA_OPTION(CheckBoxBatchStopsOnBadFiles, "batch-stop-on-bad-files", K::Switch),
    VELMORA_OPTION(CheckBoxBatchSkipBadFiles, "batch-skip-bad-files", K::Switch),
    VELMORA_OPTION(CheckBoxBatchSplitCUE, "batch-split-cue", K::Switch),
    VELMORA_OPTION(CheckBoxBatchRunInIdlePriority, "batch-idle-priority", K::Switch),
    VELMORA_OPTION(CheckBoxProcessSubfolders, "batch-subfolders", K::Switch),
    VELMORA_OPTION(CheckBoxProcessOnly, "batch-only-matching", K::Switch),
    VELMORA_OPTION(EditBatchProcessOnlyFiles, "batch-only-patterns", K::Text),
    VELMORA_OPTION(CheckBoxBatchCreateThumbnail, "batch-thumbnail", K::Switch),
    VELMORA_OPTION(ComboBoxLengthThumbnail, "thumbnail-length", K::ItemIndex),
    VELMORA_OPTION(SpinEditStartThumbnail, "thumbnail-start", K::Number),
    VELMORA_OPTION(SpinEditEndThumbnail, "thumbnail-end", K::Number),
    VELMORA_OPTION(CheckBoxBatchMoveAbrupt, "batch-move-abrupt", K::Switch),
    VELMORA_OPTION(CheckBoxNormalizeLoudness, "normalize-loudness", K::Switch),
    VELMORA_OPTION(ComboBoxLoudnessTarget, "loudness-target", K::ItemIndex),
    VELMORA_OPTION(SpinEditLoudnessTargetCustom, "loudness-target-custom", K::Number),
    VELMORA_OPTION(ComboBoxTruePeakCeiling, "true-peak-ceiling", K::ItemIndex),
    VELMORA_OPTION(CheckBoxWriteReplayGainTags, "write-replaygain-tags", K::Switch),
    VELMORA_OPTION(CheckBoxBatchAlbumGain, "batch-album-gain", K::Switch),
};
#undef VELMORA_OPTION

} // namespace

double LoudnessTargetLufs(const Settings& s) {
    constexpr double kTargets[] = {-18, -14, -16, -23};
    const std::int32_t i = s.ComboBoxLoudnessTarget;
    return i >= 0 && i < 4 ? kTargets[i] : -s.SpinEditLoudnessTargetCustom;
}

double TruePeakCeilingDbtp(const Settings& s) {
    return -0.5 * std::clamp(s.ComboBoxTruePeakCeiling, 0, 4);
}

std::span<const OptionBinding> OptionBindings() {
    return kBindings;
}

const OptionBinding* FindOption(std::string_view name) {
    for (const OptionBinding& b : kBindings)
        if (name == b.name)
            return &b;
    return nullptr;
}

std::int32_t GetStoredInt(const Settings& s, const OptionBinding& b) {
    if (auto p = std::get_if<bool Settings::*>(&b.field))
        return (s.*(*p)) ? -1 : 0;
    if (auto p = std::get_if<std::uint8_t Settings::*>(&b.field))
        return s.*(*p);
    if (auto p = std::get_if<std::int32_t Settings::*>(&b.field))
        return s.*(*p);
    return 0;
}

void SetStoredInt(Settings& s, const OptionBinding& b, std::int32_t value) {
    if (auto p = std::get_if<bool Settings::*>(&b.field))
        s.*(*p) = value != 0;
    else if (auto p = std::get_if<std::uint8_t Settings::*>(&b.field))
        s.*(*p) = static_cast<std::uint8_t>(value & 0xFF);
    else if (auto p = std::get_if<std::int32_t Settings::*>(&b.field))
        s.*(*p) = value;
}

const std::string& GetText(const Settings& s, const OptionBinding& b) {
    static const std::string kEmpty;
    if (auto p = std::get_if<std::string Settings::*>(&b.field))
        return s.*(*p);
    return kEmpty;
}

void SetText(Settings& s, const OptionBinding& b, std::string value) {
    if (auto p = std::get_if<std::string Settings::*>(&b.field))
        s.*(*p) = std::move(value);
}

} // namespace velmora
