#include "UnitCueSplit.h"

#include "UnitDescriptor.h"
#include "UnitFileView.h"
#include "UnitIo.h"
#include "UnitMessages.h"
#include "UnitOptions.h"
#include "UnitOutputPlan.h"
#include "UnitPath.h"
#include "UnitTrackNames.h"
#include "UnitWriter.h"
#include "Unit_MP3_RIFF.h"
#include "VelmoraError.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

[[noreturn]] void FileError(const char* what, const std::string& path) {
    throw VelmoraError(std::string(std::strerror(errno)) + " - " + what + " \"" + path + "\"");
}

std::string JoinNames(const std::string& first, const std::string& second) {
    if (!first.empty() && !second.empty())
        return first + " - " + second;
    return first.empty() ? second : first;
}

void CreateFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0777) == 0)
        return;
    const int error = errno;
    struct stat st {};
    if (error == EEXIST && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return;
    errno = error;
    FileError("Could not create folder", folder);
}

// The folder and the ones above it that are missing.
void CreateFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1))
        if (::mkdir(folder.substr(0, slash).c_str(), 0777) != 0 && errno != EEXIST)
            FileError("Could not create folder", folder.substr(0, slash));
    CreateFolder(folder);
}

// The source's whole ID3v2 tag, as the tracks' tags start from it.
std::vector<std::uint8_t> SourceTag(const std::string& mp3Path, const StreamInfo& info,
                                    const MessageTable& messages) {
    const FileView view = OpenFileView(mp3Path, FileAccess::ReadOnly, messages);
    const std::int64_t begin = info.riffHeaderSize, length = info.id3v2.tagSize;
    if (begin < 0 || length <= 0 || begin > view.size() || length > view.size() - begin)
        return {};
    return {view.data() + begin, view.data() + begin + length};
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// The folder's real path, so that one track file has one name whatever way the folder was named.
std::string RealFolder(const std::string& folder) {
    char* real = ::realpath(folder.c_str(), nullptr);
    if (!real)
        FileError("Could not create folder", folder);
    std::string path(real);
    std::free(real);
    return path;
}

// Refuses, before anything is written, a track that would replace the file being split (by any
// name or link) or, unless asked, any other existing file.
void CheckTrackTargets(const std::string& mp3Path, const std::vector<std::string>& targets,
                       bool overwrite) {
    struct stat source {};
    const bool sourceKnown = ::stat(mp3Path.c_str(), &source) == 0;
    for (const std::string& target : targets) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0)
            continue;
        if (::stat(target.c_str(), &st) == 0 && sourceKnown && st.st_dev == source.st_dev &&
            st.st_ino == source.st_ino)
            throw VelmoraError("The track \"" + target +
                               "\" would replace the file being split; nothing was written");
        if (!overwrite)
            throw VelmoraError("The track \"" + target +
                               "\" exists already; nothing was written (existing tracks are "
                               "replaced only when asked to)");
    }
}

// The batch's claim on the track files, given back when the split is refused.
class TrackClaim {
public:
    TrackClaim(SplitOutputClaims* claims, std::vector<std::string> paths)
        : m_claims(claims), m_paths(std::move(paths)) {
        if (!m_claims)
            return;
        if (const std::optional<std::string> taken = m_claims->ClaimAll(m_paths)) {
            m_claims = nullptr;
            throw VelmoraError("The track \"" + *taken +
                               "\" is written by another file of this batch; nothing was "
                               "written");
        }
    }
    ~TrackClaim() {
        if (m_claims && !m_kept)
            m_claims->Release(m_paths);
    }
    TrackClaim(const TrackClaim&) = delete;
    TrackClaim& operator=(const TrackClaim&) = delete;
    void Keep() { m_kept = true; }

private:
    SplitOutputClaims* m_claims;
    std::vector<std::string> m_paths;
    bool m_kept = false;
};

} // namespace

std::optional<std::string> SplitOutputClaims::ClaimAll(const std::vector<std::string>& paths) {
    std::lock_guard lock(m_mutex);
    for (const std::string& path : paths)
        if (m_taken.count(path) != 0)
            return path;
    m_taken.insert(paths.begin(), paths.end());
    return std::nullopt;
}

void SplitOutputClaims::Release(const std::vector<std::string>& paths) {
    std::lock_guard lock(m_mutex);
    for (const std::string& path : paths)
        m_taken.erase(path);
}

std::string CleanFolderName(const std::string& name) {
    // The sentinel lets the real last character be cleaned as well.
    std::string clean = SanitizeFileName(name + "x");
    clean.pop_back();
    if (clean.size() > kNameMax) {
        std::size_t keep = kNameMax;
        while (keep > 0 && (static_cast<unsigned char>(clean[keep]) & 0xC0) == 0x80)
            --keep;
        clean.resize(keep);
    }
    if (clean == "." || clean == "..")
        return {};
    return clean;
}

std::string CueOutputFolder(const std::string& mp3Path, const CueTrackTable& table,
                            const TID3v2& id3v2) {
    const std::string album =
        CleanFolderName(JoinNames(table.CueAlbumPerformer, table.CueAlbumTitle));
    if (!album.empty())
        return album;
    if (id3v2.tagSize > 0) {
        const std::string tagged = CleanFolderName(JoinNames(id3v2.artist, id3v2.title));
        if (!tagged.empty())
            return FolderOf(mp3Path) + tagged;
    }
    return ChangeFileExt(mp3Path, "");
}

CueTrackRange CueTrackRangeOf(const CueTrackTable& table, std::size_t k, std::int64_t totalFrames,
                              const MpegHeader& header, std::int32_t radioGroupCueSplit) {
    CueTrackRange r;
    r.start = table.tracks[k].startFrame;
    r.length =
        (k + 1 < table.tracks.size() ? table.tracks[k + 1].startFrame : totalFrames) - r.start;
    if (radioGroupCueSplit == 1) {
        const std::int64_t excerpt = SecondsToFrames(header, 30);
        if (excerpt < r.length) {
            r.start += (r.length - excerpt) / 2;
            r.length = excerpt;
        }
    }
    return r;
}

TemporaryCueSheet::~TemporaryCueSheet() {
    if (!m_path.empty())
        ::unlink(m_path.c_str());
}

std::unique_ptr<TemporaryCueSheet> ExtractEmbeddedCueSheet(const std::string& mp3Path,
                                                           const std::string& cuePath,
                                                           const StreamInfo& info,
                                                           const MessageTable& messages) {
    const Descriptor fd(::open(cuePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0)
        FileError("Could not create", cuePath);
    auto guard = std::make_unique<TemporaryCueSheet>(cuePath);

    FileView view;
    try {
        view = OpenFileView(mp3Path, FileAccess::ReadOnly, messages);
    } catch (const VelmoraError&) {
        throw VelmoraError("Could not open " + mp3Path);
    }
    // The tag sits after an input RIFF header; the file may have changed since it was read.
    const std::int64_t begin = info.riffHeaderSize + info.id3v2.geobOffset;
    const std::int64_t length = info.id3v2.geobLength;
    if (begin < 0 || length < 0 || begin > view.size() || length > view.size() - begin)
        throw VelmoraError("Could not open " + mp3Path);
    if (const IoResult r = WriteFully(fd.get(), view.data() + begin, length); r.error != 0) {
        errno = r.error;
        FileError("Could not write", cuePath);
    }
    return guard;
}

SplitResult SplitByCueSheet(const std::string& mp3Path, StreamInfo& info,
                            const SplitControls& controls, const Settings& settings,
                            const MessageTable& messages, IProgress& progress,
                            const TrackWritten& onTrackWritten) {
    SplitResult result;
    const std::string cuePath = ChangeFileExt(mp3Path, ".cue");
    std::unique_ptr<TemporaryCueSheet> extracted;
    if (!Exists(cuePath) && info.id3v2.tagSize > 0 && info.id3v2.geobLength > 0) {
        extracted = ExtractEmbeddedCueSheet(mp3Path, cuePath, info, messages);
        result.embedded = true;
    }
    if (!Exists(cuePath))
        return result;
    result.found = true;

    const bool outputIsWav = OutputIsWav(settings, info.firstHeader.layerId, std::nullopt);
    const std::int64_t n = info.frameCount;
    const CueTrackTable table = ParseCueSheet(cuePath, {info.firstHeader, n, outputIsWav});
    // A sheet without tracks (empty, comments only, another encoding) must not pass for a split.
    if (table.tracks.empty())
        throw VelmoraError("invalid CUE file");
    SplitByTrackTable(mp3Path, info, table, controls, settings, messages, progress, onTrackWritten,
                      result);
    return result;
}

void SplitByTrackTable(const std::string& mp3Path, StreamInfo& info, const CueTrackTable& table,
                       const SplitControls& controls, const Settings& settings,
                       const MessageTable& messages, IProgress& progress,
                       const TrackWritten& onTrackWritten, SplitResult& result) {
    const bool outputIsWav = OutputIsWav(settings, info.firstHeader.layerId, std::nullopt);
    const std::int64_t n = info.frameCount;
    std::vector<std::string> names;
    for (std::size_t k = 0; k < table.tracks.size(); ++k)
        names.push_back(controls.namePattern.empty()
                            ? table.tracks[k].name
                            : TrackNameOf(controls.namePattern, table, k, outputIsWav));
    result.folder = controls.outputFolder.empty() ? CueOutputFolder(mp3Path, table, info.id3v2)
                                                  : controls.outputFolder;
    CreateFolders(result.folder);
    const std::string prefix = result.folder + "/";
    std::vector<std::string> targets, claimed;
    const std::string realFolder = controls.claims ? RealFolder(result.folder) + "/" : "";
    for (const std::string& name : names) {
        targets.push_back(prefix + name);
        claimed.push_back(realFolder + name);
    }
    // Once claimed, the names stay the batch's even when a write fails: its files may be there.
    TrackClaim claim(controls.claims, std::move(claimed));
    CheckTrackTargets(mp3Path, targets, controls.overwrite);
    claim.Keep();
    for (const std::string& target : targets)
        if (const std::size_t slash = target.rfind('/'); slash > prefix.size())
            CreateFolders(target.substr(0, slash));
    const bool tagged = controls.writeTags && !outputIsWav;
    const std::vector<std::uint8_t> sourceTag =
        tagged && settings.CheckBoxKeepID3v2 && controls.tagsKept && info.id3v2.tagSize > 0
            ? SourceTag(mp3Path, info, messages)
            : std::vector<std::uint8_t>{};

    const WriteContext context{settings, messages, outputIsWav, controls.tagsKept};
    for (std::size_t k = 0; k < table.tracks.size(); ++k) {
        const CueTrackRange range =
            CueTrackRangeOf(table, k, n, info.firstHeader, settings.RadioGroupCueSplit);
        // The trim controls keep their values within 0 … total.
        const TrimPoints trim{std::clamp<std::int64_t>(range.start, 0, n),
                              std::clamp<std::int64_t>(n - range.length - range.start, 0, n)};
        const OutputPlan plan =
            ComputeOutputPlan(info, trim, settings,
                              {.tagsKept = TagsKept{controls.tagsKept}, .outputIsWav = outputIsWav})
                .plan;

        WriteParams params =
            MakeSaveParams(mp3Path, targets[k], info, trim, plan, settings, controls.gainSteps,
                           controls.fadeInIndex, controls.fadeOutIndex);
        // A track leaves the tags out, keeps the recording open and never carries its
        // incomplete last frame.
        params.closeAfterSave = false;
        params.recordGainUndo = true;
        params.writeId3v1 = false;
        params.keepId3v2 = false;
        params.frameCount = params.fadeSpan;
        if (tagged)
            params.id3v2Image = TrackTagImage(table, k, sourceTag);
        if (settings.RadioGroupCueSplit != 1) {
            // Each track from its sheet time to the next one's, to the sample.
            params.beginSample = table.tracks[k].startSample;
            params.endSample = k + 1 < table.tracks.size() ? table.tracks[k + 1].startSample
                                                           : DecodedSamples(info);
        }
        const WriteResult written = WriteOutput(params, info, context, progress);
        if (!written.exactCutWarning.empty())
            result.warnings.push_back(names[k] + ": " + written.exactCutWarning);

        result.trim = trim;
        result.written.push_back(params.outputPath);
        if (onTrackWritten)
            onTrackWritten(params.outputPath);
    }
}

} // namespace velmora
