#include "CliTime.h"

#include <charconv>

namespace velmora::cli {

namespace {

bool ParseInt(std::string_view text, std::int64_t& value) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    return !text.empty() && r.ec == std::errc() && r.ptr == end;
}

} // namespace

std::optional<TimeValue> ParseDecimal(std::string_view text) {
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
    if (whole.empty() || whole.size() > 12 || fraction.size() > 9 ||
        (point != std::string_view::npos && fraction.empty()))
        return std::nullopt;
    TimeValue t;
    for (const std::string_view part : {whole, fraction}) {
        for (const char c : part) {
            if (c < '0' || c > '9')
                return std::nullopt;
            t.numerator = t.numerator * 10 + (c - '0');
        }
    }
    for (std::size_t i = 0; i < fraction.size(); ++i)
        t.denominator *= 10;
    return t;
}

std::optional<TimeValue> ParseTimeValue(std::string_view text) {
    if (text.ends_with("ms") || text.ends_with("s")) {
        const bool ms = text.ends_with("ms");
        std::optional<TimeValue> t = ParseDecimal(text.substr(0, text.size() - (ms ? 2 : 1)));
        if (t && ms)
            t->denominator *= 1000;
        return t;
    }
    std::int64_t seconds = 0;
    std::size_t colons = 0;
    std::size_t colon;
    while ((colon = text.find(':')) != std::string_view::npos) {
        std::int64_t part = 0;
        const std::string_view digits = text.substr(0, colon);
        if (++colons > 2 || digits.empty() || digits.size() > 9 || !ParseInt(digits, part) ||
            part < 0 || (colons > 1 && part >= 60))
            return std::nullopt;
        seconds = seconds * 60 + part;
        text.remove_prefix(colon + 1);
    }
    std::optional<TimeValue> t = ParseDecimal(text);
    if (colons == 0 || !t || t->numerator >= 60 * t->denominator)
        return std::nullopt;
    t->numerator += seconds * 60 * t->denominator;
    return t;
}

std::optional<Duration> ParseDuration(std::string_view text) {
    std::int64_t frames = 0;
    if (text.ends_with("f") && text.size() <= 13 &&
        ParseInt(text.substr(0, text.size() - 1), frames) && frames >= 0)
        return Duration{std::nullopt, frames};
    if (const std::optional<TimeValue> t = ParseDecimal(text))
        return Duration{t, 0};
    if (const std::optional<TimeValue> t = ParseTimeValue(text))
        return Duration{t, 0};
    return std::nullopt;
}

std::int64_t DurationFrames(const Duration& duration, const MpegHeader& header) {
    if (!duration.time)
        return duration.frames;
    const std::int64_t spf = SamplesPerFrame(header);
    return (duration.time->Samples(header.sampleRate) + spf - 1) / spf;
}

} // namespace velmora::cli
