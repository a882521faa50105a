#include "UnitOptionsForm.h"

#include "RadioGroup.h"
#include "TSpinEdit.h"
#include "UnitOptionRules.h"
#include "UnitSettingsStore.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>

#include <algorithm>
#include <numeric>

using namespace velmora;

namespace velmora {

GenreSortOrder SortGenres(const std::vector<std::string>& names) {
    GenreSortOrder order;
    order.genreAt.resize(names.size());
    std::iota(order.genreAt.begin(), order.genreAt.end(), 0);
    // std::string compares bytes: never the locale's collation.
    std::stable_sort(order.genreAt.begin(), order.genreAt.end(),
                     [&](int a, int b) { return names[a] < names[b]; });
    order.positionOf.fill(-1);
    for (std::size_t i = 0; i < order.genreAt.size() && i < 256; ++i)
        order.positionOf[order.genreAt[i]] = static_cast<int>(i);
    return order;
}

} // namespace velmora

namespace {

constexpr int kNoGenre = 255;

} // namespace

TFormOptions::TFormOptions(Settings& settings, std::vector<std::string> genreNames, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_genreNames(std::move(genreNames)),
      m_genreOrder(SortGenres(m_genreNames)) {
    setObjectName(QStringLiteral("FormOptions"));
    setWindowTitle(tr("Options"));
    auto* column = new QVBoxLayout(this);
    PageControlOptions = new QTabWidget(this);
    PageControlOptions->setObjectName(QStringLiteral("PageControlOptions"));
    PageControlOptions->setUsesScrollButtons(false);
    const std::pair<QWidget* (TFormOptions::*)(), QString> pages[] = {
        {&TFormOptions::BuildFilePage, tr("&File")},
        {&TFormOptions::BuildAdvancedPage, tr("&Advanced")},
        {&TFormOptions::BuildSilencePage, tr("&Silence")},
        {&TFormOptions::BuildSilence2Page, tr("Silence2")},
        {&TFormOptions::BuildVolumePage, tr("&Volume")},
        {&TFormOptions::BuildPreviewPage, tr("&Preview")},
        {&TFormOptions::BuildId3Page, tr("ID&3 tag")},
        {&TFormOptions::BuildCuePage, tr("Cue")},
        {&TFormOptions::BuildBatchPage, tr("&Batch")},
        {&TFormOptions::BuildBatch2Page, tr("Batch2")}};
    for (const auto& [build, caption] : pages)
        PageControlOptions->addTab((this->*build)(), caption);
    column->addWidget(PageControlOptions);
    auto* buttons = new QHBoxLayout;
    ButtonOK = new QPushButton(tr("&Ok"), this);
    ButtonCancel = new QPushButton(tr("&Cancel"), this);
    ButtonResetDefaults = new QPushButton(tr("&Reset defaults"), this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonResetDefaults->setObjectName(QStringLiteral("ButtonResetDefaults"));
    ButtonOK->setDefault(true);
    buttons->addWidget(ButtonResetDefaults);
    buttons->addStretch(1);
    buttons->addWidget(ButtonOK);
    buttons->addWidget(ButtonCancel);
    column->addLayout(buttons);
    ConnectRules();
}

void TFormOptions::ConnectRules() {
    connect(ButtonOK, &QPushButton::clicked, this, &TFormOptions::ButtonOKClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ButtonResetDefaults, &QPushButton::clicked, this,
            &TFormOptions::ButtonResetDefaultsClick);
    connect(ButtonLanguage, &QPushButton::clicked, this, [this] {
        if (m_openLanguage)
            m_openLanguage();
    });
    for (QRadioButton* b : {RadioButtonID3Remove, RadioButtonID3Keep, RadioButtonID3recreate})
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                RadioButtonID3Click();
        });
    for (int i = 0; i < 6; ++i)
        connect(m_updateBoxes[i], &QCheckBox::stateChanged, this,
                [this, i] { UpdateBoxClick(m_updateBoxes[i], m_updateInputs[i]); });
    connect(RadioGroupPreviewMode, &TRadioGroup::clicked, this,
            &TFormOptions::RadioGroupPreviewModeClick);
    const std::pair<const char*, void (TFormOptions::*)()> boxes[] = {
        {"CheckBoxWindowSilenceDetection", &TFormOptions::CheckBoxWindowSilenceDetectionClick},
        {"CheckBoxBatchCreateThumbnail", &TFormOptions::CheckBoxBatchCreateThumbnailClick},
        {"CheckBoxProcessSubfolders", &TFormOptions::CheckBoxProcessSubfoldersClick},
        {"CheckBoxProcessOnly", &TFormOptions::CheckBoxProcessOnlyClick},
        {"CheckBoxBatchCreateLOG", &TFormOptions::CheckBoxBatchCreateLOGClick},
        {"CheckBatchBoxStopOnError", &TFormOptions::CheckBatchBoxStopOnErrorClick}};
    for (const auto& [name, handler] : boxes) {
        connect(findChild<QCheckBox*>(QLatin1String(name)), &QCheckBox::toggled, this, handler);
        (this->*handler)();
    }
    connect(findChild<QComboBox*>(QStringLiteral("ComboBoxLengthThumbnail")), &QComboBox::activated,
            this, &TFormOptions::ComboBoxLengthThumbnailChange);
    for (const char* name : {"TrackBarBatchFadeIn", "TrackBarBatchFadeOut"}) {
        QSlider* bar = findChild<QSlider*>(QLatin1String(name));
        connect(bar, &QSlider::valueChanged, this, [this, bar] { TrackBarBatchFadeChange(bar); });
        TrackBarBatchFadeChange(bar);
    }
}

void TFormOptions::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TFormOptions::FormShow() {
    for (const OptionBinding& b : OptionBindings()) {
        QObject* control = findChild<QObject*>(QLatin1String(b.name));
        if (b.kind == OptionKind::Text) {
            if (auto* edit = qobject_cast<QLineEdit*>(control))
                edit->setText(QString::fromStdString(GetText(m_settings, b)));
            continue;
        }
        const std::int32_t value = GetStoredInt(m_settings, b);
        if (auto* box = qobject_cast<QCheckBox*>(control))
            box->setCheckState(b.kind == OptionKind::ThreeState
                                   ? static_cast<Qt::CheckState>(std::clamp(value, 0, 2) == 1 ? 2
                                                                 : value == 2                 ? 1
                                                                                              : 0)
                                   : (value != 0 ? Qt::Checked : Qt::Unchecked));
        else if (auto* bar = qobject_cast<QSlider*>(control))
            bar->setValue(value);
        else if (auto* spin = qobject_cast<TSpinEdit*>(control))
            spin->setValue(b.kind == OptionKind::Number && value == 0 &&
                                   std::string_view(b.name) == "SpinEditID3Year"
                               ? -1
                               : value);
        else if (auto* combo = qobject_cast<QComboBox*>(control);
                 combo && combo != ComboBoxID3Genre)
            combo->setCurrentIndex(value >= 0 && value < combo->count() ? value : -1);
    }
    QRadioButton* const modes[] = {RadioButtonID3Remove, RadioButtonID3Keep,
                                   RadioButtonID3recreate};
    const int mode = m_settings.RadioButtonID3Remove;
    if (mode <= 2) {
        modes[mode]->setChecked(true);
        if (PageControlOptions->currentWidget() == TabSheetID3)
            modes[mode]->setFocus();
    } else {
        for (QRadioButton* b : modes)
            b->setAutoExclusive(false), b->setChecked(false), b->setAutoExclusive(true);
    }
    RadioButtonID3Click();
    const int genre = m_settings.ComboBoxID3Genre;
    ComboBoxID3Genre->setCurrentIndex(genre <= 147 && m_genreOrder.positionOf[genre] >= 0
                                          ? m_genreOrder.positionOf[genre] + 1
                                          : -1);
    RadioGroupTrimAggressivity->setItemIndex(m_settings.RadioGroupTrimAggressivity);
    RadioGroupCueSplit->setItemIndex(m_settings.RadioGroupCueSplit);
    RadioGroupPreviewPlaysWhat->setItemIndex(m_settings.RadioGroupPreviewPlaysWhat ? 1 : 0);
    RadioGroupPreviewMode->setItemIndex(m_settings.RadioGroupPreviewMode ? 0 : 1);
    RadioGroupPreviewModeClick();
}

void TFormOptions::CopyControlsToFields() {
    for (const OptionBinding& b : OptionBindings()) {
        QObject* control = findChild<QObject*>(QLatin1String(b.name));
        if (b.kind == OptionKind::Text) {
            if (auto* edit = qobject_cast<QLineEdit*>(control))
                SetText(m_settings, b, CutText(edit->text().toStdString(), kMaxStoredText));
            continue;
        }
        if (auto* box = qobject_cast<QCheckBox*>(control)) {
            const Qt::CheckState state = box->checkState();
            SetStoredInt(m_settings, b,
                         b.kind == OptionKind::ThreeState ? (state == Qt::Checked            ? 1
                                                             : state == Qt::PartiallyChecked ? 2
                                                                                             : 0)
                                                          : (state == Qt::Checked ? -1 : 0));
        } else if (auto* bar = qobject_cast<QSlider*>(control)) {
            SetStoredInt(m_settings, b, bar->value());
        } else if (auto* spin = qobject_cast<TSpinEdit*>(control)) {
            spin->commit();
            SetStoredInt(m_settings, b, std::max(spin->value(), 0));
        } else if (auto* combo = qobject_cast<QComboBox*>(control);
                   combo && combo != ComboBoxID3Genre) {
            SetStoredInt(m_settings, b, combo->currentIndex());
        }
    }
    if (RadioButtonID3Remove->isChecked())
        m_settings.RadioButtonID3Remove = 0;
    else if (RadioButtonID3Keep->isChecked())
        m_settings.RadioButtonID3Remove = 1;
    else if (RadioButtonID3recreate->isChecked())
        m_settings.RadioButtonID3Remove = 2;
    else // a stored mode the window cannot show: the default, keep the tag
        m_settings.RadioButtonID3Remove = 1;
    const int item = ComboBoxID3Genre->currentIndex();
    m_settings.ComboBoxID3Genre =
        static_cast<std::uint8_t>(item < 1 ? kNoGenre : m_genreOrder.genreAt[item - 1]);
    m_settings.RadioGroupTrimAggressivity = RadioGroupTrimAggressivity->itemIndex();
    m_settings.RadioGroupCueSplit = RadioGroupCueSplit->itemIndex();
    m_settings.RadioGroupPreviewPlaysWhat = RadioGroupPreviewPlaysWhat->itemIndex() == 1;
    m_settings.RadioGroupPreviewMode = RadioGroupPreviewMode->itemIndex() == 0;
}

void TFormOptions::ButtonOKClick() {
    // The window's values pass the same check as every other way in; a refused one is never used.
    const Settings before = m_settings;
    CopyControlsToFields();
    if (const std::vector<std::string> refused = RefusedFields(m_settings); !refused.empty()) {
        m_settings = before;
        if (m_reportError)
            m_reportError(QString::fromUtf8(refused.front().c_str()));
        return;
    }
    try {
        if (m_writeStore)
            m_writeStore(m_settings);
    } catch (const std::exception& e) {
        if (m_reportError)
            m_reportError(QString::fromUtf8(e.what()));
        return;
    }
    accept();
}

void TFormOptions::ButtonResetDefaultsClick() {
    LoadDefaults(m_settings);
    FormShow();
}

void TFormOptions::RadioButtonID3Click() {
    const bool enabled = !RadioButtonID3Remove->isChecked();
    for (QCheckBox* box : m_updateBoxes)
        box->setEnabled(enabled);
    for (const int i : {5, 4, 3, 2, 1, 0})
        UpdateBoxClick(m_updateBoxes[i], m_updateInputs[i]);
}

void TFormOptions::UpdateBoxClick(QCheckBox* box, QWidget* input) {
    const bool enabled = box->isEnabled() && box->checkState() != Qt::Unchecked;
    input->setEnabled(enabled);
    input->setBackgroundRole(enabled ? QPalette::Base : QPalette::Button);
    if (enabled && box->hasFocus())
        input->setFocus();
}

void TFormOptions::RadioGroupPreviewModeClick() {
    CheckBoxStickyPreviewButtons->setEnabled(RadioGroupPreviewMode->itemIndex() == 0);
}

bool TFormOptions::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ComboBoxID3Genre && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        ComboBoxID3Genre->setCurrentIndex(-1);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
