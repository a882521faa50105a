// The ID3, Cue and batch pages of the Options window.
#include "OptionsLayoutKit.h"
#include "RadioGroup.h"
#include "TSpinEdit.h"
#include "UnitOptionsForm.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>

using namespace velmora::options_layout;

QWidget* TFormOptions::BuildId3Page() {
    QVBoxLayout* c = nullptr;
    TabSheetID3 = NewPage("TabSheetID3", c);
    auto* group =
        Named(new QGroupBox(tr("Do you want an ID3v1 tag?"), TabSheetID3), "GroupBoxID3v1");
    auto* g = new QVBoxLayout(group);
    RadioButtonID3Remove =
        Named(new QRadioButton(tr("No, remove it if present"), group), "RadioButtonID3Remove");
    RadioButtonID3Keep =
        Named(new QRadioButton(tr("Yes, keep it if present"), group), "RadioButtonID3Keep");
    RadioButtonID3recreate =
        Named(new QRadioButton(tr("Yes, (re)create the tag based on the MP3 file name"), group),
              "RadioButtonID3recreate");
    for (QRadioButton* b : {RadioButtonID3Remove, RadioButtonID3Keep, RadioButtonID3recreate})
        g->addWidget(b);
    QLabel* nameNote = Text("LabelID3FileNameNote",
                            tr("Note: the MP3 file name must be in the \"artist - track name\" "
                               "format (dash separated) for this last option to work."),
                            group);
    nameNote->setContentsMargins(18, 0, 0, 4);
    g->addWidget(nameNote);
    auto* grid = new QGridLayout;
    const std::pair<const char*, QString> boxes[] = {
        {"CheckBoxID3UpdateTrackName", tr("Update the track to be")},
        {"CheckBoxID3UpdateArtistName", tr("Update the artist to be")},
        {"CheckBoxID3UpdateAlbumName", tr("Update the album to be")},
        {"CheckBoxID3UpdateAlbumYear", tr("Update the album year to be")},
        {"CheckBoxID3UpdateGenre", tr("Update the genre to be")},
        {"CheckBoxID3UpdateCommentName", tr("Update the comment to be")}};
    const char* const edits[] = {"EditID3Track", "EditID3Artist", "EditID3Album",
                                 nullptr,        nullptr,         "EditID3Comment"};
    SpinEditID3Year = Spin("SpinEditID3Year", 0, 9999, group, 4);
    ComboBoxID3Genre = Named(new QComboBox(group), "ComboBoxID3Genre");
    ComboBoxID3Genre->addItem(QString());
    for (const int genre : m_genreOrder.genreAt)
        ComboBoxID3Genre->addItem(QString::fromStdString(m_genreNames[genre]));
    ComboBoxID3Genre->installEventFilter(this);
    for (int i = 0; i < 6; ++i) {
        m_updateBoxes[i] = Box(boxes[i].first, boxes[i].second, group);
        m_updateBoxes[i]->setTristate(true);
        if (edits[i]) {
            auto* edit = Named(new QLineEdit(group), edits[i]);
            edit->setMaxLength(30);
            m_updateInputs[i] = edit;
        }
        grid->addWidget(m_updateBoxes[i], i, 0);
    }
    m_updateInputs[3] = SpinEditID3Year;
    m_updateInputs[4] = ComboBoxID3Genre;
    for (int i = 0; i < 6; ++i)
        grid->addWidget(m_updateInputs[i], i, 1, Qt::AlignLeft);
    grid->setColumnStretch(1, 1);
    for (int i : {0, 1, 2, 5})
        m_updateInputs[i]->setMinimumWidth(200);
    ComboBoxID3Genre->setMinimumWidth(160);
    g->addLayout(grid);
    g->addWidget(Text("LabelID3GrayedNote",
                      tr("Note: a grayed check-box means that if information is already present, "
                         "it will not be overwritten."),
                      group));
    c->addWidget(group);
    c->addWidget(Box("CheckBoxKeepID3v2", tr("Keep the ID3v2 tag if present"), TabSheetID3));
    c->addWidget(Text("LabelID3v2Note",
                      tr("Note: files saved as WAV-embedded MP3s won't have an ID3v2 tag."),
                      TabSheetID3));
    c->addStretch(1);
    return TabSheetID3;
}

QWidget* TFormOptions::BuildCuePage() {
    QVBoxLayout* c = nullptr;
    QWidget* page = NewPage("TabSheetCue", c);
    c->addWidget(Text("LabelCueGenerate",
                      tr("Velmora can re-generate a cue files from an MP3 (ctrl-G). A cue file is "
                         "used when a big MP3 contains multiple tracks, it indicates the position "
                         "of each track within the big MP3."),
                      page));
    QLabel* before = Text("LabelCueMinimum", tr("The minimum CUE track length allowed is"), page);
    QLabel* after = Text("LabelCueMinimumSeconds", tr("seconds."), page);
    before->setWordWrap(false);
    after->setWordWrap(false);
    c->addLayout(
        Row({before, Spin("SpinEditMinimumCueTrackLength", 0, 999999999, page, 9), after}));
    c->addSpacing(8);
    c->addWidget(Text("LabelCueSplit",
                      tr("Velmora can split an MP3 according to a CUE file (ctrl-U)."), page));
    RadioGroupCueSplit = new TRadioGroup(
        "RadioGroupCueSplit", tr("How should the splitting occur?"),
        {tr("Save each track fully"), tr("Limit each track to 30 seconds, centered")}, page);
    c->addWidget(RadioGroupCueSplit);
    c->addStretch(1);
    return page;
}

QWidget* TFormOptions::BuildBatchPage() {
    QVBoxLayout* c = nullptr;
    QWidget* page = NewPage("TabSheetBatch", c);
    c->addWidget(Box("CheckBoxBatchRemoveSilence", tr("Remove the digital silence"), page));
    c->addWidget(Box("CheckBoxBatchVolumeNormalize", tr("Normalize the volume"), page));
    auto* album = new QHBoxLayout;
    album->addSpacing(18);
    album->addWidget(Box("CheckBoxBatchAlbumGain",
                         tr("Album mode: one gain for the files of each folder (loudness target)"),
                         page),
                     1);
    c->addLayout(album);
    auto* fades = new QHBoxLayout;
    for (const auto& [group, bar, caption] :
         {std::tuple{"GroupBoxBatchFadeIn", "TrackBarBatchFadeIn", tr("Fade-in")},
          std::tuple{"GroupBoxBatchFadeOut", "TrackBarBatchFadeOut", tr("Fade-out")}}) {
        auto* box = Named(new QGroupBox(caption, page), group);
        auto* slider = Named(new QSlider(Qt::Vertical, box), bar);
        slider->setRange(0, 32);
        slider->setInvertedAppearance(true);
        slider->setFixedHeight(60);
        slider->setProperty("computedHint", true); // its hint shows the fade's duration
        (new QVBoxLayout(box))->addWidget(slider, 0, Qt::AlignHCenter);
        fades->addWidget(box);
    }
    fades->addStretch(1);
    c->addLayout(fades);
    c->addWidget(Box("CheckBoxBatchCreateLOG", tr("Create a LOG file"), page));
    const std::pair<const char*, QString> log[] = {
        {"CheckBoxBatchLOGEraseAtBeginning", tr("Erase LOG file at the beginning of each batch")},
        {"CheckBoxBatchLOGExcludeGoodFiles", tr("Show only files with error(s)")},
        {"CheckBoxBatchLOGCharacteristics", tr("Include characteristics (length, bitrate...)")},
        {"CheckBoxBatchLOGStatistics", tr("Include statistics (what changed)")},
        {"CheckBoxBatchLOGAbrupt", tr("Include abrupt ending information")},
        {"CheckBoxBatchTestRun", tr("Test run only (MP3 files are not modified)")},
        {"CheckBatchBoxStopOnError", tr("Stop the batch processing when an error happens")},
        {"CheckBoxBatchStopsOnBadFiles", tr("Stop on file with missing frame header(s)")},
        {"CheckBoxBatchSkipBadFiles", tr("Skip files with missing frame header(s) (recommended)")},
        {"CheckBoxBatchSplitCUE", tr("Split according to CUE info")},
        {"CheckBoxBatchRunInIdlePriority",
         tr("Run in idle priority (keeps the computer responsive during long batch)")}};
    for (const auto& [name, caption] : log) {
        QCheckBox* box = Box(name, caption, page);
        const bool indented = std::string_view(name) != "CheckBatchBoxStopOnError" &&
                              std::string_view(name).find("Batch") != std::string_view::npos &&
                              (std::string_view(name).find("LOG") != std::string_view::npos ||
                               std::string_view(name) == "CheckBoxBatchTestRun" ||
                               std::string_view(name) == "CheckBoxBatchStopsOnBadFiles");
        auto* row = new QHBoxLayout;
        row->addSpacing(indented ? 18 : 0);
        row->addWidget(box, 1);
        c->addLayout(row);
    }
    c->addStretch(1);
    return page;
}

QWidget* TFormOptions::BuildBatch2Page() {
    QVBoxLayout* c = nullptr;
    QWidget* page = NewPage("TabSheetBatch2", c);
    auto* sub = Named(new QGroupBox(tr("Subfolders"), page), "GroupBoxSubfolders");
    auto* s = new QVBoxLayout(sub);
    s->addWidget(Box("CheckBoxProcessSubfolders", tr("Process subfolders"), sub));
    auto* only = Named(new QLineEdit(QStringLiteral("*.mp3"), sub), "EditBatchProcessOnlyFiles");
    s->addLayout(Row({Box("CheckBoxProcessOnly", tr("Process only files matching"), sub), only}));
    c->addWidget(sub);
    auto* thumbs = Named(new QGroupBox(tr("Thumbnails"), page), "GroupBoxThumbnails");
    auto* t = new QVBoxLayout(thumbs);
    auto* length = Named(new QComboBox(thumbs), "ComboBoxLengthThumbnail");
    length->addItems({"15", "30", "45", "60", "90", "120", tr("variable")});
    length->setCurrentIndex(1);
    t->addLayout(Row({Box("CheckBoxBatchCreateThumbnail", tr("Make thumbnails"), thumbs), length,
                      Text("LabelThumbnailCheckbox", tr("seconds long"), thumbs)}));
    t->addLayout(Row({Text("LabelThumbnailSpinStart", tr("Start the extraction after"), thumbs),
                      Spin("SpinEditStartThumbnail", 0, 999, thumbs, 3),
                      Text("LabelThumbnailSpinStart2", tr("seconds"), thumbs)}));
    t->addLayout(Row({Text("LabelThumbnailSpinEnd", tr("End extraction"), thumbs),
                      Spin("SpinEditEndThumbnail", 0, 999, thumbs, 3),
                      Text("LabelThumbnailSpinEnd2", tr("seconds before the end"), thumbs)}));
    for (const char* name : {"SpinEditStartThumbnail", "SpinEditEndThumbnail"})
        thumbs->findChild<TSpinEdit*>(QLatin1String(name))->setValue(0);
    t->addWidget(Text("LabelThumbnailCaution",
                      tr("Caution: make a backup of your MP3s before creating thumbnails, since "
                         "the files are modified in place."),
                      thumbs));
    c->addWidget(thumbs);
    auto* move = Named(new QGroupBox(tr("Move"), page), "GroupBoxMove");
    auto* m = new QVBoxLayout(move);
    m->addWidget(Box("CheckBoxBatchMoveAbrupt", tr("Move files with abrupt ending"), move));
    QCheckBox* moveError = Box("CheckBoxBatchMoveError", tr("Move files with errors"), move);
    moveError->hide();
    m->addWidget(moveError);
    m->addWidget(Text("LabelMoveNote",
                      tr("Files are moved to a subfolder \"Abrupt endings\" of the folder where "
                         "they reside initially."),
                      move));
    c->addWidget(move);
    c->addStretch(1);
    return page;
}

namespace {

void EnableAll(QObject* window, std::initializer_list<const char*> names, bool enabled) {
    for (const char* name : names)
        if (auto* w = window->findChild<QWidget*>(QLatin1String(name)))
            w->setEnabled(enabled);
}

bool Checked(QObject* window, const char* name) {
    const auto* box = window->findChild<QCheckBox*>(QLatin1String(name));
    return box && box->isChecked();
}

void FocusIf(QObject* window, const char* name, bool take) {
    if (auto* w = window->findChild<QWidget*>(QLatin1String(name)); take && w && w->isVisible())
        w->setFocus();
}

} // namespace

void TFormOptions::CheckBoxWindowSilenceDetectionClick() {
    const bool on = Checked(this, "CheckBoxWindowSilenceDetection");
    EnableAll(this,
              {"LabelAnalisysWindowLength", "SpinEditScanWindowLength", "LabelSecond",
               "CheckBoxSmartSilenceRecursion"},
              on);
    FocusIf(this, "SpinEditScanWindowLength", on);
}

void TFormOptions::CheckBoxBatchCreateThumbnailClick() {
    const bool on = Checked(this, "CheckBoxBatchCreateThumbnail");
    EnableAll(this,
              {"LabelThumbnailCheckbox", "LabelThumbnailSpinStart", "LabelThumbnailSpinStart2",
               "ComboBoxLengthThumbnail", "SpinEditStartThumbnail"},
              on);
    ComboBoxLengthThumbnailChange();
    FocusIf(this, "ComboBoxLengthThumbnail", on);
}

void TFormOptions::ComboBoxLengthThumbnailChange() {
    const auto* length = findChild<QComboBox*>(QStringLiteral("ComboBoxLengthThumbnail"));
    const bool variable =
        Checked(this, "CheckBoxBatchCreateThumbnail") && length && length->currentIndex() == 6;
    EnableAll(this, {"SpinEditEndThumbnail", "LabelThumbnailSpinEnd", "LabelThumbnailSpinEnd2"},
              variable);
}

void TFormOptions::CheckBoxProcessSubfoldersClick() {
    const bool sub = Checked(this, "CheckBoxProcessSubfolders");
    const bool both = sub && Checked(this, "CheckBoxProcessOnly");
    EnableAll(this, {"CheckBoxProcessOnly"}, sub);
    EnableAll(this, {"EditBatchProcessOnlyFiles"}, both);
    FocusIf(this, "EditBatchProcessOnlyFiles", both);
}

void TFormOptions::CheckBoxProcessOnlyClick() {
    const bool on = Checked(this, "CheckBoxProcessOnly");
    EnableAll(this, {"EditBatchProcessOnlyFiles"}, on);
    FocusIf(this, "EditBatchProcessOnlyFiles", on);
}

void TFormOptions::CheckBoxBatchCreateLOGClick() {
    EnableAll(this,
              {"CheckBoxBatchLOGEraseAtBeginning", "CheckBoxBatchLOGExcludeGoodFiles",
               "CheckBoxBatchLOGCharacteristics", "CheckBoxBatchLOGStatistics",
               "CheckBoxBatchLOGAbrupt", "CheckBoxBatchTestRun"},
              Checked(this, "CheckBoxBatchCreateLOG"));
}

void TFormOptions::CheckBatchBoxStopOnErrorClick() {
    EnableAll(this, {"CheckBoxBatchStopsOnBadFiles"}, Checked(this, "CheckBatchBoxStopOnError"));
}

void TFormOptions::TrackBarBatchFadeChange(QSlider* bar) {
    const int ms = velmora::FadeDurationTable[static_cast<std::size_t>(bar->value())];
    bar->setToolTip(QStringLiteral("%1.%2s").arg(ms / 1000).arg(ms % 1000 / 100));
}
