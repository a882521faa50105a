#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// One APE item: a key and its value bytes (UTF-8 text for text items).
struct ApeItem {
    std::uint32_t flags = 0; // 0: UTF-8 text, read-write
    std::string key;
    std::string value;

    bool operator==(const ApeItem&) const = default;
};

// The 32-byte APE header and footer.
struct ApeFooter {
    static constexpr std::size_t kSize = 32;
    static constexpr std::size_t kPreambleOffset = 0; // "APETAGEX"
    static constexpr std::size_t kVersionOffset = 8;  // 1000 or 2000
    static constexpr std::size_t kTagSizeOffset = 12; // items + footer, without a header
    static constexpr std::size_t kItemCountOffset = 16;
    static constexpr std::size_t kFlagsOffset = 20;
    static constexpr std::uint32_t kHasHeader = 0x80000000u;
    static constexpr std::uint32_t kIsHeader = 0x20000000u;
};

struct ApeTag {
    std::vector<ApeItem> items;
    std::int64_t start = 0; // where the tag's bytes begin: its header, or its first item
    std::int64_t end = 0;   // the byte after its footer

    // The item with this key (keys compare without regard to ASCII case), or null.
    const ApeItem* Find(std::string_view key) const;
    ApeItem* Find(std::string_view key);
    void Set(std::string_view key, std::string value);
    void Remove(std::string_view key);
};

// Reads the APE tag whose footer ends at `footerEnd` in `bytes`. std::nullopt when there is no
// footer there or the tag is damaged (sizes or items that do not fit).
std::optional<ApeTag> ParseApeTag(std::span<const std::uint8_t> bytes, std::int64_t footerEnd);

// The tag as version 2.0 with header and footer; empty for a tag without items.
std::vector<std::uint8_t> RenderApeTag(const std::vector<ApeItem>& items);

} // namespace velmora
