#include "UnitWaveformPanel.h"

#include "UnitIni.h"
#include "UnitLanguage.h"
#include "UnitScanner.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QLabel>
#include <QLayout>
#include <QTimer>

#include <algorithm>

using namespace velmora;

namespace {

constexpr double kRangeDb = 60.0;          // the bottom of the drawn scale, below full scale
constexpr std::int64_t kSilenceMarked = 8; // frames of digital silence worth a mark
constexpr int kRefreshMs = 200;            // redraws while the worker decodes

float HeightOf(double db) {
    return static_cast<float>(std::clamp((db + kRangeDb) / kRangeDb, 0.0, 1.0));
}

// The translatable texts' keys, in the order of TextsOf.
constexpr const char* kTextKeys[] = {"WaveformName", "WaveformBeginHint", "WaveformEndHint",
                                     "WaveformStopped"};

} // namespace

TWaveformAutoRun::TWaveformAutoRun(TWaveformPanel& panel, std::int64_t firstFrame)
    : m_panel(panel) {
    m_panel.StopWorker();
    if (m_panel.m_store)
        m_analyser.emplace(*m_panel.m_store, firstFrame);
}

TWaveformAutoRun::~TWaveformAutoRun() {
    m_panel.ResumeWorker();
}

void TWaveformAutoRun::Add(std::span<const std::int16_t> pcm) {
    if (m_analyser)
        m_analyser->Add(pcm);
}

TWaveformPanel::TWaveformPanel(QWidget* parent) : QGroupBox(parent) {
    setObjectName(QStringLiteral("GroupBoxWaveform"));
    setTitle(tr("Waveform"));
    m_view = new TWaveformView(this);
    m_view->setObjectName(QStringLiteral("WaveformView"));
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("LabelWaveformProblem"));
    // Made by the program from a template: nothing to translate.
    m_problem->setProperty("Tag", 1);
    m_problem->setWordWrap(true);
    m_problem->hide();
    auto* column = new QVBoxLayout(this);
    column->addWidget(m_view);
    column->addWidget(m_problem);
    m_refresh = new QTimer(this);
    m_refresh->setInterval(kRefreshMs);
    connect(m_refresh, &QTimer::timeout, m_view, &TWaveformView::Refresh);
    connect(m_view, &TWaveformView::painted, this, [this] {
        if (m_overviewDelayMs < 0 && m_shown.isValid())
            m_overviewDelayMs = static_cast<double>(m_shown.nsecsElapsed()) / 1e6;
    });
    ApplyTexts();
}

// The window grows to hold the panel (its size was fixed before the panel's style was known).
void TWaveformPanel::showEvent(QShowEvent* event) {
    QGroupBox::showEvent(event);
    QTimer::singleShot(0, this, [this] {
        if (QWidget* top = window(); top != this && top->layout()) {
            top->layout()->activate();
            top->adjustSize();
        }
    });
}

TWaveformPanel::~TWaveformPanel() {
    StopWorker();
}

void TWaveformPanel::ShowFile(const std::string& path, const StreamInfo& info,
                              const MessageTable& messages) {
    CloseFile();
    m_shown.start();
    m_info = &info;
    m_path = path;
    m_messages = messages;
    m_first = info.firstHeader;
    m_store = std::make_unique<WaveformStore>(info.frameCount);
    const double perHour = static_cast<double>(SecondsToFrames(m_first, 3600));
    m_view->SetData(this, info.frameCount, perHour / 3600.0);
    m_view->SetTimeText([first = m_first](std::int64_t frames) {
        return QString::fromStdString(FormatSeconds(first, frames, 2));
    });
    std::vector<TWaveformView::FrameRun> runs;
    for (const FrameRange& r : SilentRuns(info.frames, info.frameCount, kSilenceMarked))
        runs.emplace_back(r.begin, r.end);
    m_view->SetSilences(std::move(runs));
    ResumeWorker();
}

void TWaveformPanel::CloseFile() {
    StopWorker();
    m_store.reset();
    m_info = nullptr;
    m_overviewDelayMs = -1;
    m_refinementMs = -1;
    m_shown.invalidate();
    m_problem->hide();
    m_problem->clear();
    m_view->SetData(nullptr, 0, 0);
}

void TWaveformPanel::StopWorker() {
    ++m_generation;
    if (m_worker)
        m_worker->Stop();
    m_worker.reset();
    m_refresh->stop();
}

void TWaveformPanel::ResumeWorker() {
    // A hidden panel decodes nothing; showing it again resumes the work.
    if (isHidden() || !m_info || !m_store || m_worker ||
        m_store->RefinedCount() >= m_store->FrameCount())
        return;
    const unsigned generation = ++m_generation;
    m_problem->hide();
    m_worker = std::make_unique<WaveformWorker>(
        m_path, *m_info, *m_store, m_messages,
        [this, generation](const std::string& error) {
            const QString text = QString::fromStdString(error);
            QMetaObject::invokeMethod(
                this, [this, generation, text] { WorkerEnded(generation, text); },
                Qt::QueuedConnection);
        },
        m_hooks);
    m_refresh->start();
}

void TWaveformPanel::WorkerEnded(unsigned generation, const QString& error) {
    if (generation != m_generation)
        return;
    m_refresh->stop();
    m_worker.reset();
    m_view->Refresh();
    if (m_store && m_store->RefinedCount() >= m_store->FrameCount() && m_shown.isValid())
        m_refinementMs = static_cast<double>(m_shown.nsecsElapsed()) / 1e6;
    if (!error.isEmpty()) {
        m_problem->setText(m_stoppedText.arg(error));
        m_problem->show();
    }
    emit refinementEnded();
}

void TWaveformPanel::WaitForRefinement() {
    while (m_worker)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
}

QString TWaveformPanel::Problem() const {
    return m_problem->isHidden() ? QString() : m_problem->text();
}

void TWaveformPanel::ShowCuePoints(std::vector<std::int64_t> frames) {
    m_view->SetCuePoints(std::move(frames));
}

WaveColumn TWaveformPanel::Column(std::int64_t first, std::int64_t last) const {
    if (!m_info)
        return {};
    int low = 0;
    int high = 0;
    bool decoded = false;
    bool whole = true;
    std::uint8_t level = 0;
    for (std::int64_t i = first; i < last; ++i) {
        if (m_store)
            if (const std::optional<SamplePeaks> p = m_store->Get(i)) {
                low = std::min<int>(low, p->low);
                high = std::max<int>(high, p->high);
                decoded = true;
                continue;
            }
        whole = false;
        level = std::max(level, m_info->frames[i].level);
    }
    WaveColumn column;
    if (decoded) {
        column.up = high > 0 ? HeightOf(SamplePeakDb(high)) : 0;
        column.down = low < 0 ? HeightOf(SamplePeakDb(low)) : 0;
    }
    if (level > 0) {
        const float h = HeightOf(OverviewLevelDb(level));
        column.up = std::max(column.up, h);
        column.down = std::max(column.down, h);
    }
    column.refined = whole;
    return column;
}

void TWaveformPanel::ReadTexts(const IniFile& ini) {
    QString* texts[] = {&m_name, &m_beginHint, &m_endHint, &m_stoppedText};
    for (std::size_t i = 0; i < std::size(kTextKeys); ++i)
        if (const auto value = ini.Get(kMainSection, kTextKeys[i]))
            *texts[i] = QString::fromStdString(*value);
    ApplyTexts();
}

void TWaveformPanel::WriteTexts(IniFile& ini) const {
    const QString* texts[] = {&m_name, &m_beginHint, &m_endHint, &m_stoppedText};
    for (std::size_t i = 0; i < std::size(kTextKeys); ++i)
        ini.Set(kMainSection, kTextKeys[i], texts[i]->toStdString());
}

void TWaveformPanel::ApplyTexts() {
    m_view->setAccessibleName(m_name);
    m_view->SetHintTemplates(m_beginHint, m_endHint);
}
