// The pages and controls of the Options window.
#include "OptionsLayoutKit.h"
#include "RadioGroup.h"
#include "TSpinEdit.h"
#include "UnitOptionsForm.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>

using namespace velmora::options_layout;

namespace {

const QStringList kSilenceItems = {"0.0s", "0.1s",
                                   "0.2s", "0.3s",
                                   "0.4s", "0.5s",
                                   "0.6s", "0.7s",
                                   "0.8s", "0.9s",
                                   "1.0s", "1.2s",
                                   "1.5s", "2.0s",
                                   "3.0s", "5.0s",
                                   "7.0s", "10s",
                                   "15s",  "30s",
                                   "45s",  "60s (1 minute)",
                                   "75s",  "90s",
                                   "115s", "120s (2 minutes)",
                                   "180s"};

} // namespace

QWidget* TFormOptions::NewPage(const char* name, QVBoxLayout*& column) {
    auto* page = Named(new QWidget(this), name);
    column = new QVBoxLayout(page);
    return page;
}

QCheckBox* TFormOptions::Check(QVBoxLayout* column, const char* name, const QString& caption) {
    auto* box = Named(new QCheckBox(caption, column->parentWidget()), name);
    column->addWidget(box);
    return box;
}

QLabel* TFormOptions::Note(QVBoxLayout* column, const char* name, const QString& text) {
    QLabel* label = Text(name, text, column->parentWidget());
    label->setContentsMargins(18, 0, 0, 4);
    column->addWidget(label);
    return label;
}

QWidget* TFormOptions::BuildFilePage() {
    QVBoxLayout* c = nullptr;
    QWidget* page = NewPage("TabSheetFile", c);
    Check(c, "CheckBoxAskBeforeExiting", tr("Ask before exiting Velmora"));
    Check(c, "CheckBoxOverwriteAsk", tr("Ask before overwriting a file"));
    Check(c, "CheckBoxPreserveDate", tr("Preserve the original file dates"));
    Check(c, "CheckBoxFileOpenInCurrentDirectory",
          tr("File-open defaults to the current directory"));
    Check(c, "CheckBoxCloseAfterSave", tr("Close the file automatically after saving"));
    Check(c, "CheckBoxWarnWhenMissingFH",
          tr("Display a warning when opening a file with missing frame header(s)"));
    Note(c, "LabelNoteMissingFH",
         tr("Note: this is recommended, since missing frame headers are usually a sign of file "
            "corruption."));
    Check(c, "CheckBoxSaveWAV", tr("Save with '.WAV' extension"));
    Note(c, "LabelNoteSaveWAV",
         tr("Use this setting to create WAV-embedded MP3s. Note that this is incompatible with "
            "ID3v2 tags."));
    Check(c, "CheckBoxSave_WithTime",
          tr("Add the length of the track into the file name when using 'Save'"));
    Check(c, "CheckBoxSaveAs_WithTime",
          tr("Add the length of the track into the file name when using 'Save As'"));
    Check(c, "CheckBoxResetTrimmingPointsWhenOpen",
          tr("Reset the trimming points after each file opening"));
    Check(c, "CheckBoxResetFadeControlsWhenOpen",
          tr("Reset the fade controls after each file opening"));
    Check(c, "CheckBoxStayOnTop", tr("Stay on top"));
    ButtonLanguage = Named(new QPushButton(tr("Change Language"), page), "ButtonLanguage");
    c->addStretch(1);
    c->addLayout(Row({ButtonLanguage}));
    return page;
}

QWidget* TFormOptions::BuildAdvancedPage() {
    QVBoxLayout* c = nullptr;
    QWidget* page = NewPage("TabSheetAdvanced", c);
    Check(c, "CheckBoxCleanup", tr("Cleanup the MP3s (default)"));
    Note(c, "LabelNoteCleanup",
         tr("This option allows to throw away unrecognized information contained in corrupted "
            "MP3s."));
    Check(c, "CheckBoxRemoveLastFrame", tr("Remove last frame of MP3 when incomplete"));
    Check(c, "CheckBoxSmartCBR", tr("Use advanced CBR/VBR detection (recommended)"));
    Note(c, "LabelNoteSmartCBR",
         tr("Use this setting especially on MP3s downloaded from the net, since chances of "
            "encountering corrupted MP3s are higher in this case."));
    Check(c, "CheckBoxKeepExtraInfo", tr("Keep VBR seek or extra info header if present"));
    Check(c, "CheckBoxNoExtraInfoInMPEG2",
          tr("Do not put VBR seek or extra info header in MPEG2/mp3PRO files"));
    Check(c, "CheckBoxAllowPatchedStreams",
          tr("Allow streams made of MP3s with different characteristics"));
    Check(c, "CheckBoxExactCut",
          tr("Cut at the exact sample, without gaps or clicks (recommended)"));
    const std::pair<const char*, QString> fixed[] = {
        {"CheckBoxFixMissingCRC", tr("Fix missing CRCs (recommended)")},
        {"CheckBoxFixBadCRC", tr("Fix bad CRCs (not recommended)")},
        {"CheckBoxCreateVBRseekInfo", tr("Re-create the VBR seek information (if missing)")}};
    for (const auto& [name, caption] : fixed)
        Check(c, name, caption)->setEnabled(false);
    Note(c, "LabelNoteFixed", tr("These settings are fixed in this version."))->setEnabled(false);
    c->addStretch(1);
    return page;
}

QWidget* TFormOptions::BuildSilencePage() {
    QVBoxLayout* c = nullptr;
    QWidget* page = NewPage("TabSheetSilenceDetection", c);
    auto* group = Named(new QGroupBox(tr("Do you want to add silence to the MP3s?"), page),
                        "GroupBoxAddSilence");
    auto* grid = new QGridLayout(group);
    grid->addWidget(List("ComboBoxAddSilenceBeginning", kSilenceItems, group), 0, 0);
    grid->addWidget(Text("LabelAddSilenceBeginning", tr("of silence at the beginning"), group), 0,
                    1);
    grid->addWidget(List("ComboBoxAddSilenceEnd", kSilenceItems, group), 1, 0);
    grid->addWidget(Text("LabelAddSilenceEnd", tr("of silence at the end"), group), 1, 1);
    grid->addWidget(Named(new QCheckBox(tr("Reset these values after each file opening"), group),
                          "CheckBoxResetAddSilenceWhenOpen"),
                    2, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    c->addWidget(group);
    Check(c, "CheckBoxAutoDetectSilence", tr("Auto-detect the silence when opening a file"));
    Check(c, "CheckBoxFastSilenceDetection", tr("Fast silence detection (recommended)"));
    Note(c, "LabelNoteFastSilence", tr("Note: turn this off if you have large silence areas."));
    Check(c, "CheckBoxWarnWhenTrimBeginning_mp3PRO",
          tr("Display a warning when trimming the beginning of mp3PRO files"));
    Check(c, "CheckBoxDisableSilenceDetectionBeginning_mp3PRO",
          tr("Disable the silence detection at the beginning of mp3PRO files"));
    c->addStretch(1);
    return page;
}

QWidget* TFormOptions::BuildSilence2Page() {
    QVBoxLayout* c = nullptr;
    TabSheetSilence2 = NewPage("TabSheetSilence2", c);
    RadioGroupTrimAggressivity = new TRadioGroup(
        "RadioGroupTrimAggressivity", tr("How aggressive do you want the silence detection to be?"),
        {tr("accurate (default) (fast)"), tr("aggressive"), tr("very aggressive")},
        TabSheetSilence2);
    c->addWidget(RadioGroupTrimAggressivity);
    Note(c, "LabelAggressiveWarning",
         tr("Warning: the aggressive settings can cut quiet music that is not digital silence."));
    Note(c, "LabelNoteAggressive",
         tr("Note: If this setting is changed while a file is opened, the file will be read again "
            "automatically."));
    auto* group = Named(new QGroupBox(tr("Advanced silence detection"), TabSheetSilence2),
                        "GroupBoxAdvancedAlgo");
    auto* g = new QVBoxLayout(group);
    auto* window = Named(new QCheckBox(tr("Detect the silence using a sliding window"), group),
                         "CheckBoxWindowSilenceDetection");
    window->setChecked(true);
    g->addWidget(window);
    g->addLayout(Row({Text("LabelAnalisysWindowLength", tr("The window scan length is"), group),
                      Spin("SpinEditScanWindowLength", 1, 99, group, 2),
                      Text("LabelSecond", tr("seconds"), group)}));
    findChild<TSpinEdit*>(QStringLiteral("SpinEditScanWindowLength"))->setValue(5);
    auto* recursion = Named(new QCheckBox(tr("Look for silence recursively"), group),
                            "CheckBoxSmartSilenceRecursion");
    recursion->setChecked(true);
    g->addWidget(recursion);
    g->addWidget(Text("LabelAdvancedAlgoWarning",
                      tr("These settings are not available in this version."), group));
    group->setEnabled(false);
    c->addWidget(group);
    c->addStretch(1);
    return TabSheetSilence2;
}

QWidget* TFormOptions::BuildVolumePage() {
    QVBoxLayout* c = nullptr;
    QWidget* page = NewPage("TabSheetVolume", c);
    auto* group = Named(new QGroupBox(tr("Volume Normalization"), page), "GroupBoxNormalization");
    auto* g = new QVBoxLayout(group);
    g->addLayout(
        Row({Text("LabelNormalizeAt", tr("Set the normalization threshold at"), group),
             List("ComboBoxNormlizeAt", {"0dB", "-3dB", "-6dB", "-9dB", "-12dB"}, group)}));
    QStringList clip;
    for (int i = 0; i <= 10; ++i)
        clip << (i == 0 ? QStringLiteral("100%") : QStringLiteral("99.%1%").arg(10 - i));
    clip[10] = QStringLiteral("99.0%");
    g->addLayout(
        Row({Text("LabelVolumeNormalizeClip1", tr("Get"), group),
             List("ComboBoxNormalizeClippingThreshold", clip, group),
             Text("LabelVolumeNormalizeClip2", tr("of the samples below the threshold."), group)}));
    auto* inc =
        Named(new QCheckBox(tr("Restrict the normalization from reducing the volume"), group),
              "CheckBoxNormalizationIncOnly");
    g->addWidget(inc);
    g->addWidget(Text("LabelNoteIncOnly",
                      tr("Note: when enabled, Velmora shows '-0dB' instead of the calculated "
                         "normalization value for the MP3s that should have otherwise received a "
                         "volume reduction."),
                      group));
    g->addWidget(Named(new QCheckBox(tr("Auto-normalize the volume when opening a file"), group),
                       "CheckBoxAutoNormalizeVolume"));
    c->addWidget(group);
    c->addWidget(Text("LabelDefaultAmplification",
                      tr("When opening an MP3, default the volume control bar to:"), page));
    auto* bar = Named(new QSlider(Qt::Horizontal, page), "TrackBarDefaultAmplification");
    bar->setRange(-8, 8);
    bar->setTickInterval(2);
    bar->setTickPosition(QSlider::TicksBelow);
    bar->setPageStep(1);
    c->addWidget(bar);
    auto* scale = new QHBoxLayout;
    const char* const marks[][2] = {{"LabelDb1", "-12"},
                                    {"LabelDb2", "-6"},
                                    {"LabelDb3", "0dB"},
                                    {"LabelDb4", "+6"},
                                    {"LabelDb5", "+12"}};
    for (int i = 0; i < 5; ++i) {
        QLabel* mark = Text(marks[i][0], QLatin1String(marks[i][1]), page);
        mark->setProperty("Tag", 1); // the scale keeps its own texts
        mark->setAlignment(i == 0 ? Qt::AlignLeft : i == 4 ? Qt::AlignRight : Qt::AlignHCenter);
        scale->addWidget(mark, 1);
    }
    c->addLayout(scale);
    c->addLayout(Row({Text("LabelFadeDepth", tr("How deep do you want fade in/out to go?"), page),
                      List("ComboBoxFadeDepth", {"-15dB", "-30dB", "-45dB", "-60dB"}, page)}));
    c->addWidget(Text("LabelFadeDepthNote",
                      tr("This value is combined with the duration that is set on the main page "
                         "to determine the slope of the fade."),
                      page));
    c->addWidget(BuildLoudnessGroup(page));
    c->addStretch(1);
    return page;
}

QGroupBox* TFormOptions::BuildLoudnessGroup(QWidget* page) {
    auto* group = Named(new QGroupBox(tr("Loudness (EBU R128)"), page), "GroupBoxLoudness");
    auto* g = new QVBoxLayout(group);
    g->addWidget(Box("CheckBoxNormalizeLoudness",
                     tr("Normalize to a loudness target instead of the peak level"), group));
    g->addLayout(Row({Text("LabelLoudnessTarget", tr("Loudness target:"), group),
                      List("ComboBoxLoudnessTarget",
                           {tr("-18 LUFS (ReplayGain 2.0)"), tr("-14 LUFS (streaming)"),
                            tr("-16 LUFS"), tr("-23 LUFS (EBU R128 broadcast)"), tr("Custom")},
                           group),
                      Text("LabelLoudnessCustom", tr("custom: -"), group),
                      Spin("SpinEditLoudnessTargetCustom", 5, 70, group, 2),
                      Text("LabelLoudnessCustomUnit", QStringLiteral("LUFS"), group)}));
    g->addLayout(Row({Text("LabelTruePeakCeiling", tr("Keep the true peak under"), group),
                      List("ComboBoxTruePeakCeiling",
                           {"0dBTP", "-0.5dBTP", "-1dBTP", "-1.5dBTP", "-2dBTP"}, group)}));
    g->addWidget(Box("CheckBoxWriteReplayGainTags",
                     tr("Write ReplayGain 2.0 track tags when the loudness was measured"), group));
    return group;
}

QWidget* TFormOptions::BuildPreviewPage() {
    QVBoxLayout* c = nullptr;
    TabSheetPreview = NewPage("TabSheetPreview", c);
    QWidget* p = TabSheetPreview;
    c->addWidget(Text("LabelPreviewIntro",
                      tr("Previewing allows you to check the trimming points before saving a "
                         "file."),
                      p));
    c->addLayout(Row({Text("LabelPreviewButtonsLength", tr("The preview-buttons play clips"), p),
                      Spin("SpinEditPreviewLength", 1, 10, p, 2),
                      Text("LabelPreviewLengthSeconds", tr("second(s) long."), p)}));
    RadioGroupPreviewPlaysWhat = new TRadioGroup(
        "RadioGroupPreviewPlaysWhat", tr("What behavior do you want for the preview-buttons?"),
        {tr("They should play the file as it is after trimming (default)"),
         tr("No, they should play the trimmed part instead")},
        p);
    c->addWidget(RadioGroupPreviewPlaysWhat);
    RadioGroupPreviewMode = new TRadioGroup(
        "RadioGroupPreviewMode", tr("Do you want to use an external MP3 player for previewing?"),
        {tr("No, use the internal MP3 decoder (default)"),
         tr("Yes, use the desktop's default MP3 player")},
        p);
    c->addWidget(RadioGroupPreviewMode);
    CheckBoxStickyPreviewButtons =
        Check(c, "CheckBoxStickyPreviewButtons",
              tr("Use sticky preview buttons (stick down while preview is going)"));
    c->addWidget(
        Text("LabelPreviewNote1", tr("Note: while pressing a preview-play button, you can:"), p));
    Note(c, "LabelPreviewNote2", tr("* use the CTRL key to boost temporarily the preview volume."));
    Note(c, "LabelPreviewNote3",
         tr("* use the SHIFT key to reduce temporarily the preview length to 1 second."));
    c->addStretch(1);
    return p;
}
