#include "EditorTestUtil.h"
#include "LevelSteps.h"

#include "TSpinEdit.h"
#include "TTimeEdit.h"
#include "UnitWaveformPanel.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <atomic>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;

namespace {

class WaveformPanelTest : public EditorTest {
protected:
    void OpenSteps(WaveformWorkerHooks hooks = {}) {
        path = files.File("steps.mp3");
        MakeLevelSteps(path);
        if (!window)
            Show();
        Panel()->SetWorkerHooks(std::move(hooks));
        Open(path);
        ASSERT_TRUE(window->FileIsOpen());
        total = window->Model()->frameCount;
    }
    TWaveformPanel* Panel() { return Get<TWaveformPanel>("GroupBoxWaveform"); }
    TWaveformView* View() { return Get<TWaveformView>("WaveformView"); }
    TSpinEdit* Field(const char* name) { return Get<TSpinEdit>(name); }
    // Every number and text the trim fields and their read-outs show.
    QStringList Shown() {
        QStringList out;
        for (const char* f : {"SpinEditBeginF", "SpinEditEndF", "SpinEditEndP", "SpinEditDuration"})
            out << QString::number(Field(f)->value());
        for (const char* l : {"LabelBeginTime", "LabelEndTime", "LabelEndP", "LabelDurationTime",
                              "LabelSpaceSaved", "LabelTimeRemain"})
            out << Get<QLabel>(l)->text();
        return out;
    }
    void Type(const char* field, std::int64_t frames) {
        QLineEdit* edit = Field(field)->lineEdit();
        edit->setFocus();
        edit->selectAll();
        edit->insert(QString::number(frames));
        QTest::keyClick(edit, Qt::Key_Return);
    }
    void Drag(int fromX, int toX) {
        QTest::mousePress(View(), Qt::LeftButton, {}, QPoint(fromX, 20));
        QTest::mouseMove(View(), QPoint(toX, 20));
        QTest::mouseRelease(View(), Qt::LeftButton, {}, QPoint(toX, 20));
    }

    std::string path;
    std::int64_t total = 0;
};

} // namespace

TEST_F(WaveformPanelTest, DraggedMarkersSetTheFieldsAsTypingDoesAndTypingMovesThem) {
    OpenSteps();
    const int width = View()->width();
    const struct {
        int fromX;
        int toX;
        const char* field;
        bool fromEnd;
    } drags[] = {{0, width / 4, "SpinEditBeginF", false},
                 {width - 1, width * 3 / 4, "SpinEditEndF", true}};
    for (const auto& d : drags) {
        Drag(d.fromX, d.toX);
        const std::int64_t at = View()->FrameAt(d.toX);
        const std::int64_t expected = d.fromEnd ? total - at : at;
        EXPECT_EQ(Field(d.field)->value(), expected) << d.field;
        const QStringList dragged = Shown();
        // The same number typed shows the same everywhere.
        Type(d.field, 0);
        Type(d.field, expected);
        EXPECT_EQ(Shown(), dragged) << d.field;
    }
    EXPECT_EQ(View()->Begin(), Field("SpinEditBeginF")->value());
    Type("SpinEditEndF", 40);
    Type("SpinEditBeginF", 7);
    EXPECT_EQ(View()->EndPosition(), total - 40);
    EXPECT_EQ(View()->Begin(), 7);
    // The time fields move them too, through the frame fields.
    Get<TTimeSpin>("TimeSpinBeginS")->setValue(1);
    EXPECT_EQ(View()->Begin(), SecondsToFrames(window->Model()->firstHeader, 1));
}

TEST_F(WaveformPanelTest, ViewMenuHidesThePanelAndTheWindowFitsWhatItShows) {
    Show();
    ASSERT_TRUE(WaitUntil([&] { return Panel()->isVisible(); }));
    // Every control of the window lies inside it.
    const auto clipped = [&] {
        QStringList out;
        for (QWidget* w : window->findChildren<QWidget*>())
            if (w->isVisible() && w->window() == window.get() &&
                !window->rect().contains(QRect(w->mapTo(window.get(), QPoint()), w->size())))
                out << QString::fromLatin1(w->metaObject()->className()) + w->objectName();
        return out;
    };
    EXPECT_TRUE(WaitUntil([&] { return clipped().isEmpty(); }))
        << clipped().join(u' ').toStdString();
    const int withPanel = window->height();
    QAction* item = Menu("MenuWaveform");
    EXPECT_TRUE(item->isChecked());
    for (const bool shown : {false, true}) {
        item->trigger();
        EXPECT_EQ(settings.MenuWaveform, shown);
        EXPECT_EQ(Panel()->isVisible(), shown);
        EXPECT_TRUE(WaitUntil([&] { return (window->height() < withPanel - 40) != shown; }));
        EXPECT_EQ(clipped(), QStringList()) << shown;
    }
}

TEST_F(WaveformPanelTest, CloseAutoAndAShrinkingFileStopTheWorker) {
    std::atomic<bool> paused{false};
    const auto pauseAt = [&](bool wait, std::function<void()> also = {}) {
        paused = false;
        return WaveformWorkerHooks{128,
                                   [&paused, also] {
                                       if (also)
                                           also();
                                       paused = true;
                                   },
                                   wait};
    };
    // Close while the worker decodes: it stops and its memory goes.
    OpenSteps(pauseAt(true));
    ASSERT_TRUE(WaitUntil([&] { return paused.load(); }));
    EXPECT_TRUE(Panel()->WorkerRunning());
    EXPECT_GT(Panel()->MemoryBytes(), 0);
    EXPECT_LE(Panel()->MemoryBytes(), 16 * total);
    Menu("MenuClose")->trigger();
    EXPECT_FALSE(window->FileIsOpen());
    EXPECT_FALSE(Panel()->WorkerRunning());
    EXPECT_EQ(Panel()->MemoryBytes(), 0);

    // A hidden panel decodes nothing until it is shown again.
    Menu("MenuWaveform")->trigger();
    Panel()->SetWorkerHooks(pauseAt(true));
    Open(path);
    EXPECT_FALSE(Panel()->WorkerRunning());
    EXPECT_EQ(Panel()->RefinedFrames(), 0);
    Menu("MenuWaveform")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return paused.load(); }));
    EXPECT_TRUE(Panel()->WorkerRunning());
    Menu("MenuWaveform")->trigger();
    EXPECT_FALSE(Panel()->WorkerRunning());
    Menu("MenuWaveform")->trigger();
    Menu("MenuClose")->trigger();

    // Auto decodes the whole file for the waveform too; nothing is left for the worker.
    Panel()->SetWorkerHooks(pauseAt(true));
    Open(path);
    ASSERT_TRUE(WaitUntil([&] { return paused.load(); }));
    Get<QPushButton>("ButtonAutoVolume")->click();
    EXPECT_EQ(Panel()->RefinedFrames(), total);
    EXPECT_FALSE(Panel()->WorkerRunning());
    Menu("MenuClose")->trigger();

    // The file cut short under the worker: it stops with the error; the window goes on.
    Panel()->SetWorkerHooks(pauseAt(false, [this] { ::truncate(path.c_str(), 20000); }));
    Open(path);
    ASSERT_TRUE(WaitUntil([&] { return !Panel()->Problem().isEmpty(); }));
    EXPECT_FALSE(Panel()->WorkerRunning());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(Menu("MenuClose")->isEnabled());
    Type("SpinEditBeginF", 5);
    EXPECT_EQ(View()->Begin(), 5);
    Menu("MenuClose")->trigger();
    EXPECT_FALSE(window->FileIsOpen());
}
