#include "CliJson.h"

#include "UnitUtf8.h"

#include <cmath>
#include <cstdio>

namespace velmora::cli {

Json JsonLine() {
    Json line = Json::object();
    line["schema"] = kJsonSchema;
    return line;
}

Json JsonFileLine(const std::string& file) {
    Json line = JsonLine();
    AddJsonName(line, "file", file);
    return line;
}

Json JsonText(const std::string& text) {
    return ValidUtf8(text);
}

Json JsonTextOrNull(const std::string& text) {
    return text.empty() ? Json(nullptr) : JsonText(text);
}

Json JsonNumberOrNull(double value, int decimals) {
    if (!std::isfinite(value))
        return nullptr;
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

Json JsonTextList(const std::vector<std::string>& texts) {
    Json list = Json::array();
    for (const std::string& text : texts)
        list.push_back(JsonText(text));
    return list;
}

std::string HexBytes(const std::string& text) {
    std::string hex;
    char digits[3];
    for (const unsigned char c : text) {
        std::snprintf(digits, sizeof digits, "%02x", c);
        hex += digits;
    }
    return hex;
}

void AddJsonName(Json& object, const std::string& key, const std::string& name) {
    object[key] = JsonText(name);
    if (!IsValidUtf8(name))
        object[key + "Bytes"] = HexBytes(name);
}

void AddJsonNameList(Json& object, const std::string& key, const std::vector<std::string>& names) {
    Json texts = Json::array(), bytes = Json::array();
    bool exact = true;
    for (const std::string& name : names) {
        texts.push_back(JsonText(name));
        bytes.push_back(HexBytes(name));
        exact = exact && IsValidUtf8(name);
    }
    object[key] = std::move(texts);
    if (!exact)
        object[key + "Bytes"] = std::move(bytes);
}

void AddLoudnessJson(Json& line, const LoudnessResult& loudness) {
    const bool measured = loudness.Measured();
    line["loudness"] = JsonNumberOrNull(loudness.integratedLufs, 2);
    line["loudnessRange"] = measured ? JsonNumberOrNull(loudness.rangeLu, 2) : Json(nullptr);
    line["truePeak"] = JsonNumberOrNull(loudness.truePeakDbtp, 2);
}

const char* LoudnessLimitName(LoudnessLimit limit) {
    switch (limit) {
    case LoudnessLimit::None:
        return "target";
    case LoudnessLimit::TruePeak:
        return "true-peak-ceiling";
    case LoudnessLimit::Range:
        return "step-range";
    case LoudnessLimit::NotMeasured:
        return "not-measured";
    }
    return "";
}

namespace {

void AppendJson(std::string& out, const Json& value) {
    if (value.is_object()) {
        out += '{';
        const char* separator = "";
        for (const auto& [key, item] : value.items()) {
            out += separator;
            out += Json(key).dump();
            out += ": ";
            AppendJson(out, item);
            separator = ", ";
        }
        out += '}';
    } else if (value.is_array()) {
        out += '[';
        const char* separator = "";
        for (const Json& item : value) {
            out += separator;
            AppendJson(out, item);
            separator = ", ";
        }
        out += ']';
    } else {
        // Texts were made valid UTF-8 on their way in; replace guards any that were not.
        out += value.dump(-1, ' ', false, Json::error_handler_t::replace);
    }
}

} // namespace

std::string JsonLineText(const Json& value) {
    std::string out;
    AppendJson(out, value);
    return out;
}

std::string JsonErrorLine(const std::string& file, const std::string& error) {
    Json line = JsonFileLine(file);
    line["error"] = JsonText(error);
    return JsonLineText(line);
}

} // namespace velmora::cli
