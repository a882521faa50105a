#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::cli {

// One part of N of the inputs: `index` runs from 1 to `count`.
struct Shard {
    std::uint32_t index = 1;
    std::uint32_t count = 1;
};

// Where the names of a command's files come from besides its arguments, and which of them this
// run takes: --files-from FILE ("-" for standard input), -0/--null for NUL-separated names, and
// --shard K/N.
struct InputSelection {
    std::optional<std::string> filesFrom;
    bool nulSeparated = false;
    std::optional<Shard> shard;
};

// Parses "K/N" with 1 <= K <= N (decimal digits only); nullopt for anything else.
std::optional<Shard> ParseShard(std::string_view text);

// The names in a list: one per line, or NUL-separated. Empty names are skipped; every other
// byte, a carriage return or an invalid UTF-8 sequence too, is part of a name.
std::vector<std::string> ReadNameList(std::istream& in, bool nulSeparated);

// The shard a name falls in, from 1 to `count`: the 64-bit FNV-1a hash of the name's bytes
// modulo `count`, plus one. It depends on the name alone, so every machine that is given the
// same names agrees on the partition, whatever the order or the other names.
std::uint32_t ShardOfName(std::string_view name, std::uint32_t count);

// The command's names followed by the list's (read from `stdinStream` for "-"), each name once
// (its first place kept). Throws VelmoraError when the list cannot be read.
std::vector<std::string> GatherInputNames(const std::vector<std::string>& names,
                                          const InputSelection& selection,
                                          std::istream& stdinStream);

// Keeps the items whose name `nameOf` gives falls in the selected shard (all without --shard).
template <typename T, typename NameOf>
std::vector<T> KeepShard(std::vector<T> items, const InputSelection& selection, NameOf nameOf) {
    if (!selection.shard)
        return items;
    std::vector<T> kept;
    for (T& item : items)
        if (ShardOfName(nameOf(item), selection.shard->count) == selection.shard->index)
            kept.push_back(std::move(item));
    return kept;
}

} // namespace velmora::cli
