#include "UnitBatchWorker.h"

#include "UnitBatchRun.h"
#include "UnitOpenAudio.h"
#include "UnitOptions.h"

#include <sys/stat.h>

namespace velmora {

void EnterBatchWorker(const Settings& settings) {
    if (settings.CheckBoxBatchRunInIdlePriority)
        ApplyIdlePriority();
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

StreamInfo Reopen(const std::string& path, const Settings& settings, const MessageTable& messages,
                  IProgress& progress) {
    return std::move(
        OpenWithTailAnalysis(path, settings, messages, progress, {TailDecode::Skip}).info);
}

} // namespace velmora
