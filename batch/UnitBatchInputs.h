#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

struct Settings;

// One file a batch will process, or an input it could not read (a missing file, a folder it may
// not list), which the batch records with `error` and does not process.
struct BatchInput {
    std::string path;
    std::string error;
};

// The files of `paths` in the order given: files as they are, folders expanded to their files in
// byte order of their names, subfolders with CheckBoxProcessSubfolders, and only names matching
// the batch pattern. A file reached twice (named twice, or through a link) comes once, so a gain
// is never applied twice; a linked folder met again is not entered again.
std::vector<BatchInput> ExpandBatchInputs(const std::vector<std::string>& paths,
                                          const Settings& settings);

// The wildcard list folders are filtered with: EditBatchProcessOnlyFiles when
// CheckBoxProcessSubfolders and CheckBoxProcessOnly are both on (as the Options window enables
// it), otherwise the files the Open command offers.
std::string BatchPatternOf(const Settings& settings);

// Whether `name` matches one of the ";"-separated shell wildcards of `patterns` (spaces around
// each are ignored; letters match in either case, as the names of the music files usually vary).
bool MatchesBatchPattern(std::string_view name, std::string_view patterns);

} // namespace velmora
