#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QTabWidget;
class TUrlLabel;

namespace velmora {
class IShell;
inline constexpr const char* kProductName = "Velmora";
inline constexpr const char* kVersionText = "2.20";
inline constexpr const char* kWebPageUrl = "https://velmora.example.org/";
inline constexpr const char* kMailAddress = "velmora@example.org";
} // namespace velmora

// The About box: title, version, description, disclaimer and the two links.
class TFormAbout final : public QDialog {
    Q_OBJECT

public:
    TFormAbout(velmora::IShell& shell, QWidget* parent = nullptr);

private:
    QLabel* PanelTitle = nullptr;
    QTabWidget* PageControl = nullptr;
    QPlainTextEdit* MemoDescription = nullptr;
    QPlainTextEdit* MemoDisclaimer = nullptr;
    TUrlLabel* UrlLabelMainURL = nullptr;
    TUrlLabel* Url_email = nullptr;
};
