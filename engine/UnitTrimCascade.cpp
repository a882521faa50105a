#include "UnitTrimCascade.h"

#include "UnitMP3.h"

#include <algorithm>
#include <climits>

namespace velmora {

namespace {

// Collects the sets, each clamped as the field clamps it, and answers what a field shows now.
class Cascade {
public:
    Cascade(const TrimFieldValues& fields, int total) : m_fields(fields), m_total(total) {}
    int Shown(TrimQuantity q) const { return m_fields[static_cast<std::size_t>(q)]; }
    void Set(TrimQuantity q, std::int64_t value) {
        const int shown = static_cast<int>(std::clamp<std::int64_t>(value, 0, m_total));
        m_fields[static_cast<std::size_t>(q)] = shown;
        m_sets.push_back({q, shown});
    }
    std::vector<TrimFieldSet> Sets() && { return std::move(m_sets); }

private:
    TrimFieldValues m_fields;
    std::int64_t m_total;
    std::vector<TrimFieldSet> m_sets;
};

} // namespace

int TrimFieldTotal(std::int64_t frameCount) {
    return static_cast<int>(std::clamp<std::int64_t>(frameCount, 0, INT_MAX));
}

int TrimFieldSeconds(const MpegHeader& h, int frames) {
    return static_cast<int>(FramesToSeconds(h, frames));
}

int TrimFieldFrames(const MpegHeader& h, std::int64_t seconds) {
    return static_cast<int>(std::min<std::int64_t>(SecondsToFrames(h, seconds), INT_MAX));
}

std::vector<TrimFieldSet> TrimCascade(TrimQuantity changed, const TrimFieldValues& fields,
                                      int total) {
    using enum TrimQuantity;
    Cascade c(fields, total);
    const std::int64_t v = c.Shown(changed);
    if (v < 0)
        return {};
    // The partners as they stood before the change; an empty one reads -1.
    const std::int64_t g = c.Shown(Begin);
    const std::int64_t e = c.Shown(End);
    switch (changed) {
    case Begin:
        if (e >= 0 && v + e > total) {
            c.Set(End, total - v);
            // The end position follows the lowered end, or it would contradict it.
            c.Set(EndPosition, total - c.Shown(End));
        }
        c.Set(Duration, total - v - e);
        break;
    case End:
        if (g >= 0 && v + g > total)
            c.Set(Begin, total - v);
        c.Set(EndPosition, total - v);
        c.Set(Duration, total - v - g);
        break;
    case EndPosition:
        if (g > v)
            c.Set(Begin, v);
        c.Set(End, total - v);
        c.Set(Duration, v - g);
        break;
    case Duration:
        if (g >= 0) {
            const std::int64_t end = std::max<std::int64_t>(0, total - v - g);
            c.Set(End, end);
            c.Set(EndPosition, total - end);
            c.Set(Begin, total - v - end);
        }
        break;
    }
    return std::move(c).Sets();
}

TrimFieldValues ApplyTrimCascade(TrimFieldValues fields, const std::vector<TrimFieldSet>& sets) {
    for (const TrimFieldSet& set : sets)
        fields[static_cast<std::size_t>(set.quantity)] = set.frames;
    return fields;
}

} // namespace velmora
