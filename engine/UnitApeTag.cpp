#include "UnitApeTag.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

constexpr std::uint32_t kVersion2 = 2000;
constexpr std::int64_t kItemHeaderSize = 8; // value size, flags
// Bigger tags are not ours to rewrite; a footer claiming more is damaged.
constexpr std::uint32_t kMaxTagSize = 16u * 1024 * 1024;
constexpr std::uint32_t kMaxItems = 65536;

std::uint32_t ReadLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void AppendLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

bool SameKey(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// Keys are 2 … 255 printable ASCII characters.
bool ValidKey(std::string_view key) {
    return key.size() >= 2 && key.size() <= 255 &&
           std::all_of(key.begin(), key.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

void AppendHeaderOrFooter(std::vector<std::uint8_t>& out, std::uint32_t tagSize,
                          std::uint32_t count, bool header) {
    const std::size_t at = out.size();
    out.insert(out.end(), {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X'});
    AppendLe32(out, kVersion2);
    AppendLe32(out, tagSize);
    AppendLe32(out, count);
    AppendLe32(out, ApeFooter::kHasHeader | (header ? ApeFooter::kIsHeader : 0u));
    out.resize(at + ApeFooter::kSize, 0);
}

} // namespace

const ApeItem* ApeTag::Find(std::string_view key) const {
    for (const ApeItem& item : items)
        if (SameKey(item.key, key))
            return &item;
    return nullptr;
}

ApeItem* ApeTag::Find(std::string_view key) {
    return const_cast<ApeItem*>(static_cast<const ApeTag&>(*this).Find(key));
}

void ApeTag::Set(std::string_view key, std::string value) {
    if (ApeItem* item = Find(key)) {
        item->value = std::move(value);
        return;
    }
    items.push_back({0, std::string(key), std::move(value)});
}

void ApeTag::Remove(std::string_view key) {
    std::erase_if(items, [&](const ApeItem& item) { return SameKey(item.key, key); });
}

std::optional<ApeTag> ParseApeTag(std::span<const std::uint8_t> bytes, std::int64_t footerEnd) {
    const auto size = static_cast<std::int64_t>(bytes.size());
    const auto footerSize = static_cast<std::int64_t>(ApeFooter::kSize);
    if (footerEnd < footerSize || footerEnd > size)
        return std::nullopt;
    const std::uint8_t* footer = bytes.data() + footerEnd - footerSize;
    if (std::memcmp(footer, "APETAGEX", 8) != 0)
        return std::nullopt;
    const std::uint32_t tagSize = ReadLe32(footer + ApeFooter::kTagSizeOffset);
    const std::uint32_t count = ReadLe32(footer + ApeFooter::kItemCountOffset);
    const std::uint32_t flags = ReadLe32(footer + ApeFooter::kFlagsOffset);
    if ((flags & ApeFooter::kIsHeader) != 0 || tagSize < ApeFooter::kSize ||
        tagSize > kMaxTagSize || count > kMaxItems || tagSize > footerEnd)
        return std::nullopt;

    ApeTag tag;
    const std::int64_t itemsStart = footerEnd - tagSize;
    const std::int64_t itemsEnd = footerEnd - footerSize;
    tag.end = footerEnd;
    tag.start = itemsStart;
    if (itemsStart >= footerSize &&
        std::memcmp(bytes.data() + itemsStart - footerSize, "APETAGEX", 8) == 0 &&
        (ReadLe32(bytes.data() + itemsStart - footerSize + ApeFooter::kFlagsOffset) &
         ApeFooter::kIsHeader) != 0)
        tag.start = itemsStart - footerSize;

    std::int64_t at = itemsStart;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (itemsEnd - at < kItemHeaderSize + 2)
            return std::nullopt;
        const std::uint32_t valueSize = ReadLe32(bytes.data() + at);
        const std::uint32_t itemFlags = ReadLe32(bytes.data() + at + 4);
        at += kItemHeaderSize;
        const auto* keyBegin = bytes.data() + at;
        const auto* nul = static_cast<const std::uint8_t*>(
            std::memchr(keyBegin, 0, static_cast<std::size_t>(itemsEnd - at)));
        if (nul == nullptr)
            return std::nullopt;
        std::string key(reinterpret_cast<const char*>(keyBegin),
                        static_cast<std::size_t>(nul - keyBegin));
        at += static_cast<std::int64_t>(key.size()) + 1;
        if (!ValidKey(key) || valueSize > static_cast<std::uint64_t>(itemsEnd - at))
            return std::nullopt;
        tag.items.push_back(
            {itemFlags, std::move(key),
             std::string(reinterpret_cast<const char*>(bytes.data() + at), valueSize)});
        at += valueSize;
    }
    return tag;
}

std::vector<std::uint8_t> RenderApeTag(const std::vector<ApeItem>& items) {
    std::vector<std::uint8_t> body;
    for (const ApeItem& item : items) {
        AppendLe32(body, static_cast<std::uint32_t>(item.value.size()));
        AppendLe32(body, item.flags);
        body.insert(body.end(), item.key.begin(), item.key.end());
        body.push_back(0);
        body.insert(body.end(), item.value.begin(), item.value.end());
    }
    if (items.empty())
        return {};
    const auto tagSize = static_cast<std::uint32_t>(body.size() + ApeFooter::kSize);
    const auto count = static_cast<std::uint32_t>(items.size());
    std::vector<std::uint8_t> out;
    out.reserve(body.size() + 2 * ApeFooter::kSize);
    AppendHeaderOrFooter(out, tagSize, count, true);
    out.insert(out.end(), body.begin(), body.end());
    AppendHeaderOrFooter(out, tagSize, count, false);
    return out;
}

} // namespace velmora
