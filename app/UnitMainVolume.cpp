// The volume group: the amplification bar, the fades, and the normalisation analysis.
#include "UnitMain.h"

#include "UnitGain.h"
#include "UnitLoudness.h"
#include "UnitMP3.h"
#include "UnitScanner.h"
#include "UnitVolume.h"
#include "UnitWaveformPanel.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

using namespace velmora;

namespace {

// The height of one band of a fade picture: its four bands pick 0, 11, 22 and 32.
constexpr int kFadeBand = 11;

} // namespace

void TFormMain::ConnectVolumeControls() {
    connect(TrackBarAmplification, &QSlider::valueChanged, this,
            [this] { RunCommand([this] { TrackBarAmplificationChange(); }); });
    TrackBarAmplificationChange();
    for (QSlider* bar : {TrackBarFadeIn, TrackBarFadeOut}) {
        connect(bar, &QSlider::valueChanged, this,
                [this, bar] { RunCommand([this, bar] { TrackBarFadeChange(bar); }); });
        TrackBarFadeChange(bar);
    }
    connect(ButtonAutoVolume, &QPushButton::clicked, this,
            [this] { RunCommand([this] { ButtonAutoVolumeClick(); }); });
}

void TFormMain::TrackBarAmplificationChange() {
    PanelVolume->setText(QString::fromStdString(AmplificationText(TrackBarAmplification->value())));
    // A gain change adds its undo item to the saved file's tags.
    UpdateDiskSpaceSavingDisplay();
}

// TrackBarFadeInChange, TrackBarFadeOutChange.
void TFormMain::TrackBarFadeChange(QSlider* bar) {
    bar->setToolTip(QString::fromStdString(FadeHintText(bar->value())));
}

// ImageFadeInBlackMouseDown, ImageFadeOutBlackMouseDown.
bool TFormMain::FadeImageMouseDown(QObject* image, QEvent* event) {
    if (event->type() != QEvent::MouseButtonPress ||
        (image != ImageFadeInBlack && image != ImageFadeOutBlack))
        return false;
    if (!Allowed(EditorCommand::FadeClick) || !static_cast<QWidget*>(image)->isEnabled())
        return true;
    const int y = static_cast<QMouseEvent*>(event)->position().toPoint().y();
    QSlider* bar = image == ImageFadeInBlack ? TrackBarFadeIn : TrackBarFadeOut;
    bar->setValue(y / kFadeBand * kFadeBand);
    return true;
}

void TFormMain::ButtonAutoVolumeClick() {
    if (!Allowed(EditorCommand::AutoVolume))
        return;
    const std::optional<TrimPoints> trim = CommittedTrimPoints();
    if (!trim)
        return;
    StopPreview();
    NormalizationResult normalization;
    LoudnessGain loudness;
    {
        StateScope analysing(*this, EditorState::Analysing);
        m_stopRequested = false;
        QtProgress progress(ProgressBar, m_stopRequested);
        const MpegHeader& first = m_info->firstHeader;
        LoudnessAnalyser analyser = LoudnessAnalyser::ForAnalysis(first);
        TWaveformAutoRun waveform(*m_waveformPanel, trim->beginFrames);
        IVolumeAnalyser* analysers[] = {&analyser, &waveform};
        const VolumeAnalysis analysis = AnalyseVolume(
            SourcePath(), *m_info, trim->beginFrames, m_info->frameCount - trim->endFrames,
            VolumeScope::Levels, m_messages, progress, analysers);
        StoreEnergies(analysis, *m_info);
        normalization =
            ComputeNormalization(analysis, m_settings, TrackBarAmplification->maximum());
        loudness = ComputeLoudnessGain(
            analyser.Result(), LoudnessTargetLufs(m_settings), TruePeakCeilingDbtp(m_settings),
            TrackBarAmplification->minimum(), TrackBarAmplification->maximum());
    }
    m_autoLoudness.reset();
    if (loudness.before.Measured())
        m_autoLoudness =
            AutoLoudness{m_info->sourceIdentity,
                         *trim,
                         {loudness.before.integratedLufs, loudness.before.truePeakDbtp}};
    // With a loudness target the bar takes the loudness step; the peak value is shown still.
    if (m_settings.CheckBoxNormalizeLoudness && normalization.amplificationPosition &&
        loudness.limit != LoudnessLimit::NotMeasured)
        normalization.amplificationPosition = loudness.steps;
    ShowNormalization(normalization);
    ShowLoudness(loudness);
}

int TFormMain::GainStepsToSave() const {
    return m_info && m_info->firstHeader.layerId == kLayer3 ? TrackBarAmplification->value() : 0;
}

PlanOptions TFormMain::SavePlanOptions(bool outputIsWav) const {
    return {.tagsKept = m_tagsKept ? TagsKept::Yes : TagsKept::No,
            .outputIsWav = outputIsWav,
            .gainSteps = GainStepsToSave(),
            .recordGainUndo = true};
}

std::optional<WriteParams::Loudness> TFormMain::AutoLoudnessFor(const TrimPoints& trim) const {
    // A save or another open changed the file; other trim points copy other frames.
    if (!m_autoLoudness || !m_info ||
        !m_autoLoudness->source.SameFileState(m_info->sourceIdentity) ||
        m_autoLoudness->trim.beginFrames != trim.beginFrames ||
        m_autoLoudness->trim.endFrames != trim.endFrames)
        return std::nullopt;
    return m_autoLoudness->loudness;
}

// The loudness beside the normalisation value; its hint tells the step and what limited it.
void TFormMain::ShowLoudness(const LoudnessGain& loudness) {
    const LoudnessResult& m = loudness.before;
    PanelLoudness->setText(QString::fromStdString(LufsText(m.integratedLufs)));
    if (!m.Measured()) {
        PanelLoudness->setToolTip(tr("No loudness: the file is silent or shorter than 400 ms"));
        return;
    }
    PanelLoudness->setToolTip(
        tr("Loudness %1, range %2 LU, true peak %3\nStep %4: %5, true peak %6 (limited by %7)")
            .arg(QString::fromStdString(LufsText(m.integratedLufs)))
            .arg(m.rangeLu, 0, 'f', 1)
            .arg(QString::fromStdString(DbtpText(m.truePeakDbtp)))
            .arg(loudness.steps)
            .arg(QString::fromStdString(LufsText(loudness.afterLufs)))
            .arg(QString::fromStdString(DbtpText(loudness.afterTruePeakDbtp)))
            .arg(QLatin1String(LoudnessLimitText(loudness.limit))));
}

// The volume controls after an analysis (Auto volume, or the one CUE generation runs first).
void TFormMain::ShowNormalization(const NormalizationResult& normalization) {
    PanelVolumeMax->setText(QString::fromStdString(normalization.caption));
    if (normalization.amplificationPosition)
        TrackBarAmplification->setValue(*normalization.amplificationPosition);
    if (normalization.markerMoves) {
        PlaceNormalizationMarker();
        PanelVolumeNormalization->show();
        m_volumeAnalysisDone = true;
    }
}

// Centres the marker under the bar's handle, where the style draws it.
void TFormMain::PlaceNormalizationMarker() {
    QStyleOptionSlider option;
    option.initFrom(TrackBarAmplification);
    option.orientation = Qt::Horizontal;
    option.minimum = TrackBarAmplification->minimum();
    option.maximum = TrackBarAmplification->maximum();
    option.sliderPosition = TrackBarAmplification->value();
    option.sliderValue = TrackBarAmplification->value();
    option.tickPosition = TrackBarAmplification->tickPosition();
    option.tickInterval = TrackBarAmplification->tickInterval();
    QStyle* style = TrackBarAmplification->style();
    const QRect groove = style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove,
                                               TrackBarAmplification);
    const int handle = style->pixelMetric(QStyle::PM_SliderLength, &option, TrackBarAmplification);
    const int centre =
        groove.x() + handle / 2 +
        QStyle::sliderPositionFromValue(option.minimum, option.maximum, option.sliderPosition,
                                        groove.width() - handle);
    const QPoint inRow = m_markerRow->mapFrom(
        GroupBoxAmplification,
        TrackBarAmplification->mapTo(GroupBoxAmplification, QPoint(centre, 0)));
    PanelVolumeNormalization->move(inRow.x() - PanelVolumeNormalization->width() / 2, 0);
}
