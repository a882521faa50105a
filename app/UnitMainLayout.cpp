#include "UnitMain.h"

#include "AccessibleNames.h"
#include "TSpinEdit.h"
#include "TTimeEdit.h"

#include <QAction>
#include <QBoxLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

namespace {

using velmora::kTagVolumeBit;
constexpr int kTagVolumeScale = kTagVolumeBit | 1;

// Tabs of equal width, each half the control wide, whatever the language's captions.
class TFixedWidthTabBar final : public QTabBar {
public:
    using QTabBar::QTabBar;

protected:
    QSize tabSizeHint(int index) const override {
        QSize hint = QTabBar::tabSizeHint(index);
        if (parentWidget())
            hint.setWidth(std::max(hint.width(), parentWidget()->width() / 2 - 2));
        return hint;
    }
};

class TFixedTabWidget final : public QTabWidget {
public:
    explicit TFixedTabWidget(QWidget* parent) : QTabWidget(parent) {
        setTabBar(new TFixedWidthTabBar(this));
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        // The tab bar keeps its tab sizes until something marks them stale.
        tabBar()->setIconSize(tabBar()->iconSize());
        QTabWidget::resizeEvent(event);
    }
};

QLineEdit* ReadOnly(QLineEdit* edit) {
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::ClickFocus);
    return edit;
}

} // namespace

template <typename T> T* TFormMain::Component(const char* name, QWidget* parent, int tag) {
    T* widget = new T(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setProperty("Tag", tag);
    m_components.push_back(widget);
    return widget;
}

void TFormMain::BuildMenu() {
    struct Item {
        QAction** action;
        const char* name;
        const char* caption;
        void (TFormMain::*handler)();
    };
    const Item items[] = {
        {&MenuOpen, "MenuOpen", "&Open", &TFormMain::MenuOpenClick},
        {&MenuSave, "MenuSave", "&Save!", &TFormMain::MenuSaveClick},
        {&MenuSaveAs, "MenuSaveAs", "Save &As", &TFormMain::MenuSaveAsClick},
        {&MenuClose, "MenuClose", "&Close", &TFormMain::MenuCloseClick},
        {&MenuOptions, "MenuOptions", "O&ptions", &TFormMain::MenuOptionsClick},
        {&MenuBatch, "MenuBatch", "Ba&tch...", &TFormMain::MenuBatchClick},
        {&MenuAbout, "MenuAbout", "A&bout", &TFormMain::MenuAboutClick},
        {&MenuExit, "MenuExit", "E&xit!", &TFormMain::MenuExitClick},
    };
    for (const Item& item : items) {
        QAction* action = menuBar()->addAction(QString::fromLatin1(item.caption));
        action->setObjectName(QString::fromLatin1(item.name));
        *item.action = action;
        const auto handler = item.handler;
        connect(action, &QAction::triggered, this,
                [this, handler] { RunCommand([this, handler] { (this->*handler)(); }); });
    }
    BuildViewMenu();
}

QGroupBox* TFormMain::BuildInfoGroup() {
    GroupBoxInfo = Component<QGroupBox>("GroupBoxInfo", nullptr);
    GroupBoxInfo->setTitle(tr("Information"));
    auto* grid = new QGridLayout(GroupBoxInfo);
    const auto label = [this](const char* name, const char* caption) {
        QLabel* l = Component<QLabel>(name, GroupBoxInfo);
        l->setText(QString::fromLatin1(caption));
        return l;
    };
    EditName = ReadOnly(Component<QLineEdit>("EditName", GroupBoxInfo));
    EditType = ReadOnly(Component<QLineEdit>("EditType", GroupBoxInfo));
    EditLength = ReadOnly(Component<QLineEdit>("EditLength", GroupBoxInfo));
    EditID3 = ReadOnly(Component<QLineEdit>("EditID3", GroupBoxInfo));
    EditCRC = ReadOnly(Component<QLineEdit>("EditCRC", GroupBoxInfo));
    EditEnding = ReadOnly(Component<QLineEdit>("EditEnding", GroupBoxInfo));
    EditBitrate = ReadOnly(Component<QLineEdit>("EditBitrate", GroupBoxInfo));
    ButtonAdvancedInfo = Component<QPushButton>("ButtonAdvancedInfo", GroupBoxInfo);
    ButtonAdvancedInfo->setText(tr("Ad&vanced info..."));
    connect(ButtonAdvancedInfo, &QPushButton::clicked, this,
            [this] { RunCommand([this] { ButtonAdvancedInfoClick(); }); });

    grid->addWidget(label("LabelName", "File:"), 0, 0);
    grid->addWidget(EditName, 0, 1, 1, 3);
    grid->addWidget(label("LabelType", "Type:"), 1, 0);
    grid->addWidget(EditType, 1, 1, 1, 3);
    grid->addWidget(label("LabelLength", "Length:"), 2, 0);
    grid->addWidget(EditLength, 2, 1);
    grid->addWidget(label("LabelID3", "ID3:"), 2, 2);
    grid->addWidget(EditID3, 2, 3);
    grid->addWidget(label("LabelCRC", "CRC:"), 3, 0);
    grid->addWidget(EditCRC, 3, 1);
    grid->addWidget(label("LabelEnding", "Ending:"), 3, 2);
    grid->addWidget(EditEnding, 3, 3);
    grid->addWidget(label("LabelBitrate", "Bitrate:"), 4, 0);
    grid->addWidget(EditBitrate, 4, 1, 1, 2);
    grid->addWidget(ButtonAdvancedInfo, 4, 3);
    return GroupBoxInfo;
}

QGroupBox* TFormMain::BuildTrimGroup() {
    GroupBoxTrim = Component<QGroupBox>("GroupBoxTrim", nullptr);
    GroupBoxTrim->setTitle(tr("How much do you want to trim?"));
    PageControlTrim = new TFixedTabWidget(GroupBoxTrim);
    PageControlTrim->setObjectName(QStringLiteral("PageControlTrim"));
    m_components.push_back(PageControlTrim);
    TabSheetTime = Component<QWidget>("TabSheetTime", nullptr);
    TabSheetFrame = Component<QWidget>("TabSheetFrame", nullptr);
    PageControlTrim->addTab(TabSheetTime, tr("time"));
    PageControlTrim->addTab(TabSheetFrame, tr("frame"));

    TimeSpinBeginS = Component<TTimeSpin>("TimeSpinBeginS", TabSheetTime);
    TimeSpinEndS = Component<TTimeSpin>("TimeSpinEndS", TabSheetTime);
    TimeSpinEndP = Component<TTimeSpin>("TimeSpinEndP", TabSheetTime);
    TimeSpinDuration = Component<TTimeSpin>("TimeSpinDuration", TabSheetTime);
    SpinEditBeginF = Component<TSpinEdit>("SpinEditBeginF", TabSheetFrame);
    SpinEditEndF = Component<TSpinEdit>("SpinEditEndF", TabSheetFrame);
    SpinEditEndP = Component<TSpinEdit>("SpinEditEndP", TabSheetFrame);
    SpinEditDuration = Component<TSpinEdit>("SpinEditDuration", TabSheetFrame);
    LabelBeginTime = Component<QLabel>("LabelBeginTime", GroupBoxTrim);
    LabelEndTime = Component<QLabel>("LabelEndTime", GroupBoxTrim);
    LabelEndP = Component<QLabel>("LabelEndP", GroupBoxTrim);
    LabelDurationTime = Component<QLabel>("LabelDurationTime", GroupBoxTrim);

    // Row labels, fields and read-outs line up: every row is as high as its tallest field.
    const int rowHeight =
        std::max(TimeSpinBeginS->sizeHint().height(), SpinEditBeginF->sizeHint().height());
    const auto fillPage = [rowHeight](QWidget* page, std::initializer_list<QWidget*> fields) {
        auto* column = new QVBoxLayout(page);
        column->setContentsMargins(4, 4, 4, 4);
        column->setSpacing(2);
        for (QWidget* field : fields) {
            field->setFixedHeight(rowHeight);
            column->addWidget(field);
        }
    };
    fillPage(TabSheetTime, {TimeSpinBeginS, TimeSpinEndS, TimeSpinEndP, TimeSpinDuration});
    fillPage(TabSheetFrame, {SpinEditBeginF, SpinEditEndF, SpinEditEndP, SpinEditDuration});

    auto* rowLabels = new QVBoxLayout;
    rowLabels->setSpacing(2);
    rowLabels->setContentsMargins(0, PageControlTrim->tabBar()->sizeHint().height() + 5, 0, 4);
    auto* readOuts = new QVBoxLayout;
    readOuts->setSpacing(2);
    readOuts->setContentsMargins(0, PageControlTrim->tabBar()->sizeHint().height() + 5, 0, 4);
    const std::pair<const char*, const char*> rows[] = {{"LabelTrimBegin", "from the beginning:"},
                                                        {"LabelTrimEnd", "from the end:"},
                                                        {"LabelTrimEndPosition", "end position"},
                                                        {"LabelTrimDuration", "duration"}};
    const std::pair<TTimeSpin*, TSpinEdit*> fields[] = {{TimeSpinBeginS, SpinEditBeginF},
                                                        {TimeSpinEndS, SpinEditEndF},
                                                        {TimeSpinEndP, SpinEditEndP},
                                                        {TimeSpinDuration, SpinEditDuration}};
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        QLabel* l = Component<QLabel>(rows[i].first, GroupBoxTrim);
        l->setText(QString::fromLatin1(rows[i].second));
        l->setFixedHeight(rowHeight);
        rowLabels->addWidget(l);
        // The row's label names its fields on both pages for screen readers.
        velmora::SetNamedBy(fields[i].first, l);
        velmora::SetNamedBy(fields[i].second, l);
    }
    for (QLabel* l : {LabelBeginTime, LabelEndTime, LabelEndP, LabelDurationTime}) {
        l->setFixedHeight(rowHeight);
        l->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.00")));
        readOuts->addWidget(l);
    }
    rowLabels->addStretch();
    readOuts->addStretch();

    QGridLayout* buttons = BuildTrimButtons();

    LabelSpaceSaved = Component<QLabel>("LabelSpaceSaved", GroupBoxTrim);
    LabelSpaceSaved->setToolTip(tr("Space that you are going to recover by saving the file"));
    LabelTimeRemain = Component<QLabel>("LabelTimeRemain", GroupBoxTrim);
    LabelTimeRemain->setToolTip(tr("Duration of the track after trimming"));
    LabelTimeRemain->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    auto* top = new QHBoxLayout;
    top->addLayout(rowLabels);
    // The page box is as wide as its fields: a wider window (longer captions) widens the gap
    // before the buttons instead.
    top->addWidget(PageControlTrim);
    top->addLayout(readOuts);
    top->addStretch(1);
    top->addLayout(buttons);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(LabelSpaceSaved, 1);
    bottom->addWidget(LabelTimeRemain, 1);
    auto* column = new QVBoxLayout(GroupBoxTrim);
    column->addLayout(top);
    column->addLayout(bottom);
    return GroupBoxTrim;
}

// The preview, media player and Auto buttons beside the trimming fields.
QGridLayout* TFormMain::BuildTrimButtons() {
    const auto toolButton = [this](const char* name, const QString& text) {
        QToolButton* b = Component<QToolButton>(name, GroupBoxTrim);
        b->setText(text);
        b->setFixedHeight(std::max(b->sizeHint().height(), 22));
        return b;
    };
    // Their play icons follow the palette (ApplyThemeColours).
    BitBtnTestBegin = toolButton("BitBtnTestBegin", QString());
    BitBtnTestBegin->setCheckable(true);
    BitBtnTestEnd = toolButton("BitBtnTestEnd", QString());
    BitBtnTestEnd->setCheckable(true);
    BitBtnWinAmpGetTrimBegin = toolButton("BitBtnWinAmpGetTrimBegin", QStringLiteral("W"));
    BitBtnWinAmpGetTrimEnd = toolButton("BitBtnWinAmpGetTrimEnd", QStringLiteral("W"));
    for (QToolButton* w : {BitBtnWinAmpGetTrimBegin, BitBtnWinAmpGetTrimEnd})
        w->setToolTip(
            tr("Update the trimming point by reading your media player's playback position"));
    // Named by the rows they sit in.
    for (QToolButton* b : {BitBtnTestBegin, BitBtnWinAmpGetTrimBegin})
        velmora::SetNamedBy(b, GroupBoxTrim->findChild<QLabel*>(QStringLiteral("LabelTrimBegin")));
    for (QToolButton* b : {BitBtnTestEnd, BitBtnWinAmpGetTrimEnd})
        velmora::SetNamedBy(b, GroupBoxTrim->findChild<QLabel*>(QStringLiteral("LabelTrimEnd")));
    auto* buttons = new QGridLayout;
    buttons->setContentsMargins(0, PageControlTrim->tabBar()->sizeHint().height() + 5, 0, 0);
    buttons->setVerticalSpacing(2);
    buttons->addWidget(BitBtnTestBegin, 0, 0);
    buttons->addWidget(BitBtnWinAmpGetTrimBegin, 0, 1);
    buttons->addWidget(BitBtnTestEnd, 1, 0);
    buttons->addWidget(BitBtnWinAmpGetTrimEnd, 1, 1);
    ButtonTrimSilence = Component<QPushButton>("ButtonTrimSilence", GroupBoxTrim);
    ButtonTrimSilence->setText(tr("A&uto"));
    ButtonTrimSilence->setToolTip(
        tr("Detects the digital silence and updates the trimming control values accordingly"));
    buttons->addWidget(ButtonTrimSilence, 2, 0, 2, 2, Qt::AlignBottom);
    buttons->setRowStretch(4, 1);
    return buttons;
}

QGroupBox* TFormMain::BuildFadeGroup(const char* name, const QString& caption, const char* trackBar,
                                     const char* image, const char* blackImage) {
    auto* group = Component<QGroupBox>(name, nullptr, kTagVolumeBit);
    group->setTitle(caption);
    const bool rising = std::string_view(name) == "GroupBoxFadeIn";
    QSlider* bar = Component<QSlider>(trackBar, group);
    bar->setProperty("computedHint", true); // its hint shows the fade's duration
    bar->setOrientation(Qt::Vertical);
    bar->setRange(0, 32);
    bar->setInvertedAppearance(true);
    bar->setFixedHeight(64);
    // Their pictures are drawn for the palette and the screen (ApplyThemeColours).
    QLabel* ramp = Component<QLabel>(image, group);
    QLabel* black = Component<QLabel>(blackImage, group);
    velmora::SetNamedBy(bar, group);
    ramp->setToolTip(rising ? tr("How the fade-in raises the volume")
                            : tr("How the fade-out lowers the volume"));
    black->setToolTip(tr("Click a band of the picture to choose the fade's length"));
    // The black picture lies over the grey one and shows only where fades apply.
    auto* pictures = new QGridLayout;
    pictures->addWidget(ramp, 0, 0, Qt::AlignTop);
    pictures->addWidget(black, 0, 0, Qt::AlignTop);
    pictures->setRowStretch(1, 1);
    auto* row = new QHBoxLayout(group);
    row->addWidget(bar);
    row->addLayout(pictures);
    if (rising) {
        TrackBarFadeIn = bar;
        ImageFadeIn = ramp;
        ImageFadeInBlack = black;
    } else {
        TrackBarFadeOut = bar;
        ImageFadeOut = ramp;
        ImageFadeOutBlack = black;
    }
    return group;
}

QGroupBox* TFormMain::BuildVolumeGroup() {
    GroupBoxAmplification = Component<QGroupBox>("GroupBoxAmplification", nullptr);
    GroupBoxAmplification->setTitle(tr("Volume control"));
    // The marker moves within its row to wherever the analysis puts the bar's handle.
    m_markerRow = new QWidget(GroupBoxAmplification);
    m_markerRow->setFixedHeight(4);
    PanelVolumeNormalization = Component<QFrame>("PanelVolumeNormalization", m_markerRow);
    static_cast<QFrame*>(PanelVolumeNormalization)->setFrameStyle(QFrame::Box | QFrame::Plain);
    PanelVolumeNormalization->setFixedSize(9, 4);
    PanelVolumeNormalization->hide();
    TrackBarAmplification =
        Component<QSlider>("TrackBarAmplification", GroupBoxAmplification, kTagVolumeBit);
    TrackBarAmplification->setOrientation(Qt::Horizontal);
    TrackBarAmplification->setRange(-8, 8);
    TrackBarAmplification->setTickPosition(QSlider::TicksBelow);
    TrackBarAmplification->setTickInterval(4);
    velmora::SetNamedBy(TrackBarAmplification, GroupBoxAmplification);
    auto* scale = new QHBoxLayout;
    const std::pair<const char*, const char*> marks[] = {{"Label_12dB", "-12"},
                                                         {"Label_6dB", "-6"},
                                                         {"Label0dB", "0dB"},
                                                         {"Label6dB", "+6"},
                                                         {"Label12dB", "+12"}};
    for (std::size_t i = 0; i < std::size(marks); ++i) {
        QLabel* l = Component<QLabel>(marks[i].first, GroupBoxAmplification, kTagVolumeScale);
        l->setText(QString::fromLatin1(marks[i].second));
        l->setAlignment(i == 0                      ? Qt::AlignLeft
                        : i + 1 == std::size(marks) ? Qt::AlignRight
                                                    : Qt::AlignHCenter);
        scale->addWidget(l, 1);
    }
    ButtonAutoVolume =
        Component<QPushButton>("ButtonAutoVolume", GroupBoxAmplification, kTagVolumeBit);
    ButtonAutoVolume->setText(tr("Au&to"));
    ButtonAutoVolume->setToolTip(tr("Analyzes the volume and updates the volume bar"));
    const auto panel = [this](const char* name, const QString& hint) {
        QLabel* p = Component<QLabel>(name, GroupBoxAmplification, kTagVolumeBit);
        p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        p->setAlignment(Qt::AlignCenter);
        p->setMinimumWidth(p->fontMetrics().horizontalAdvance(QStringLiteral("+00.0dB")) + 8);
        p->setToolTip(hint);
        return p;
    };
    PanelVolumeMax =
        panel("PanelVolumeMax", tr("Calculated normalization value (click 'Auto' to calculate)"));
    PanelVolumeMax->setText(QStringLiteral("?dB"));
    PanelLoudness = panel("PanelLoudness", tr("Measured loudness, EBU R128 (click 'Auto' to "
                                              "measure)"));
    PanelLoudness->setText(QStringLiteral("? LUFS"));
    PanelVolume =
        panel("PanelVolume", tr("Changed volume value (save the file to apply the change)"));
    PanelVolume->setText(QStringLiteral("0dB"));
    auto* readOuts = new QHBoxLayout;
    readOuts->addWidget(ButtonAutoVolume);
    readOuts->addStretch();
    readOuts->addWidget(PanelVolumeMax);
    readOuts->addWidget(PanelLoudness);
    readOuts->addWidget(PanelVolume);
    auto* left = new QVBoxLayout;
    left->addWidget(TrackBarAmplification);
    left->addWidget(m_markerRow);
    left->addLayout(scale);
    left->addStretch();
    left->addLayout(readOuts);
    auto* row = new QHBoxLayout(GroupBoxAmplification);
    row->addLayout(left, 1);
    row->addWidget(BuildFadeGroup("GroupBoxFadeIn", tr("Fade-in"), "TrackBarFadeIn", "ImageFadeIn",
                                  "ImageFadeInBlack"));
    row->addWidget(BuildFadeGroup("GroupBoxFadeOut", tr("Fade-out"), "TrackBarFadeOut",
                                  "ImageFadeOut", "ImageFadeOutBlack"));
    return GroupBoxAmplification;
}
