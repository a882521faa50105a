#include "EditorTestUtil.h"

#include <QComboBox>
#include <QFileDialog>
#include <QTimer>

using namespace velmora;
using namespace velmora::test;

TEST(DialogFilters, StoredFormBecomesQtNameFilters) {
    const struct {
        const char* stored;
        QStringList filters;
    } cases[] = {
        {"MP3 files (*.mp3)|*.mp3|WAV embedded MP3 files (*.wav)|*.wav",
         {"MP3 files (*.mp3)", "WAV embedded MP3 files (*.wav)"}},
        {"MPEG files (*.mpg;*.mpeg)|*.mpg;*.mpeg|Any file (*.*)|*.*",
         {"MPEG files (*.mpg *.mpeg)", "Any file (*)"}},
        // A translation that leaves the patterns out of the name, and one with a stray last item.
        {"Fichiers MP3|*.mp3|Fichiers WAV|*.wav|",
         {"Fichiers MP3 (*.mp3)", "Fichiers WAV (*.wav)"}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NameFiltersFromText(QString::fromLatin1(c.stored)), c.filters) << c.stored;
}

// Qt's own save dialog: picking the other type renames the file in it while it is open, and the
// type chosen at the end is reported.
TEST(DialogFilters, SaveDialogRenamesOnATypeChange) {
    TempDir dir;
    IDialogs::FileRequest request;
    request.folder = QString::fromStdString(dir.path());
    request.filters = NameFiltersFromText(
        QStringLiteral("MP3 files (*.mp3)|*.mp3|WAV embedded MP3 files (*.wav)|*.wav"));
    request.selected = QStringLiteral("Song (3m 25s).mp3");
    request.filterChanged = [](const QString& name, int filter) {
        return name.left(name.lastIndexOf(QLatin1Char('.'))) +
               (filter == 1 ? QStringLiteral(".wav") : QStringLiteral(".mp3"));
    };
    int chosen = -1;
    request.chosenFilter = &chosen;
    QString shownAfterPick;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(types, nullptr);
        types->setCurrentIndex(1);
        emit types->activated(1);
        shownAfterPick = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept, as the Save button does
    });
    QtDialogs dialogs;
    const std::optional<QString> path = dialogs.SaveFile(nullptr, request);
    EXPECT_EQ(shownAfterPick, QStringLiteral("Song (3m 25s).wav"));
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(*path, request.folder + QStringLiteral("/Song (3m 25s).wav"));
    EXPECT_EQ(chosen, 1);
}
