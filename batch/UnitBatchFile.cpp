#include "UnitBatchFile.h"

#include "Progress.h"
#include "UnitBatchAlbum.h"
#include "UnitBatchLog.h"
#include "UnitBatchWorker.h"
#include "UnitCueParse.h"
#include "UnitCueSplit.h"
#include "UnitInfo.h"
#include "UnitLoudness.h"
#include "UnitMessages.h"
#include "UnitOpenAudio.h"
#include "UnitOptions.h"
#include "UnitOutputPlan.h"
#include "UnitPath.h"
#include "UnitSaveJournal.h"
#include "UnitVolume.h"
#include "UnitWriter.h"
#include "Unit_MP3_RIFF.h"
#include "VelmoraError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace velmora {

namespace {

std::int64_t SizeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
}

struct Edit {
    TrimPoints trim;
    int gain = 0;
    int fadeIn = 0, fadeOut = 0;
    std::optional<WriteParams::Loudness> loudness; // measured by the normalisation
};

PlanOptions PlanOptionsOf(const Edit& edit, bool wav) {
    return {.tagsKept = TagsKept::Yes,
            .outputIsWav = wav,
            .gainSteps = edit.gain,
            .recordGainUndo = true};
}

// One in-place save of `info` as Save does it, closing the file afterwards.
WriteResult SaveInPlace(const std::string& path, StreamInfo& info, const Edit& edit,
                        const Settings& settings, const MessageTable& messages,
                        IProgress& progress) {
    const bool wav = OutputIsWav(settings, info.firstHeader.layerId, std::nullopt);
    const OutputPlanDisplay display =
        ComputeOutputPlan(info, edit.trim, settings, PlanOptionsOf(edit, wav));
    WriteParams params = MakeSaveParams(path, "", info, edit.trim, display.plan, settings,
                                        edit.gain, edit.fadeIn, edit.fadeOut);
    params.closeAfterSave = true;
    params.measuredLoudness = edit.loudness;
    params.recordGainUndo = true;
    return WriteOutput(params, info, {settings, messages, wav, true}, progress);
}

// Whether a save with `edit` changes the file: a trim, a gain, a fade, a different size, or a tag
// the options rewrite. A save that changes none of these rewrites the same bytes.
bool EditChanges(const Edit& edit, std::int64_t bytesSaved, const Settings& s) {
    const bool tagRewritten = s.RadioButtonID3Remove == kId3v1Recreate ||
                              s.CheckBoxID3UpdateTrackName || s.CheckBoxID3UpdateArtistName ||
                              s.CheckBoxID3UpdateAlbumName || s.CheckBoxID3UpdateAlbumYear ||
                              s.CheckBoxID3UpdateGenre || s.CheckBoxID3UpdateCommentName;
    return edit.trim.beginFrames + edit.trim.endFrames > 0 || edit.gain != 0 || edit.fadeIn != 0 ||
           edit.fadeOut != 0 || bytesSaved != 0 || tagRewritten;
}

class FileRun {
public:
    FileRun(const BatchInput& input, const BatchFileContext& context, IProgress& progress)
        : m_c(context), m_s(context.settings), m_progress(progress) {
        m_r.path = input.path;
        m_r.savedPath = input.path;
    }

    BatchFileReport Run() {
        try {
            Steps();
        } catch (const std::exception& e) {
            m_r.error = e.what();
            m_r.outcome =
                IsStopRequest(e) && !m_written ? BatchOutcome::NotProcessed : BatchOutcome::Failed;
            // A later step failed: the report must still say the file itself was changed.
            if (m_savedChanged)
                m_r.notes.push_back("the file was saved with its changes before this error");
        }
        return std::move(m_r);
    }

private:
    void Steps() {
        for (const std::string& refused : m_c.refusedPaths)
            if (SameFile(refused, m_r.path)) {
                m_r.outcome = BatchOutcome::Skipped;
                m_r.error = "the file is open in the editor";
                return;
            }
        const std::int64_t sizeBefore = SizeOf(m_r.path);
        OpenResult opened = OpenWithTailAnalysis(m_r.path, m_s, m_c.messages, m_progress);
        StreamInfo& info = opened.info;
        for (const OpenWarning w : opened.warnings)
            if (w != OpenWarning::InterruptedSave)
                m_r.notes.push_back(MessageTable::Join(OpenWarningText(m_c.messages, w)));
        Describe(info);
        // A file left half moved is not edited further on its own: the user decides.
        if (std::find(opened.warnings.begin(), opened.warnings.end(),
                      OpenWarning::InterruptedSave) != opened.warnings.end()) {
            m_r.outcome = BatchOutcome::Failed;
            m_r.error = kInterruptedSaveText;
            return;
        }
        if (info.missingHeaderCount > 0 && !MissingHeadersAllowed())
            return;

        const Edit edit = PlanEdit(info);
        if (m_s.CheckBoxBatchTestRun) {
            TestRun(info, edit);
            return;
        }
        ThrowIfStopped(m_progress);
        m_written = true;
        const WriteResult saved =
            SaveInPlace(m_r.path, info, edit, m_s, m_c.messages, m_afterWrite);
        if (!saved.nothingToDo)
            m_r.savedPath = saved.savedPath;
        bool changed =
            !saved.nothingToDo && (m_r.savedPath != m_r.path ||
                                   EditChanges(edit, sizeBefore - SizeOf(m_r.savedPath), m_s));
        m_savedChanged = changed;
        if (!saved.renameProblem.empty())
            m_r.notes.push_back("the file keeps its name: " + saved.renameProblem);
        if (!saved.exactCutWarning.empty())
            m_r.notes.push_back(saved.exactCutWarning);
        if (m_s.CheckBoxBatchSplitCUE)
            changed = Split() || changed;
        if (m_s.CheckBoxBatchCreateThumbnail)
            changed = Thumbnail() || changed;
        if (m_s.CheckBoxBatchMoveAbrupt && m_r.abruptEnding) {
            Move();
            changed = true;
        }
        m_r.bytesSaved = sizeBefore - SizeOf(m_r.savedPath);
        m_r.outcome = changed ? BatchOutcome::Changed : BatchOutcome::Unchanged;
    }

    void Describe(const StreamInfo& info) {
        const InformationTexts texts = BuildInformationTexts(info, TagsKept::Yes, m_c.messages);
        m_r.analysed = true;
        m_r.type = texts.EditType;
        m_r.length = texts.EditLength;
        m_r.bitrate = texts.EditBitrate;
        const MpegHeader& first = info.firstHeader;
        m_r.sampleRate = first.sampleRate;
        m_r.frames = info.frameCount;
        m_r.lengthSamples = info.frameCount * SamplesPerFrame(first);
        m_r.bitrateKbps = info.IsVbr() ? 0 : first.bitrateKbps;
        m_r.averageBitrateKbps = AverageBitrateKbps(info);
        m_r.missingHeaders = info.missingHeaderCount;
        m_r.abruptEnding = info.abruptEnding;
    }

    // CheckBoxBatchStopsOnBadFiles counts only under CheckBatchBoxStopOnError, which enables it.
    bool MissingHeadersAllowed() {
        const std::string text = std::to_string(m_r.missingHeaders) + " missing frame header(s)";
        if (m_s.CheckBatchBoxStopOnError && m_s.CheckBoxBatchStopsOnBadFiles) {
            m_r.outcome = BatchOutcome::Failed;
            m_r.error = text;
            m_r.stopsBatch = true;
            return false;
        }
        if (m_s.CheckBoxBatchSkipBadFiles) {
            m_r.outcome = BatchOutcome::Skipped;
            m_r.error = text;
            return false;
        }
        // The warnings the Open command shows for such a file.
        if (m_s.CheckBoxWarnWhenMissingFH)
            m_r.notes.push_back(MessageTable::Join(m_c.messages.MessageDlgWarnWhenMissingFH));
        else if (m_r.missingHeaders >= 10)
            m_r.notes.push_back(MessageTable::Join(m_c.messages.MessageDlgErrorMissingFH));
        return true;
    }

    // Album mode: the step of the file's folder, measured before the batch began.
    std::optional<int> AlbumGain(Edit& edit) {
        const AlbumMember* member = m_c.albums ? m_c.albums->Find(m_r.path) : nullptr;
        if (member == nullptr)
            return std::nullopt;
        const LoudnessGain& album = member->album->gain;
        m_r.loudnessBefore = member->track.integratedLufs;
        m_r.albumLoudness = album.before.integratedLufs;
        if (member->track.Measured())
            edit.loudness =
                WriteParams::Loudness{member->track.integratedLufs, member->track.truePeakDbtp};
        if (album.limit == LoudnessLimit::NotMeasured) {
            m_r.notes.push_back("no album step: the folder is silent or shorter than 400 ms");
            return 0;
        }
        return album.steps;
    }

    // The peak normalisation's step, or the loudness step with CheckBoxNormalizeLoudness; both
    // from one decode.
    int NormalizedGain(StreamInfo& info, int gain, Edit& edit) {
        if (const std::optional<int> album = AlbumGain(edit))
            return *album;
        const MpegHeader& first = info.firstHeader;
        LoudnessAnalyser analyser = LoudnessAnalyser::ForAnalysis(first);
        IVolumeAnalyser* analysers[] = {&analyser};
        const VolumeAnalysis analysis =
            AnalyseVolume(m_r.path, info, 0, info.frameCount, VolumeScope::Levels, m_c.messages,
                          m_progress, analysers);
        StoreEnergies(analysis, info);
        const std::optional<int> peakStep =
            ComputeNormalization(analysis, m_s).amplificationPosition;
        const LoudnessGain loudness =
            ComputeLoudnessGain(analyser.Result(), LoudnessTargetLufs(m_s),
                                TruePeakCeilingDbtp(m_s), kAmplificationMin, kAmplificationMax);
        m_r.loudnessBefore = loudness.before.integratedLufs;
        if (loudness.before.Measured())
            edit.loudness =
                WriteParams::Loudness{loudness.before.integratedLufs, loudness.before.truePeakDbtp};
        if (!m_s.CheckBoxNormalizeLoudness)
            return peakStep.value_or(gain);
        if (loudness.limit == LoudnessLimit::NotMeasured) {
            m_r.notes.push_back("no loudness step: the file is silent or shorter than 400 ms");
            return gain;
        }
        return loudness.steps;
    }

    Edit PlanEdit(StreamInfo& info) {
        Edit edit;
        if (m_s.CheckBoxBatchRemoveSilence)
            edit.trim = AutoTrim(info, m_s, OperationState::Idle).value_or(TrimPoints{});
        if (edit.trim.beginFrames > 0 && info.mp3Pro && m_s.CheckBoxWarnWhenTrimBeginning_mp3PRO)
            m_r.notes.push_back(MessageTable::Join(m_c.messages.MessageDlg_mp3PROwarning));
        m_r.trimmedBegin = edit.trim.beginFrames;
        m_r.trimmedEnd = edit.trim.endFrames;
        edit.gain = m_s.TrackBarDefaultAmplification;
        // Volume and fades exist only for Layer III.
        if (info.firstHeader.layerId != kLayer3) {
            if (m_s.CheckBoxBatchVolumeNormalize || m_s.TrackBarBatchFadeIn != 0 ||
                m_s.TrackBarBatchFadeOut != 0 || edit.gain != 0)
                m_r.notes.push_back("volume and fades left as they are: not a Layer III stream");
            edit.gain = 0;
            return edit;
        }
        if (m_s.CheckBoxBatchVolumeNormalize)
            edit.gain = NormalizedGain(info, edit.gain, edit);
        m_r.gainSteps = edit.gain;
        edit.fadeIn = m_s.TrackBarBatchFadeIn;
        edit.fadeOut = m_s.TrackBarBatchFadeOut;
        return edit;
    }

    void TestRun(const StreamInfo& info, const Edit& edit) {
        const bool wav = OutputIsWav(m_s, info.firstHeader.layerId, std::nullopt);
        const OutputPlan plan =
            ComputeOutputPlan(info, edit.trim, m_s, PlanOptionsOf(edit, wav)).plan;
        m_r.bytesSaved = plan.bytesSaved;
        bool changes = EditChanges(edit, plan.bytesSaved, m_s);
        if (m_s.CheckBoxBatchSplitCUE &&
            (SizeOf(ChangeFileExt(m_r.path, ".cue")) > 0 || info.id3v2.geobLength > 0))
            m_r.notes.push_back("would split according to its CUE sheet");
        if (m_s.CheckBoxBatchCreateThumbnail) {
            const std::optional<TrimPoints> cut =
                ComputeThumbnailCut(info.firstHeader, plan.outputFrames, m_s);
            if (!cut)
                throw VelmoraError("too short for a thumbnail");
            const std::int64_t kept = plan.outputFrames - cut->beginFrames - cut->endFrames;
            m_r.notes.push_back("would keep a thumbnail of " + std::to_string(kept) + " frames");
            changes = changes || kept != plan.outputFrames;
        }
        if (m_s.CheckBoxBatchMoveAbrupt && m_r.abruptEnding) {
            m_r.notes.push_back(std::string("would move to ") + kAbruptFolderName);
            changes = true;
        }
        m_r.outcome = changes ? BatchOutcome::Changed : BatchOutcome::Unchanged;
    }

    bool Split() {
        StreamInfo info = Reopen(m_r.savedPath, m_c.settings, m_c.messages, m_afterWrite);
        SplitControls controls;
        controls.overwrite = m_c.overwriteTracks;
        controls.claims = m_c.trackClaims;
        const SplitResult split =
            SplitByCueSheet(m_r.savedPath, info, controls, m_s, m_c.messages, m_afterWrite);
        if (!split.found)
            m_r.notes.push_back("no CUE sheet to split by");
        m_r.splitTracks = split.written;
        m_r.notes.insert(m_r.notes.end(), split.warnings.begin(), split.warnings.end());
        return !split.written.empty();
    }

    bool Thumbnail() {
        StreamInfo info = Reopen(m_r.savedPath, m_c.settings, m_c.messages, m_afterWrite);
        const std::optional<TrimPoints> cut =
            ComputeThumbnailCut(info.firstHeader, info.frameCount, m_s);
        if (!cut)
            throw VelmoraError("too short for a thumbnail");
        // The save before added the silence and the name; the excerpt is only cut out.
        Settings cutOnly = m_s;
        cutOnly.ComboBoxAddSilenceBeginning = 0;
        cutOnly.ComboBoxAddSilenceEnd = 0;
        cutOnly.CheckBoxSave_WithTime = false;
        const WriteResult r = SaveInPlace(m_r.savedPath, info, {*cut, 0, 0, 0, {}}, cutOnly,
                                          m_c.messages, m_afterWrite);
        return !r.nothingToDo;
    }

    void Move() {
        const std::string folder = FolderOf(m_r.savedPath) + kAbruptFolderName;
        if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
            throw VelmoraError(std::string(std::strerror(errno)) + " - Could not create folder " +
                               folder);
        const std::string target = folder + "/" + BaseName(m_r.savedPath);
        struct stat st {};
        if (::lstat(target.c_str(), &st) == 0)
            throw VelmoraError("Could not move the file: " + target + " already exists");
        if (::rename(m_r.savedPath.c_str(), target.c_str()) != 0)
            throw VelmoraError(std::string(std::strerror(errno)) +
                               " - Could not move the file to " + folder);
        m_r.savedPath = target;
        // The note is a line of its own: the name cannot break it.
        m_r.notes.push_back("moved to " + EscapeControls(target));
    }

    const BatchFileContext& m_c;
    const Settings& m_s;
    IProgress& m_progress;
    // Once a file is being written its remaining steps run to the end, so that a stop never
    // leaves it saved but not split, cut or moved as asked.
    NullProgress m_afterWrite;
    BatchFileReport m_r;
    bool m_written = false;
    bool m_savedChanged = false;
};

} // namespace

BatchFileReport ProcessBatchFile(const BatchInput& input, const BatchFileContext& context,
                                 IProgress& progress) {
    if (!input.error.empty()) {
        BatchFileReport r;
        r.path = input.path;
        r.outcome = BatchOutcome::Failed;
        r.error = input.error;
        return r;
    }
    return FileRun(input, context, progress).Run();
}

std::optional<TrimPoints> ComputeThumbnailCut(const MpegHeader& first, std::int64_t frames,
                                              const Settings& settings) {
    const int item = settings.ComboBoxLengthThumbnail;
    const int seconds = item >= 0 && item < 7 ? kThumbnailSeconds[item] : kThumbnailSeconds[1];
    TrimPoints cut;
    cut.beginFrames = SecondsToFrames(first, settings.SpinEditStartThumbnail);
    if (seconds == 0)
        cut.endFrames = SecondsToFrames(first, settings.SpinEditEndThumbnail);
    else
        cut.endFrames =
            std::max<std::int64_t>(0, frames - cut.beginFrames - SecondsToFrames(first, seconds));
    if (cut.beginFrames + cut.endFrames >= frames)
        return std::nullopt;
    return cut;
}

} // namespace velmora
