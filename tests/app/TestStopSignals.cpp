#include "EditorTestUtil.h"

#include "TSpinEdit.h"
#include "UnitSaveJournal.h"
#include "UnitStopSignals.h"

#include <csignal>

using namespace velmora;
using namespace velmora::test;

namespace {

class StopSignalTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        settings.CheckBoxCloseAfterSave = false;
        settings.CheckBoxAskBeforeExiting = true;
        settings.CheckBoxExactCut = false; // the frame cut's bytes are the reference
    }
    void TearDown() override {
        SetSaveRecordedHook({});
        EditorTest::TearDown();
    }
    // Opens a copy of the frames under `name` and saves it in place with 100 frames cut.
    std::string OpenAndSave(const std::string& name) {
        const std::string path = files.File(name);
        WriteFile(path, QuietFrames(3000));
        Open(path);
        EXPECT_TRUE(window->FileIsOpen());
        Get<TSpinEdit>("SpinEditBeginF")->setValue(100);
        Menu("MenuSave")->trigger();
        return path;
    }
};

} // namespace

TEST_F(StopSignalTest, TermHupAndIntCloseTheWindowOnceTheSaveUnderWayIsWritten) {
    Show();
    const std::vector<std::uint8_t> saved = ReadFile(OpenAndSave("reference.mp3"));
    ASSERT_EQ(saved.size(), QuietFrames(2900).size());
    window->close();
    dialogs.questions = 0;

    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        Show();
        StopSignals stop;
        QObject::connect(&stop, &StopSignals::Arrived, window.get(),
                         [this](int) { window->CloseOnStopSignal(); });
        // Delivered once the save is recorded, before its first byte moves.
        SetSaveRecordedHook([signal] { std::raise(signal); });
        const std::string path = OpenAndSave("file" + std::to_string(signal) + ".mp3");
        SetSaveRecordedHook({});
        EXPECT_TRUE(WaitUntil([&] { return !window->isVisible(); })) << signal;
        EXPECT_EQ(stop.Received(), signal);
        EXPECT_EQ(ReadFile(path), saved) << signal;
        EXPECT_EQ(dialogs.questions, 0) << "no exit question for a signal";
        EXPECT_TRUE(dialogs.Texts(IDialogs::Kind::Error).empty());
    }
}
