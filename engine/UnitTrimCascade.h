#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace velmora {

struct MpegHeader;

// The editor's four trim quantities, in the order of their fields.
enum class TrimQuantity : int { Begin = 0, End = 1, EndPosition = 2, Duration = 3 };

// The four fields' frame counts, indexed by TrimQuantity; -1 is an empty field. A typed count can
// exceed the stream until the field is left.
using TrimFieldValues = std::array<int, 4>;

// One field the cascade sets, with the value the field will show.
struct TrimFieldSet {
    TrimQuantity quantity = TrimQuantity::Begin;
    int frames = 0;
    bool operator==(const TrimFieldSet&) const = default;
};

// The stream's frame count as the fields hold it.
int TrimFieldTotal(std::int64_t frameCount);
// The whole seconds a field's frames show in its time field.
int TrimFieldSeconds(const MpegHeader& h, int frames);
// The frames a time field's seconds put into its frame field (rounded up).
int TrimFieldFrames(const MpegHeader& h, std::int64_t seconds);

// What a change of `changed` (already holding its new value in `fields`) does to the other fields
// of a stream of `total` frames: the fields to set, in the order they are set, each value clamped
// to 0..total as the field clamps it. Nothing when the changed field is empty.
std::vector<TrimFieldSet> TrimCascade(TrimQuantity changed, const TrimFieldValues& fields,
                                      int total);

// `fields` after the sets of a cascade.
TrimFieldValues ApplyTrimCascade(TrimFieldValues fields, const std::vector<TrimFieldSet>& sets);

} // namespace velmora
