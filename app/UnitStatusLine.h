#pragma once

#include <QLabel>
#include <QString>

#include <array>
#include <string>

namespace velmora {
class IniFile;
}

// The line at the bottom of the main window that tells what the last command wrote and where.
// It keeps its whole text (also its hint and its accessible name) and shows as much as fits,
// shortened in the middle.
class TStatusLine final : public QLabel {
    Q_OBJECT

public:
    enum class Written { Saved, Unchanged, CueSheet, Tracks };

    explicit TStatusLine(QWidget* parent = nullptr);

    // `what` is a file name or a count, `where` a folder.
    void ShowWritten(Written kind, const QString& what, const QString& where);
    void Clear();
    const QString& FullText() const { return m_text; }

    // The translatable texts, keys "Status..." in the main window's section.
    void ReadTexts(const velmora::IniFile& ini);
    void WriteTexts(velmora::IniFile& ini) const;

    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Elide();

    QString m_text;
    std::array<QString, 4> m_templates;
};
