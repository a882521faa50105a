#include "EditorEngine.h"

#include "UnitVolume.h"

#include <cstring>

namespace velmora {

OpenResult OpenWithTailAnalysis(const std::string& path, const Settings& settings,
                                const MessageTable& messages, IProgress& progress,
                                bool* operationBusy) {
    const TailAnalysis tail = [&](StreamInfo& model, std::int64_t begin, std::int64_t end) {
        AnalyseVolume(path, model, begin, end, true, settings, messages, progress);
    };
    return OpenSourceFile(path, settings, messages, progress, tail, operationBusy);
}

QColor EndingColor(const InformationTexts& texts) {
    const std::uint32_t bgr = texts.EditEndingColor;
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

bool IsStopError(const std::exception& error) {
    return std::strcmp(error.what(), "Stopped at user request") == 0;
}

} // namespace velmora
