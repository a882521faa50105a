// The trimming controls: four quantities in frames and in time, kept in step, and what they cost.
#include "UnitMain.h"

#include "TSpinEdit.h"
#include "TTimeEdit.h"
#include "UnitMP3.h"
#include "UnitTrimCascade.h"
#include "Unit_MP3_RIFF.h"

#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

using namespace velmora;

namespace {

enum Quantity { kBegin = 0, kEnd = 1, kEndPosition = 2, kDuration = 3 };

unsigned BitOf(int quantity) {
    return 1u << quantity;
}

} // namespace

void TFormMain::ConnectTrimControls() {
    const TSpinEdit* frames[] = {SpinEditBeginF, SpinEditEndF, SpinEditEndP, SpinEditDuration};
    const TTimeSpin* times[] = {TimeSpinBeginS, TimeSpinEndS, TimeSpinEndP, TimeSpinDuration};
    for (int q = 0; q < 4; ++q) {
        connect(frames[q], &TSpinEdit::valueChanged, this,
                [this, q] { RunCommand([this, q] { FrameControlChange(q); }); });
        connect(times[q], &TTimeSpin::changed, this,
                [this, q] { RunCommand([this, q] { TimeControlChange(q); }); });
    }
    connect(ButtonTrimSilence, &QPushButton::clicked, this,
            [this] { RunCommand([this] { ButtonTrimSilenceClick(); }); });
}

// SpinEditBeginSChange, SpinEditEndSChange, TimeSpinEndPChange, TimeSpinDurationChange.
void TFormMain::TimeControlChange(int quantity) {
    if ((m_trimSyncGuard & BitOf(quantity)) != 0 || !Allowed(EditorCommand::EditTrim))
        return;
    TTimeSpin* times[] = {TimeSpinBeginS, TimeSpinEndS, TimeSpinEndP, TimeSpinDuration};
    TSpinEdit* frames[] = {SpinEditBeginF, SpinEditEndF, SpinEditEndP, SpinEditDuration};
    frames[quantity]->setValue(TrimFieldFrames(m_info->firstHeader, times[quantity]->value()));
}

// SpinEditBeginFChange, SpinEditEndFChange, SpinEditEndPChange, SpinEditDurationChange.
void TFormMain::FrameControlChange(int quantity) {
    if (!Allowed(EditorCommand::EditTrim))
        return;
    TSpinEdit* frames[] = {SpinEditBeginF, SpinEditEndF, SpinEditEndP, SpinEditDuration};
    TTimeSpin* times[] = {TimeSpinBeginS, TimeSpinEndS, TimeSpinEndP, TimeSpinDuration};
    const unsigned bit = BitOf(quantity);
    // Restored, not cleared, at the end: while the open or close half sets the fields every bit
    // stays set.
    const unsigned before = m_trimSyncGuard;
    m_trimSyncGuard |= bit;
    const int v = frames[quantity]->value();
    if (v >= 0)
        times[quantity]->setValue(TrimFieldSeconds(m_info->firstHeader, v));
    RefreshTimeReadouts();
    if (quantity == kBegin)
        ShowBeginTime();

    // Only the field the user changed moves the others; their own changes come back guarded.
    if (v >= 0 && m_trimSyncGuard == bit) {
        const TrimFieldValues shown = {frames[0]->value(), frames[1]->value(), frames[2]->value(),
                                       frames[3]->value()};
        for (const TrimFieldSet& set : TrimCascade(static_cast<TrimQuantity>(quantity), shown,
                                                   TrimFieldTotal(m_info->frameCount)))
            frames[static_cast<int>(set.quantity)]->setValue(set.frames);
        UpdateDiskSpaceSavingDisplay();
    }
    m_trimSyncGuard = before;
}

// The time controls follow frame counts that were set while every bit of the guard was up.
void TFormMain::SyncTimeControls() {
    if (!m_info)
        return;
    const TSpinEdit* frames[] = {SpinEditBeginF, SpinEditEndF, SpinEditEndP, SpinEditDuration};
    TTimeSpin* times[] = {TimeSpinBeginS, TimeSpinEndS, TimeSpinEndP, TimeSpinDuration};
    for (int q = 0; q < 4; ++q)
        if (frames[q]->value() >= 0)
            times[q]->setValue(TrimFieldSeconds(m_info->firstHeader, frames[q]->value()));
}

// The mp3PRO warning, once per file, after the change handler has returned.
void TFormMain::ShowBeginTime() {
    if (SpinEditBeginF->value() <= 0 || !m_info || !m_info->mp3Pro ||
        !m_settings.CheckBoxWarnWhenTrimBeginning_mp3PRO || m_mp3ProWarned)
        return;
    m_mp3ProWarned = true;
    QTimer::singleShot(0, this, [this] {
        m_dialogs.Message(
            this, IDialogs::Kind::Warning, QStringLiteral("Velmora"),
            QString::fromStdString(MessageTable::Join(m_messages.MessageDlg_mp3PROwarning)));
    });
}

bool TFormMain::CurrentOutputIsWav() const {
    return m_info && OutputIsWav(m_settings, m_info->firstHeader.layerId, m_saveAsTypeOverride);
}

void TFormMain::UpdateDiskSpaceSavingDisplay() {
    if (!FileIsOpen())
        return;
    TrimPoints trim{SpinEditBeginF->value(), SpinEditEndF->value()};
    // A typed count not yet committed can remove more than there is: no plan for that.
    if (trim.beginFrames + trim.endFrames > m_info->frameCount)
        trim = {-1, -1};
    const std::string separator = QLocale::system().decimalPoint().toStdString();
    PlanOptions options = SavePlanOptions(CurrentOutputIsWav());
    options.decimalSeparator = separator;
    m_plan = ComputeOutputPlan(*m_info, trim, m_settings, options);
    LabelSpaceSaved->setText(QString::fromStdString(m_plan.LabelSpaceSaved));
    LabelTimeRemain->setText(QString::fromStdString(m_plan.LabelTimeRemain));
}

std::optional<TrimPoints> TFormMain::CommittedTrimPoints() {
    if (!FileIsOpen())
        return std::nullopt;
    TSpinEdit* fields[] = {SpinEditBeginF, SpinEditEndF, SpinEditEndP, SpinEditDuration};
    // The field being typed in first: its number is the latest word.
    for (TSpinEdit* field : fields)
        if (field->isAncestorOf(QApplication::focusWidget()))
            field->commit();
    for (TSpinEdit* field : fields)
        field->commit();
    const TrimPoints trim{SpinEditBeginF->value(), SpinEditEndF->value()};
    if (trim.beginFrames < 0 || trim.endFrames < 0 ||
        trim.beginFrames + trim.endFrames > m_info->frameCount)
        return std::nullopt;
    return trim;
}

void TFormMain::ButtonTrimSilenceClick() {
    if (!Allowed(EditorCommand::TrimSilence))
        return;
    const std::optional<TrimPoints> trim = AutoTrim(
        *m_info, m_settings, OperationBusy() ? OperationState::Busy : OperationState::Idle);
    if (!trim)
        return;
    SpinEditBeginF->setValue(
        static_cast<int>(std::min<std::int64_t>(trim->beginFrames, INT32_MAX)));
    SpinEditEndF->setValue(static_cast<int>(std::min<std::int64_t>(trim->endFrames, INT32_MAX)));
}

// F5: the end point moves onto the begin point. False when refused.
bool TFormMain::EndOntoBegin() {
    if (!Allowed(EditorCommand::EndOntoBegin))
        return false;
    SpinEditBeginF->commit();
    const int begin = SpinEditBeginF->value();
    if (begin < 0)
        return false;
    SpinEditEndF->setValue(std::max(0, TrimFieldTotal(m_info->frameCount) - begin));
    return true;
}
