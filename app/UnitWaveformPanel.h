#pragma once

#include "TWaveformView.h"
#include "UnitMP3.h"
#include "UnitWaveform.h"

#include <QElapsedTimer>
#include <QGroupBox>

#include <memory>
#include <string>

class QLabel;
class QTimer;

namespace velmora {
class IniFile;
struct StreamInfo;
} // namespace velmora

class TWaveformPanel;

// What an Auto run feeds besides its own measures: the waveform's frames from `firstFrame` on.
// The panel's worker waits while it lives and then decodes what is still missing.
class TWaveformAutoRun final : public velmora::IVolumeAnalyser {
public:
    TWaveformAutoRun(TWaveformPanel& panel, std::int64_t firstFrame);
    ~TWaveformAutoRun() override;
    TWaveformAutoRun(const TWaveformAutoRun&) = delete;
    TWaveformAutoRun& operator=(const TWaveformAutoRun&) = delete;
    void Add(std::span<const std::int16_t> pcm) override;

private:
    TWaveformPanel& m_panel;
    std::optional<velmora::WaveformAnalyser> m_analyser;
};

// The main window's waveform: the overview from the scan at once, then the waveform a worker
// thread decodes, drawn over it as it comes, with the trim markers.
class TWaveformPanel final : public QGroupBox, public IWaveformData {
    Q_OBJECT

public:
    explicit TWaveformPanel(QWidget* parent = nullptr);
    ~TWaveformPanel() override;

    TWaveformView* View() const { return m_view; }
    // A file opened (or refreshed after a save): the overview shows and the worker starts. `info`
    // must not change until StopWorker or CloseFile.
    void ShowFile(const std::string& path, const velmora::StreamInfo& info,
                  const velmora::MessageTable& messages);
    // The worker stops and the waveform's memory is freed.
    void CloseFile();
    // Before the model changes (a save): the worker stops; what it decoded stays.
    void StopWorker();
    // Decodes what is still missing.
    void ResumeWorker();
    void ShowCuePoints(std::vector<std::int64_t> frames);

    bool WorkerRunning() const { return m_worker && m_worker->Running(); }
    std::int64_t RefinedFrames() const { return m_store ? m_store->RefinedCount() : 0; }
    std::int64_t MemoryBytes() const { return m_store ? m_store->MemoryBytes() : 0; }
    // Why the refinement stopped early (empty when it did not).
    QString Problem() const;
    // The time from ShowFile to the first paint of the overview, in ms (-1 before).
    double OverviewDelayMs() const { return m_overviewDelayMs; }
    // The time from ShowFile until every frame was decoded, in ms (-1 before).
    double RefinementMs() const { return m_refinementMs; }
    // Pumps events until the worker has ended (screenshots, benchmarks).
    void WaitForRefinement();
    void SetWorkerHooks(velmora::WaveformWorker::Hooks hooks) { m_hooks = std::move(hooks); }

    // The translatable texts, keys "Waveform..." in the main window's section.
    void ReadTexts(const velmora::IniFile& ini);
    void WriteTexts(velmora::IniFile& ini) const;

    WaveColumn Column(std::int64_t first, std::int64_t last) const override;

signals:
    // The worker ended: every frame decoded, stopped or failed.
    void refinementEnded();

protected:
    void showEvent(QShowEvent* event) override;

private:
    friend class TWaveformAutoRun;
    void WorkerEnded(unsigned generation, const QString& error);
    void ApplyTexts();

    TWaveformView* m_view = nullptr;
    QLabel* m_problem = nullptr;
    QTimer* m_refresh = nullptr;
    const velmora::StreamInfo* m_info = nullptr;
    std::string m_path;
    velmora::MessageTable m_messages;
    velmora::MpegHeader m_first;
    std::unique_ptr<velmora::WaveformStore> m_store;
    std::unique_ptr<velmora::WaveformWorker> m_worker;
    velmora::WaveformWorker::Hooks m_hooks;
    unsigned m_generation = 0;
    QElapsedTimer m_shown;
    double m_overviewDelayMs = -1;
    double m_refinementMs = -1;
    QString m_name = QStringLiteral("Waveform");
    QString m_beginHint = QStringLiteral("Begin: %1");
    QString m_endHint = QStringLiteral("End: %1");
    QString m_stoppedText = QStringLiteral("The waveform stopped: %1");
};
