#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QTabWidget;
class QTreeWidget;

namespace velmora {
struct InformationTexts;
struct TagPageTexts;
} // namespace velmora

// The pages behind "Advanced info...": frames, header inconsistencies, both tags and the places
// of missing frame headers, and the chapters.
class TFormAdvancedInfo final : public QDialog {
    Q_OBJECT

public:
    explicit TFormAdvancedInfo(QWidget* parent = nullptr);
    void ShowInformation(const velmora::InformationTexts& texts);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void KeepOneHeight();
    QWidget* BuildFramesPage();
    QWidget* BuildErrorsPage();
    QWidget* BuildTagPage(const char* version);
    QWidget* BuildMissingPage();
    QWidget* BuildChaptersPage();
    QLabel* Value(const char* name, const char* caption, QWidget* page);
    void ShowTagPage(const char* version, const velmora::TagPageTexts& page);

    QTabWidget* PageControl = nullptr;
    QLabel* LabelNumberMissingFH = nullptr;
    QLabel* LabelLastFrameIncomplete = nullptr;
    QLabel* LabelFirstFrameMissing = nullptr;
    QLabel* LabelNumberFH = nullptr;
    QLabel* LabelWAVembedded = nullptr;
    QLabel* LabelFirstFrameInvalid = nullptr;
    QLabel* LabelNumberAverageBitrate = nullptr;
    QListWidget* ListBoxInconsistent = nullptr;
    QListWidget* ListBoxMissingFH = nullptr;
    QTreeWidget* ListViewChapters = nullptr;
    QListWidget* ListBoxTagNotes = nullptr;
};
