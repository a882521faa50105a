#pragma once

// Times as the command line takes them.

#include "UnitMP3.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::cli {

// A time as a fraction: numerator / denominator seconds.
struct TimeValue {
    std::int64_t numerator = 0;
    std::int64_t denominator = 1;
    std::int64_t Milliseconds() const { return static_cast<std::int64_t>(Scaled(1000) / 2); }
    std::int64_t Samples(std::int64_t rate) const {
        return static_cast<std::int64_t>((Scaled(rate) + 1) / 2); // rounded to the nearest
    }

private:
    __int128 Scaled(std::int64_t unit) const {
        return __int128{numerator} * unit * 2 / denominator;
    }
};

// "12" or "12.345": at most 12 digits before the point and 9 after.
std::optional<TimeValue> ParseDecimal(std::string_view text);

// "1.5s", "250ms", "2.5ms", "1:30.25", "1:02:03.5"; minutes and seconds after a colon below 60.
std::optional<TimeValue> ParseTimeValue(std::string_view text);

// A length: seconds ("20", "1.5", "20s"), "500ms", a clock time ("1:30"), or frames ("25f").
struct Duration {
    std::optional<TimeValue> time;
    std::int64_t frames = 0; // when `time` is unset
};
std::optional<Duration> ParseDuration(std::string_view text);

// The frames a duration covers in the stream of `header`, rounded up.
std::int64_t DurationFrames(const Duration& duration, const MpegHeader& header);

} // namespace velmora::cli
