#pragma once

#include "UnitLoudness.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::cli {

// A JSON value whose object keys keep the order they were added in.
using Json = nlohmann::ordered_json;

// The version of the layout of every JSON line the commands print. It changes only when a key
// changes its meaning or its type, or goes; new keys may come without a change.
inline constexpr int kJsonSchema = 1;

// A line's object, opened with its "schema" key.
Json JsonLine();
// A line about one file: "schema", "file" and, when the name is not UTF-8, "fileBytes".
Json JsonFileLine(const std::string& file);

// A text as JSON: bytes that are not UTF-8 become U+FFFD.
Json JsonText(const std::string& text);
// The text, or null when it is empty.
Json JsonTextOrNull(const std::string& text);
// The number rounded to `decimals` places, or null when it is not finite (-inf: not measured).
Json JsonNumberOrNull(double value, int decimals);
// The texts as a JSON list.
Json JsonTextList(const std::vector<std::string>& texts);

// KEY: NAME, and when the name is not valid UTF-8 also KEYBytes: its bytes as hexadecimal
// digits, so that a script can still reach the file.
void AddJsonName(Json& object, const std::string& key, const std::string& name);
// KEY: [NAME, …], and when a name is not valid UTF-8 also KEYBytes: [HEX, …].
void AddJsonNameList(Json& object, const std::string& key, const std::vector<std::string>& names);

// "loudness" (integrated, LUFS), "loudnessRange" (LU) and "truePeak" (dBTP), each rounded to
// 0.01; null where nothing could be measured (silence, or shorter than one 400 ms block).
void AddLoudnessJson(Json& line, const LoudnessResult& loudness);
// "target", "true-peak-ceiling", "step-range" or "not-measured".
const char* LoudnessLimitName(LoudnessLimit limit);

// The line of a file that failed: {"schema": 1, "file": …, "error": TEXT}.
std::string JsonErrorLine(const std::string& file, const std::string& error);

// The value on one line, as `{"key": value, "list": [1, 2]}`.
std::string JsonLineText(const Json& value);

// The bytes of `text` as lowercase hexadecimal digits.
std::string HexBytes(const std::string& text);

} // namespace velmora::cli
