#include "UnitOptions.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

using K = OptionKind;
#define VELMORA_OPTION(name, kind)                                                                 \
    OptionBinding {                                                                                \
#name, kind, &Settings::name                                                               \
    }

const OptionBinding kBindings[] = {
    VELMORA_OPTION(CheckBoxAskBeforeExiting, K::Switch),
    VELMORA_OPTION(CheckBoxOverwriteAsk, K::Switch),
    VELMORA_OPTION(CheckBoxWarnWhenMissingFH, K::Switch),
    VELMORA_OPTION(CheckBoxCloseAfterSave, K::Switch),
    VELMORA_OPTION(CheckBoxSmartCBR, K::Switch),
    VELMORA_OPTION(CheckBoxKeepExtraInfo, K::Switch),
    VELMORA_OPTION(CheckBoxNoExtraInfoInMPEG2, K::Switch),
    VELMORA_OPTION(CheckBoxAllowPatchedStreams, K::Switch),
    VELMORA_OPTION(CheckBoxExactCut, K::Switch),
    VELMORA_OPTION(CheckBoxSaveWAV, K::Switch),
    VELMORA_OPTION(CheckBoxSave_WithTime, K::Switch),
    VELMORA_OPTION(CheckBoxSaveAs_WithTime, K::Switch),
    VELMORA_OPTION(CheckBoxStayOnTop, K::Switch),
    VELMORA_OPTION(MenuWaveform, K::Switch),
    VELMORA_OPTION(CheckBoxResetTrimmingPointsWhenOpen, K::Switch),
    VELMORA_OPTION(CheckBoxResetFadeControlsWhenOpen, K::Switch),
    VELMORA_OPTION(CheckBoxFileOpenInCurrentDirectory, K::Switch),
    VELMORA_OPTION(CheckBoxPreserveDate, K::Switch),
    VELMORA_OPTION(RadioButtonID3Remove, K::Byte),
    VELMORA_OPTION(CheckBoxKeepID3v2, K::Switch),
    VELMORA_OPTION(CheckBoxID3UpdateTrackName, K::ThreeState),
    VELMORA_OPTION(CheckBoxID3UpdateArtistName, K::ThreeState),
    VELMORA_OPTION(CheckBoxID3UpdateAlbumName, K::ThreeState),
    VELMORA_OPTION(CheckBoxID3UpdateAlbumYear, K::ThreeState),
    VELMORA_OPTION(CheckBoxID3UpdateGenre, K::ThreeState),
    VELMORA_OPTION(CheckBoxID3UpdateCommentName, K::ThreeState),
    VELMORA_OPTION(EditID3Track, K::Text),
    VELMORA_OPTION(EditID3Artist, K::Text),
    VELMORA_OPTION(EditID3Album, K::Text),
    VELMORA_OPTION(EditID3Comment, K::Text),
    VELMORA_OPTION(SpinEditID3Year, K::Number),
    VELMORA_OPTION(ComboBoxID3Genre, K::Byte),
    VELMORA_OPTION(CheckBoxCleanup, K::Switch),
    VELMORA_OPTION(CheckBoxAutoDetectSilence, K::Switch),
    VELMORA_OPTION(CheckBoxFastSilenceDetection, K::Switch),
    VELMORA_OPTION(CheckBoxRemoveLastFrame, K::Switch),
    VELMORA_OPTION(CheckBoxWarnWhenTrimBeginning_mp3PRO, K::Switch),
    VELMORA_OPTION(CheckBoxDisableSilenceDetectionBeginning_mp3PRO, K::Switch),
    VELMORA_OPTION(SpinEditMinimumCueTrackLength, K::Number),
    VELMORA_OPTION(RadioGroupCueSplit, K::ItemIndex),
    VELMORA_OPTION(RadioGroupTrimAggressivity, K::ItemIndex),
    VELMORA_OPTION(ComboBoxAddSilenceBeginning, K::ItemIndex),
    VELMORA_OPTION(ComboBoxAddSilenceEnd, K::ItemIndex),
    VELMORA_OPTION(CheckBoxResetAddSilenceWhenOpen, K::Switch),
    VELMORA_OPTION(CheckBoxAutoNormalizeVolume, K::Switch),
    VELMORA_OPTION(ComboBoxNormlizeAt, K::ItemIndex),
    VELMORA_OPTION(ComboBoxNormalizeClippingThreshold, K::ItemIndex),
    VELMORA_OPTION(CheckBoxNormalizationIncOnly, K::Switch),
    VELMORA_OPTION(TrackBarDefaultAmplification, K::Position),
    VELMORA_OPTION(ComboBoxFadeDepth, K::ItemIndex),
    VELMORA_OPTION(SpinEditPreviewLength, K::Number),
    VELMORA_OPTION(RadioGroupPreviewPlaysWhat, K::Switch),
    VELMORA_OPTION(CheckBoxStickyPreviewButtons, K::Switch),
    VELMORA_OPTION(RadioGroupPreviewMode, K::Switch),
    VELMORA_OPTION(CheckBoxBatchRemoveSilence, K::Switch),
    VELMORA_OPTION(CheckBoxBatchVolumeNormalize, K::Switch),
    VELMORA_OPTION(TrackBarBatchFadeIn, K::Position),
    VELMORA_OPTION(TrackBarBatchFadeOut, K::Position),
    VELMORA_OPTION(CheckBoxBatchCreateLOG, K::Switch),
    VELMORA_OPTION(CheckBoxBatchLOGEraseAtBeginning, K::Switch),
    VELMORA_OPTION(CheckBoxBatchLOGExcludeGoodFiles, K::Switch),
    VELMORA_OPTION(CheckBoxBatchLOGCharacteristics, K::Switch),
    VELMORA_OPTION(CheckBoxBatchLOGStatistics, K::Switch),
    VELMORA_OPTION(CheckBoxBatchLOGAbrupt, K::Switch),
    VELMORA_OPTION(CheckBoxBatchTestRun, K::Switch),
    VELMORA_OPTION(CheckBatchBoxStopOnError, K::Switch),
    VELMORA_OPTION(CheckBoxBatchStopsOnBadFiles, K::Switch),
    VELMORA_OPTION(CheckBoxBatchSkipBadFiles, K::Switch),
    VELMORA_OPTION(CheckBoxBatchSplitCUE, K::Switch),
    VELMORA_OPTION(CheckBoxBatchRunInIdlePriority, K::Switch),
    VELMORA_OPTION(CheckBoxProcessSubfolders, K::Switch),
    VELMORA_OPTION(CheckBoxProcessOnly, K::Switch),
    VELMORA_OPTION(EditBatchProcessOnlyFiles, K::Text),
    VELMORA_OPTION(CheckBoxBatchCreateThumbnail, K::Switch),
    VELMORA_OPTION(ComboBoxLengthThumbnail, K::ItemIndex),
    VELMORA_OPTION(SpinEditStartThumbnail, K::Number),
    VELMORA_OPTION(SpinEditEndThumbnail, K::Number),
    VELMORA_OPTION(CheckBoxBatchMoveAbrupt, K::Switch),
    VELMORA_OPTION(CheckBoxNormalizeLoudness, K::Switch),
    VELMORA_OPTION(ComboBoxLoudnessTarget, K::ItemIndex),
    VELMORA_OPTION(SpinEditLoudnessTargetCustom, K::Number),
    VELMORA_OPTION(ComboBoxTruePeakCeiling, K::ItemIndex),
    VELMORA_OPTION(CheckBoxWriteReplayGainTags, K::Switch),
    VELMORA_OPTION(CheckBoxBatchAlbumGain, K::Switch),
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
