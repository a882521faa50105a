#include "EditorTestUtil.h"
#include "TSpinEdit.h"
#include "UnitEditorState.h"

#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <set>

using namespace velmora;
using namespace velmora::test;

namespace {

using C = EditorCommand;
using S = EditorState;

} // namespace

// Each state with the commands it allows; every other command is refused.
TEST(EditorStateTable, EachStateAllowsItsCommandsOnly) {
    const struct {
        EditorState state;
        std::set<EditorCommand> allowed;
    } table[] = {
        {S::NoFile, {C::Open, C::Options, C::Batch, C::ToggleTags}},
        {S::Opening, {C::Stop, C::ToggleTags}},
        {S::Open,
         {C::Save, C::SaveAs, C::Close, C::Options, C::Batch, C::EditTrim, C::TrimSilence,
          C::EndOntoBegin, C::ToggleTags, C::AutoVolume, C::FadeClick, C::Preview,
          C::PlayerPosition, C::CueSheet}},
        {S::Analysing, {C::Close, C::Stop, C::EditTrim, C::ToggleTags, C::FadeClick}},
        {S::Writing, {}},
        {S::Batch, {C::Stop, C::ToggleTags}},
        {S::Closing, {}},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(EditorStateName(row.state));
        for (int c = 0; c < kEditorCommandCount; ++c) {
            const auto command = static_cast<EditorCommand>(c);
            EXPECT_EQ(CommandAllowed(row.state, command), row.allowed.count(command) == 1)
                << "command " << c;
        }
    }
}

// What the window allows while each operation runs, read at the operation's first pump of
// events, and after it.
TEST_F(EditorTest, OperationsRunInTheirStatesAndTheMenusFollow) {
    const std::string path = files.File("long.mp3");
    WriteFile(path, QuietFrames(20000));
    settings.CheckBoxCloseAfterSave = false;
    settings.CheckBoxExactCut = false; // the frame cut writes with pumps
    Show();
    struct Seen {
        S state;
        bool open, save, close;
        bool operator==(const Seen&) const = default;
    };
    std::vector<Seen> seen;
    const auto look = [&] {
        seen.push_back({window->State(), Menu("MenuOpen")->isEnabled(),
                        Menu("MenuSave")->isEnabled(), Menu("MenuClose")->isEnabled()});
    };
    const auto during = [&](const std::function<void()>& start) {
        QTimer::singleShot(0, window.get(), look);
        start();
        look();
    };
    during([&] { Open(path); });
    during([&] { Get<QPushButton>("ButtonAutoVolume")->click(); });
    Get<TSpinEdit>("SpinEditBeginF")->setValue(100);
    during([&] { Menu("MenuSave")->trigger(); });
    Menu("MenuClose")->trigger();
    look();
    const Seen open{S::Open, false, true, true};
    const std::vector<Seen> expected = {
        {S::Opening, false, false, false}, open, {S::Analysing, false, false, true}, open,
        {S::Writing, false, false, false}, open, {S::NoFile, true, false, false}};
    ASSERT_EQ(seen.size(), expected.size());
    for (std::size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], expected[i]) << i << ": " << EditorStateName(seen[i].state);
    // Silence has no volume to determine: the analysis's one error; the save has none.
    EXPECT_EQ(dialogs.Texts(IDialogs::Kind::Error).size(), 1u);
}
