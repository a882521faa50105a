#include "EditorTestUtil.h"

#include "UnitBatchWindow.h"

#include <QTest>

#include <filesystem>

using namespace velmora;
using namespace velmora::test;

namespace {

class BatchCommandTest : public EditorTest {
protected:
    // a and c are text, not MPEG; b and d are tones.
    void MakeFolder() {
        for (const char* name : {"a_notes.mp3", "c_notes.mp3"})
            WriteFile(files.File(name), {'n', 'o', 't', 'e', 's', '\n'});
        LameTone(files.File("b_tone.mp3"), 8000);
        LameTone(files.File("d_tone.mp3"), 8000);
    }
};

TEST_F(BatchCommandTest, AbortAndIgnoreAnswerTheErrorsAndTheOpenFileIsLeftOut) {
    MakeFolder();
    const struct {
        bool stopOnError;
        std::deque<bool> aborts;
        std::vector<const char*> asked;
        const char* summary;
    } cases[] = {
        {false,
         {false, true},
         {"a_notes.mp3", "c_notes.mp3"},
         "processed 0, changed 0, skipped 1, failed 2, not processed 1"},
        {true, {}, {}, "processed 0, changed 0, skipped 0, failed 1, not processed 3"},
    };
    Show();
    Open(files.File("b_tone.mp3"));
    ASSERT_TRUE(window->FileIsOpen());
    const std::vector<std::uint8_t> tone = ReadFile(files.File("d_tone.mp3"));
    for (const auto& c : cases) {
        settings.CheckBatchBoxStopOnError = c.stopOnError;
        dialogs.abortIgnoreTexts.clear();
        dialogs.messages.clear();
        dialogs.aborts = c.aborts;
        dialogs.batchPaths.push_back({QString::fromStdString(files.path())});
        Menu("MenuBatch")->trigger();
        ASSERT_EQ(dialogs.abortIgnoreTexts.size(), c.asked.size()) << c.stopOnError;
        for (std::size_t i = 0; i < c.asked.size(); ++i) {
            EXPECT_TRUE(dialogs.abortIgnoreTexts[i].contains(QLatin1String(c.asked[i])));
            EXPECT_TRUE(dialogs.abortIgnoreTexts[i].contains(QLatin1String("'Abort'")));
        }
        const std::vector<QString> info = dialogs.Texts(IDialogs::Kind::Information);
        ASSERT_EQ(info.size(), 1u);
        EXPECT_EQ(info[0].toStdString(), c.summary);
        EXPECT_FALSE(Find<TFormBatch>(window.get(), "FormBatch")->isVisible());
        EXPECT_FALSE(window->OperationBusy());
    }
    EXPECT_EQ(ReadFile(files.File("d_tone.mp3")), tone);
    EXPECT_TRUE(window->FileIsOpen());
}

TEST_F(BatchCommandTest, ControlBStartsItAndALogThatCannotBeCreatedStopsTheStart) {
    MakeFolder();
    settings.CheckBoxBatchCreateLOG = true;
    std::filesystem::create_directory(config.File("Velmora.batch.log"));
    Show();
    dialogs.batchPaths.push_back({QString::fromStdString(files.File("b_tone.mp3"))});
    QTest::keyClick(window.get(), Qt::Key_B, Qt::ControlModifier);
    EXPECT_TRUE(dialogs.batchPaths.empty());
    const std::vector<QString> errors = dialogs.Texts(IDialogs::Kind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].startsWith(QLatin1String("Error creating LOG file")))
        << errors[0].toStdString();
    EXPECT_TRUE(dialogs.Texts(IDialogs::Kind::Information).empty());
    // Cancelled: nothing runs.
    Menu("MenuBatch")->trigger();
    EXPECT_TRUE(dialogs.Texts(IDialogs::Kind::Information).empty());
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

} // namespace
