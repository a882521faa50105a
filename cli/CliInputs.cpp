#include "CliInputs.h"

#include "VelmoraError.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <istream>
#include <sys/stat.h>
#include <unordered_set>

namespace velmora::cli {

namespace {

std::optional<std::uint32_t> ParseCount(std::string_view text) {
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    if (text.empty() || r.ec != std::errc() || r.ptr != end)
        return std::nullopt;
    return value;
}

// Why `path` cannot be read as a list, or 0. A folder opens as a stream that reads nothing: it
// is an error, not an empty list.
int ListOpenError(const std::ifstream& file, const std::string& path) {
    if (!file)
        return errno != 0 ? errno : EIO;
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? EISDIR : 0;
}

} // namespace

std::optional<Shard> ParseShard(std::string_view text) {
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    const auto k = ParseCount(text.substr(0, slash));
    const auto n = ParseCount(text.substr(slash + 1));
    if (!k || !n || *k < 1 || *k > *n)
        return std::nullopt;
    return Shard{*k, *n};
}

std::vector<std::string> ReadNameList(std::istream& in, bool nulSeparated) {
    std::vector<std::string> names;
    for (std::string name; std::getline(in, name, nulSeparated ? '\0' : '\n');)
        if (!name.empty())
            names.push_back(std::move(name));
    return names;
}

std::uint32_t ShardOfName(std::string_view name, std::uint32_t count) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : name) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return static_cast<std::uint32_t>(hash % count) + 1;
}

std::vector<std::string> GatherInputNames(const std::vector<std::string>& names,
                                          const InputSelection& selection,
                                          std::istream& stdinStream) {
    std::vector<std::string> all = names;
    if (selection.filesFrom) {
        std::vector<std::string> listed;
        if (*selection.filesFrom == "-") {
            listed = ReadNameList(stdinStream, selection.nulSeparated);
        } else {
            std::ifstream file(*selection.filesFrom, std::ios::binary);
            if (const int error = ListOpenError(file, *selection.filesFrom))
                throw VelmoraError("cannot read the list \"" + *selection.filesFrom +
                                   "\": " + std::strerror(error));
            listed = ReadNameList(file, selection.nulSeparated);
        }
        all.insert(all.end(), listed.begin(), listed.end());
    }
    std::vector<std::string> unique;
    std::unordered_set<std::string> seen;
    for (std::string& name : all)
        if (seen.insert(name).second)
            unique.push_back(std::move(name));
    return unique;
}

} // namespace velmora::cli
