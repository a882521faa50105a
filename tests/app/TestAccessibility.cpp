#include "EditorTestUtil.h"

#include "UnitOptionsForm.h"

#include <QAccessible>
#include <QTabWidget>

using namespace velmora;
using namespace velmora::test;

namespace {

bool IsControl(QAccessible::Role role) {
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::Slider:
    case QAccessible::PageTab:
    case QAccessible::Graphic:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
        return true;
    default:
        return false;
    }
}

// The control's objectName, or its class and the nearest named parent.
std::string Describe(QAccessibleInterface* node) {
    const QObject* object = node->object();
    if (!object)
        return "role " + std::to_string(node->role());
    std::string text = object->objectName().toStdString();
    if (text.empty()) {
        text = object->metaObject()->className();
        const QObject* parent = object->parent();
        while (parent && parent->objectName().isEmpty())
            parent = parent->parent();
        if (parent)
            text += " in " + parent->objectName().toStdString();
    }
    return text + " (role " + std::to_string(node->role()) + ")";
}

// Every visible control below `node` has a name, and no two controls next to each other share
// one; what fails is listed.
void Walk(QAccessibleInterface* node, std::vector<std::string>& faults) {
    QString previous;
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface* child = node->child(i);
        if (!child || child->state().invisible)
            continue;
        if (IsControl(child->role())) {
            QString name = child->text(QAccessible::Name).trimmed();
            // A list box's name can be its value: its label comes through the relation to its
            // label.
            if (child->role() == QAccessible::ComboBox) {
                const auto labels = child->relations(QAccessible::Label);
                if (!labels.isEmpty())
                    name = labels.first().first->text(QAccessible::Name).trimmed();
            }
            if (name.isEmpty())
                faults.push_back("no name: " + Describe(child));
            else if (name == previous)
                faults.push_back("same name as its neighbour: " + Describe(child) + " \"" +
                                 name.toStdString() + "\"");
            previous = name;
        }
        Walk(child, faults);
    }
}

std::vector<std::string> Faults(QWidget* window) {
    std::vector<std::string> faults;
    QCoreApplication::processEvents();
    Walk(QAccessible::queryAccessibleInterface(window), faults);
    return faults;
}

QString NameOf(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}

class AccessibilityTest : public EditorTest {
protected:
    std::string Shipped(const char* language) {
        return std::string(VELMORA_TEST_DATA_DIR) + "/../../languages/" + language + ".Velmora.ini";
    }
};

} // namespace

// A screen reader finds a name for every control of the main window and of every page of the
// Options window, in English and in German, with no file and with one open.
TEST_F(AccessibilityTest, EveryControlHasANameOfItsOwn) {
    const std::string path = files.File("a.mp3");
    WriteFile(path, QuietFrames(200));
    Show();
    for (const char* language : {"", "German"}) {
        SCOPED_TRACE(language);
        if (*language)
            window->LoadLanguageFile(Shipped(language));
        EXPECT_EQ(Faults(window.get()), std::vector<std::string>{});
        Open(path);
        ASSERT_TRUE(window->FileIsOpen());
        EXPECT_EQ(Faults(window.get()), std::vector<std::string>{});
        Menu("MenuClose")->trigger();

        TFormOptions* options = window->Options();
        auto* pages = Find<QTabWidget>(options, "PageControlOptions");
        options->show();
        for (int i = 0; i < pages->count(); ++i) {
            pages->setCurrentIndex(i);
            SCOPED_TRACE(pages->widget(i)->objectName().toStdString());
            EXPECT_EQ(Faults(options), std::vector<std::string>{});
        }
        options->hide();
    }
}

// The names come from what a sighted user reads beside the control, and follow the language.
TEST_F(AccessibilityTest, NamesComeFromTheVisibleLabelOrTheHint) {
    Show();
    const struct {
        const char* control;
        const char* english;
        const char* german;
    } cases[] = {
        {"BitBtnTestBegin", "from the beginning: Plays the first seconds that are kept",
         "am Anfang: Spielt die ersten Sekunden, die erhalten bleiben"},
        {"BitBtnWinAmpGetTrimEnd",
         "from the end: Update the trimming point by reading your media player's playback "
         "position",
         "am Ende: Übernimmt die Wiedergabeposition Ihres Media-Players als Schnittpunkt"},
        {"TrackBarFadeIn", "Fade-in", "Einblenden"},
        {"EditName", "File", "Datei"},
    };
    for (const char* language : {"English", "German"}) {
        if (std::string(language) == "German")
            window->LoadLanguageFile(Shipped(language));
        for (const auto& c : cases) {
            SCOPED_TRACE(c.control);
            const char* expected = std::string(language) == "German" ? c.german : c.english;
            EXPECT_EQ(NameOf(Get<QWidget>(c.control)), QString::fromUtf8(expected));
        }
    }
    // The parts of a time field carry the row's name.
    const QString begin = NameOf(Get<QWidget>("TimeSpinBeginS")->findChild<QLineEdit*>());
    EXPECT_TRUE(begin.startsWith(QStringLiteral("am Anfang"))) << begin.toStdString();
}
