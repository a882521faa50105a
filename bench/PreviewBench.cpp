// Times the start of a preview and the cost of a media-player poll, in process:
//   velmora-preview-bench clip FILE [RUNS]  from the "[" request for a 5-second clip in the middle
//                                            of FILE to the first PCM the sound output takes
//   velmora-preview-bench poll [RUNS]        the calling thread's CPU time for one MPRIS poll
// Prints "NAME median MS min MS max MS" lines.
#include "MprisClient.h"
#include "Progress.h"
#include "QtAudioOutput.h"
#include "UnitMessages.h"
#include "UnitOpen.h"
#include "UnitOptions.h"
#include "UnitPreviewClip.h"
#include "UnitPreviewRender.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "BenchTiming.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

using namespace velmora;
using velmora::bench::Clock;
using velmora::bench::Ms;
using velmora::bench::Print;

namespace {

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

void Pump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int TimeClipStart(const std::string& path, int runs) {
    const Settings settings;
    const MessageTable messages = MessageTable::English();
    NullProgress progress;
    StreamInfo info = OpenSourceFile(path, settings, messages, progress, {}).info;
    QtAudioOutput output;
    std::vector<double> toFirstPcm, toPlay;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point request = Clock::now();
        PreviewRequest r;
        r.beginFrames = info.frameCount / 2;
        r.totalFrames = info.frameCount;
        r.amplificationEnabled = info.firstHeader.layerId == 1;
        const PreviewClip clip = ComputePreviewClip(info.firstHeader, settings, r);
        const PcmClip pcm = RenderPreviewClip(path, info, clip, WriteContext{settings, messages});
        if (!output.Play(pcm)) {
            std::fprintf(stderr, "velmora-preview-bench: the sound output did not start\n");
            return 3;
        }
        toPlay.push_back(Ms(Clock::now() - request));
        const Clock::time_point limit = Clock::now() + std::chrono::seconds(2);
        while (!output.FirstPcmTaken() && Clock::now() < limit)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (!output.FirstPcmTaken()) {
            std::fprintf(stderr, "velmora-preview-bench: the sink took no PCM\n");
            return 3;
        }
        toFirstPcm.push_back(Ms(*output.FirstPcmTaken() - request));
        output.Stop();
        Pump(50);
    }
    Print("clip-request-to-play-call", toPlay);
    Print("clip-request-to-first-pcm", toFirstPcm);
    return 0;
}

int TimePoll(int runs) {
    MprisClient client;
    std::vector<double> cpu, wall;
    for (int i = 0; i < runs + 1; ++i) {
        QEventLoop loop;
        QObject::connect(&client, &MprisClient::PollFinished, &loop, &QEventLoop::quit);
        const double cpu0 = ThreadCpuMs();
        const Clock::time_point start = Clock::now();
        client.Poll();
        loop.exec();
        if (i == 0)
            continue; // the first poll pays for the connection's setup
        cpu.push_back(ThreadCpuMs() - cpu0);
        wall.push_back(Ms(Clock::now() - start));
        if (!client.Available()) {
            std::fprintf(stderr, "velmora-preview-bench: no media player on the session bus\n");
            return 3;
        }
    }
    Print("mpris-poll-thread-cpu", cpu);
    Print("mpris-poll-wall", wall);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    try {
        if (mode == "clip" && argc > 2)
            return TimeClipStart(argv[2], argc > 3 ? std::stoi(argv[3]) : 20);
        if (mode == "poll")
            return TimePoll(argc > 2 ? std::stoi(argv[2]) : 50);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora-preview-bench: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: velmora-preview-bench clip FILE [RUNS] | poll [RUNS]\n");
    return 2;
}
