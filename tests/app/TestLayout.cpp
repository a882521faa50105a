#include "EditorTestUtil.h"

#include "UnitAdvancedInfo.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QTabWidget>
#include <QTreeView>

#include <filesystem>

using namespace velmora;
using namespace velmora::test;

namespace {

std::string Shipped(const char* language) {
    return std::string(VELMORA_TEST_DATA_DIR) + "/../../languages/" + language + ".Velmora.ini";
}

} // namespace

// The advanced information keeps one height whichever page is chosen, in English and German.
TEST_F(EditorTest, AdvancedInformationKeepsOneHeightOnEveryPage) {
    const std::string path = files.File("a.mp3");
    WriteFile(path, QuietFrames(200));
    Show();
    Open(path);
    TFormAdvancedInfo* info = window->AdvancedInfo();
    auto* pages = Find<QTabWidget>(info, "PageControl");
    for (const char* language : {"", "German"}) {
        SCOPED_TRACE(language);
        if (*language)
            window->LoadLanguageFile(Shipped(language));
        info->show();
        std::vector<int> heights;
        for (int i = 0; i < pages->count(); ++i) {
            pages->setCurrentIndex(i);
            QCoreApplication::processEvents();
            heights.push_back(info->height());
        }
        info->hide();
        EXPECT_EQ(std::count(heights.begin(), heights.end(), heights.front()),
                  static_cast<long>(heights.size()))
            << ::testing::PrintToString(heights);
    }
}

// The Save As dialog opens wide enough for its size and type columns to show their texts whole.
TEST(FileDialogs, TheSaveDialogShowsItsColumnsWhole) {
    TempDir dir;
    const std::string big = dir.File("A recording of a whole evening of music.mp3");
    WriteFile(big, {});
    std::filesystem::resize_file(big, 57'000'000); // "54.4 MiB"
    IDialogs::FileRequest request;
    request.title = QStringLiteral("Save As");
    request.folder = QString::fromStdString(dir.path());
    request.filters = {QStringLiteral("MP3 files (*.mp3)"),
                       QStringLiteral("WAV embedded MP3 files (*.wav)")};
    request.selected = QStringLiteral("A recording (trimmed).mp3");
    QFileDialog dialog(nullptr, request.title, request.folder);
    PrepareFileDialog(dialog, request, QFileDialog::AcceptSave);
    dialog.show();
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    ASSERT_NE(view, nullptr);
    auto* model = qobject_cast<QFileSystemModel*>(view->model());
    ASSERT_NE(model, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return model->rowCount(view->rootIndex()) == 1; }));
    QCoreApplication::processEvents();
    const QModelIndex row = model->index(0, 0, view->rootIndex());
    for (int column : {1, 2}) {
        SCOPED_TRACE(column);
        const QString text = model->index(row.row(), column, view->rootIndex()).data().toString();
        ASSERT_FALSE(text.isEmpty());
        const int needed = view->fontMetrics().horizontalAdvance(text);
        EXPECT_GE(view->header()->sectionSize(column), needed) << text.toStdString();
    }
}

// The time/frame page box is as wide as its fields need, however wide longer captions make the
// window.
TEST_F(EditorTest, TheTrimPageBoxIsSizedFromItsContent) {
    Show();
    auto* pages = Get<QTabWidget>("PageControlTrim");
    for (const char* language : {"", "German", "French"}) {
        SCOPED_TRACE(language);
        if (*language)
            window->LoadLanguageFile(Shipped(language));
        QCoreApplication::processEvents();
        EXPECT_LE(pages->width(), pages->sizeHint().width() + 4); // a pixel or two of rounding
    }
}
