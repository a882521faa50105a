#pragma once

// The editor's few direct calls into the engine whose form may change: each lives here once.

#include "UnitInfo.h"
#include "UnitOpen.h"

#include <QColor>

#include <exception>
#include <string>

namespace velmora {

class IProgress;
struct MessageTable;
struct Settings;

// Opens and analyses `path` with the ending judged by decoding the last frames.
OpenResult OpenWithTailAnalysis(const std::string& path, const Settings& settings,
                                const MessageTable& messages, IProgress& progress,
                                bool* operationBusy);

// The colour of the "Ending:" box.
QColor EndingColor(const InformationTexts& texts);

// Whether the error is the one a stop request ends an operation with.
bool IsStopError(const std::exception& error);

} // namespace velmora
