#include "CliJson.h"
#include "InfoRecord.h"

namespace velmora::cli {

namespace {

double Seconds(std::int64_t samples, std::uint32_t rate) {
    return rate ? static_cast<double>(samples) / rate : 0.0;
}

const char* BitrateKind(const InfoRecord& r) {
    if (!r.vbr)
        return "constant";
    return r.bitrateIsAverage ? "average" : "dominant";
}

void AddStream(Json& j, const InfoRecord& r) {
    j["version"] = r.version;
    j["layer"] = r.layerNumber;
    j["sampleRate"] = r.sampleRate;
    j["channelMode"] = r.channelMode;
    j["channels"] = r.channels;
    j["frames"] = r.frames;
    j["lengthSamples"] = r.lengthSamples;
    j["lengthSeconds"] = JsonNumberOrNull(Seconds(r.lengthSamples, r.sampleRate), 6);
    j["vbr"] = r.vbr;
    j["bitrateKbps"] = r.bitrateKbps;
    j["bitrateKind"] = BitrateKind(r);
    j["averageBitrateKbps"] = JsonNumberOrNull(r.averageBitrateKbps, 1);
}

void AddDamage(Json& j, const InfoRecord& r) {
    j["missingHeaders"] = r.missingHeaders;
    j["missingHeaderPositions"] = r.missingHeaderOffsets;
    j["badCrcs"] = r.badCrcs;
    j["crc"] = r.crc;
    j["leadingGarbage"] = r.leadingGarbage;
    j["lastFrameIncomplete"] = r.lastFrameIncomplete;
    j["extraInfo"] = r.extraInfo ? Json(r.extraInfo) : Json(nullptr);
    j["mp3Pro"] = r.mp3Pro;
    j["silentBegin"] = r.silentBegin;
    j["silentEnd"] = r.silentEnd;
    j["abruptEnding"] = r.abruptEnding;
    j["inconsistencies"] = JsonTextList(r.inconsistencies);
    j["audioStart"] = r.audioStart;
    j["retried"] = r.retried;
}

// A tag's fields: null when the file has no such tag or the field is empty.
void AddTagFields(Json& j, const char* prefix, const TagPageTexts& page) {
    const std::pair<const char*, const std::string*> fields[] = {
        {"Title", &page.title}, {"Artist", &page.artist},   {"Album", &page.album},
        {"Year", &page.year},   {"Comment", &page.comment}, {"Genre", &page.genre}};
    for (const auto& [name, value] : fields)
        j[std::string(prefix) + name] = page.enabled ? JsonTextOrNull(*value) : Json(nullptr);
}

void AddTags(Json& j, const InfoRecord& r) {
    j["riffHeaderSize"] = r.tags.riffHeaderSize;
    j["id3v2Size"] = r.tags.id3v2.tagSize;
    j["id3v1Size"] = r.tags.id3v1Size;
    j["apeSize"] = r.tags.apeSize;
    j["lyrics3Size"] = r.tags.lyrics3Size;
    AddTagFields(j, "id3v1", r.texts.id3v1);
    AddTagFields(j, "id3v2", r.texts.id3v2);
    const TID3v2& tag = r.tags.id3v2;
    const std::pair<const char*, const std::string*> more[] = {
        {"id3v2Composer", &tag.composer},
        {"id3v2EncodedBy", &tag.encodedBy},
        {"id3v2Copyright", &tag.copyright},
        {"id3v2Language", &tag.language},
        {"id3v2Url", &tag.url},
        {"id3v2LengthText", &tag.lengthText}};
    for (const auto& [key, value] : more)
        j[key] = tag.tagSize > 0 ? JsonTextOrNull(*value) : Json(nullptr);
    Json chapters = Json::array();
    for (const Chapter& c : tag.ChaptersInOrder())
        chapters.push_back({{"id", JsonText(c.elementId)},
                            {"title", JsonText(c.title)},
                            {"startMs", c.startMs},
                            {"endMs", c.endMs}});
    j["chapters"] = std::move(chapters);
    j["id3v2Notes"] = JsonTextList(tag.notes);
}

void AddPlan(Json& j, const InfoRecord& r) {
    const OutputPlan& plan = r.plan.plan;
    const std::int64_t samples =
        r.frames > 0 ? plan.outputFrames * (r.lengthSamples / r.frames) : 0;
    j["outputFrames"] = plan.outputFrames;
    j["outputSamples"] = samples;
    j["outputSeconds"] = JsonNumberOrNull(Seconds(samples, r.sampleRate), 6);
    j["predictedSize"] = plan.predictedSize;
    j["bytesSaved"] = plan.bytesSaved;
    j["warnings"] = JsonTextList(r.warnings);
}

// The texts the editor and `info` without --json show.
Json Display(const InfoRecord& r) {
    const InformationTexts& t = r.texts;
    auto page = [](const TagPageTexts& p) {
        return Json{{"title", JsonText(p.title)},     {"artist", JsonText(p.artist)},
                    {"album", JsonText(p.album)},     {"year", JsonText(p.year)},
                    {"comment", JsonText(p.comment)}, {"genre", JsonText(p.genre)}};
    };
    return {{"type", JsonText(t.EditType)},
            {"length", JsonText(t.EditLength)},
            {"id3", JsonText(t.EditID3)},
            {"crc", JsonText(t.EditCRC)},
            {"bitrate", JsonText(t.EditBitrate)},
            {"ending", JsonText(t.EditEnding)},
            {"averageBitrate", JsonText(t.LabelNumberAverageBitrate)},
            {"inconsistencies", JsonTextList(t.ListBoxInconsistent)},
            {"missingHeaderPositions", JsonTextList(r.missingHeaderTimes)},
            {"id3v1", page(t.id3v1)},
            {"id3v2", page(t.id3v2)},
            {"spaceSaved", JsonText(r.plan.LabelSpaceSaved)},
            {"outputLength", JsonText(r.plan.LabelTimeRemain)},
            {"warnings", JsonTextList(r.warningTexts)}};
}

} // namespace

std::string InfoJsonLine(const InfoRecord& r, bool display) {
    Json j = JsonFileLine(r.file);
    AddStream(j, r);
    AddDamage(j, r);
    AddTags(j, r);
    AddPlan(j, r);
    if (r.loudness)
        AddLoudnessJson(j, *r.loudness);
    if (display)
        j["display"] = Display(r);
    return JsonLineText(j);
}

} // namespace velmora::cli
