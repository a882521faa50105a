#pragma once

#include "UnitOptions.h"

#include <QDialog>

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTabWidget;
class QVBoxLayout;
class TRadioGroup;
class TSpinEdit;

namespace velmora {

// Genre numbers in list order, sorted by name comparing bytes (upper case before lower case),
// and each number's list position (-1 beyond the table).
struct GenreSortOrder {
    std::vector<int> genreAt;        // list position -> genre number
    std::array<int, 256> positionOf; // genre number -> list position or -1
};
GenreSortOrder SortGenres(const std::vector<std::string>& names);

} // namespace velmora

// The Options window: shows the option set, and on OK copies the controls back and writes the
// settings store.
class TFormOptions final : public QDialog {
    Q_OBJECT

public:
    TFormOptions(velmora::Settings& settings, std::vector<std::string> genreNames,
                 QWidget* parent = nullptr);

    // Where OK writes the option set; a failure is passed to `reportError` and the window stays.
    void setStoreWriter(std::function<void(const velmora::Settings&)> write) {
        m_writeStore = std::move(write);
    }
    void setErrorReporter(std::function<void(const QString&)> report) {
        m_reportError = std::move(report);
    }
    // What ButtonLanguage opens.
    void setLanguageAction(std::function<void()> open) { m_openLanguage = std::move(open); }

    // Copies the fields into the controls (also run by Reset defaults).
    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Construction (UnitOptionsLayout.cpp).
    QWidget* BuildFilePage();
    QWidget* BuildAdvancedPage();
    QWidget* BuildSilencePage();
    QWidget* BuildSilence2Page();
    QWidget* BuildVolumePage();
    QGroupBox* BuildLoudnessGroup(QWidget* page);
    QWidget* BuildPreviewPage();
    QWidget* BuildId3Page();
    QWidget* BuildCuePage();
    QWidget* BuildBatchPage();
    QWidget* BuildBatch2Page();
    QWidget* NewPage(const char* name, QVBoxLayout*& column);
    QCheckBox* Check(QVBoxLayout* column, const char* name, const QString& caption);
    QLabel* Note(QVBoxLayout* column, const char* name, const QString& text);
    void ConnectRules();

    void ButtonOKClick();
    void ButtonResetDefaultsClick();
    void CopyControlsToFields();
    void RadioButtonID3Click();
    void UpdateBoxClick(QCheckBox* box, QWidget* input);
    void RadioGroupPreviewModeClick();
    void CheckBoxWindowSilenceDetectionClick();
    void CheckBoxBatchCreateThumbnailClick();
    void ComboBoxLengthThumbnailChange();
    void CheckBoxProcessSubfoldersClick();
    void CheckBoxProcessOnlyClick();
    void CheckBoxBatchCreateLOGClick();
    void CheckBatchBoxStopOnErrorClick();
    void TrackBarBatchFadeChange(QSlider* bar);
    bool eventFilter(QObject* watched, QEvent* event) override;

    velmora::Settings& m_settings;
    std::vector<std::string> m_genreNames;
    velmora::GenreSortOrder m_genreOrder;
    std::function<void(const velmora::Settings&)> m_writeStore;
    std::function<void(const QString&)> m_reportError;
    std::function<void()> m_openLanguage;

    QTabWidget* PageControlOptions = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QPushButton* ButtonResetDefaults = nullptr;
    QPushButton* ButtonLanguage = nullptr;
    QRadioButton* RadioButtonID3Remove = nullptr;
    QRadioButton* RadioButtonID3Keep = nullptr;
    QRadioButton* RadioButtonID3recreate = nullptr;
    std::array<QCheckBox*, 6> m_updateBoxes{}; // track, artist, album, year, genre, comment
    std::array<QWidget*, 6> m_updateInputs{};
    QComboBox* ComboBoxID3Genre = nullptr;
    TSpinEdit* SpinEditID3Year = nullptr;
    TRadioGroup* RadioGroupTrimAggressivity = nullptr;
    TRadioGroup* RadioGroupCueSplit = nullptr;
    TRadioGroup* RadioGroupPreviewPlaysWhat = nullptr;
    TRadioGroup* RadioGroupPreviewMode = nullptr;
    QCheckBox* CheckBoxStickyPreviewButtons = nullptr;
    QWidget* TabSheetID3 = nullptr;
    QWidget* TabSheetSilence2 = nullptr;
    QWidget* TabSheetPreview = nullptr;
};
