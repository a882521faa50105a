#include "FrameBuilder.h"
#include "GuiTestUtil.h"
#include "UnitLanguageWindow.h"
#include "UnitRegistryStore.h"

#include <QComboBox>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace velmora {
namespace {

// Serves every request on 127.0.0.1 the same way: a file, a 404, or no answer at all.
class LanguageServer {
public:
    static inline const QByteArray kBody = "[FormMain]\nMenuOpen=&Offen\n";
    enum class Mode { Serve, NotFound, Stall, Truncated };
    explicit LanguageServer(Mode mode) : m_mode(mode) {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                requests.push_back(socket->readAll().split(' ').value(1));
                if (m_mode == Mode::Serve)
                    socket->write("HTTP/1.0 200 OK\r\nContent-Length: " +
                                  QByteArray::number(kBody.size()) + "\r\n\r\n" + kBody);
                else if (m_mode == Mode::Truncated)
                    socket->write("HTTP/1.0 200 OK\r\nContent-Length: 5000\r\n\r\n" + kBody);
                else if (m_mode == Mode::NotFound)
                    socket->write("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");
                if (m_mode != Mode::Stall)
                    socket->disconnectFromHost();
            });
        });
        m_saved = qgetenv("VELMORA_LANGUAGE_URL");
        qputenv("VELMORA_LANGUAGE_URL",
                "http://127.0.0.1:" + QByteArray::number(m_server.serverPort()));
    }
    ~LanguageServer() { qputenv("VELMORA_LANGUAGE_URL", m_saved); }
    QByteArray Base() const {
        return "http://127.0.0.1:" + QByteArray::number(m_server.serverPort());
    }
    std::vector<QByteArray> requests;

private:
    Mode m_mode;
    QTcpServer m_server;
    QByteArray m_saved;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class LanguageWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        LanguageWindowHooks hooks;
        hooks.currentLanguage = [this] { return current; };
        hooks.load = [this](const std::string& path) {
            if (!std::filesystem::exists(path))
                throw std::runtime_error(path + " not found");
            loaded.push_back(Slurp(path));
            current = std::filesystem::path(path).filename().string();
            current = current.substr(0, current.find('.'));
        };
        hooks.exportEnglish = [this](const std::string& path) {
            ++exports;
            std::ofstream(path) << "[FormMain]\nMenuOpen=&Open\n";
        };
        hooks.showError = [this](const QString& text) { errors.push_back(text); };
        hooks.storeLanguage = [this](const std::string& language) { stored.push_back(language); };
        window = std::make_unique<TFormLanguage>(std::move(hooks));
        window->SetFolder(dir.path() + "/");
        window->SetDownloadTimeout(400);
    }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    int Index(const char* language) { return TFormLanguage::Languages().indexOf(language); }

    test::TempDir dir;
    std::string current = "English";
    std::vector<std::string> loaded;
    std::vector<QString> errors;
    std::vector<std::string> stored;
    int exports = 0;
    std::unique_ptr<TFormLanguage> window;
};

TEST_F(LanguageWindowTest, TwentyFourLanguagesAndThePreselectionDownloadsNothing) {
    LanguageServer server(LanguageServer::Mode::Serve);
    EXPECT_EQ(TFormLanguage::Languages().size(), 24);
    current = "German";
    window->show();
    EXPECT_EQ(test::Find<QComboBox>(window.get(), "ComboBoxLanguage")->currentText(), "German");
    QTest::qWait(50);
    EXPECT_TRUE(server.requests.empty());
    EXPECT_EQ(exports, 0);
}

TEST_F(LanguageWindowTest, ADownloadedFileIsLoadedAndRemembered) {
    LanguageServer server(LanguageServer::Mode::Serve);
    window->ComboBoxLanguageChange(Index("German"));
    ASSERT_EQ(server.requests.size(), 1u);
    EXPECT_EQ(server.requests[0], "/ini/German.Velmora.ini");
    EXPECT_EQ(window->StatusText(), "Download successful");
    EXPECT_EQ(Files(), std::vector<std::string>{"German.Velmora.ini"});
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0], "[FormMain]\nMenuOpen=&Offen\n");
    EXPECT_EQ(stored, std::vector<std::string>{"German"});
    EXPECT_TRUE(errors.empty());
    // Present now: loaded again without a second download.
    window->ComboBoxLanguageChange(Index("German"));
    EXPECT_EQ(server.requests.size(), 1u);
    EXPECT_EQ(window->StatusText(), "");
}

TEST_F(LanguageWindowTest, AShippedLanguageLoadsWithoutADownload) {
    LanguageServer server(LanguageServer::Mode::Serve);
    test::TempDir data;
    std::ofstream(data.File("French.Velmora.ini")) << "[FormMain]\nMenuOpen=&Ouvrir\n";
    window->SetDataFolder(data.path() + "/");
    window->ComboBoxLanguageChange(Index("French"));
    EXPECT_TRUE(server.requests.empty());
    EXPECT_TRUE(Files().empty());
    EXPECT_EQ(loaded, std::vector<std::string>{"[FormMain]\nMenuOpen=&Ouvrir\n"});
    EXPECT_EQ(stored, std::vector<std::string>{"French"});
}

TEST_F(LanguageWindowTest, AMissingStalledOrCutFileGivesTheAddressAndChangesNothing) {
    for (const LanguageServer::Mode mode :
         {LanguageServer::Mode::NotFound, LanguageServer::Mode::Stall,
          LanguageServer::Mode::Truncated}) {
        errors.clear();
        LanguageServer server(mode);
        window->ComboBoxLanguageChange(Index("French"));
        ASSERT_FALSE(errors.empty());
        EXPECT_EQ(errors[0], "Unable to download the language file\n" + server.Base() +
                                 "/ini/French.Velmora.ini\n\nMake sure you are connected to the "
                                 "internet. If the error persists, you may want to try again "
                                 "later.");
        EXPECT_EQ(window->StatusText(), "");
        EXPECT_TRUE(Files().empty()); // no partial file either
        EXPECT_EQ(current, "English");
        EXPECT_TRUE(stored.empty());
    }
}

TEST_F(LanguageWindowTest, OnlyTheEnglishFileThisWindowWroteIsDeleted) {
    const std::string english = dir.File("English.Velmora.ini");
    window->show();
    EXPECT_EQ(exports, 1);
    EXPECT_TRUE(std::filesystem::exists(english));
    window->hide();
    EXPECT_FALSE(std::filesystem::exists(english));

    std::ofstream(english) << "[FormMain]\nMenuOpen=&Mine\n";
    window->show();
    window->hide();
    EXPECT_EQ(exports, 1);
    EXPECT_EQ(Slurp(english), "[FormMain]\nMenuOpen=&Mine\n");
}

TEST(LanguagesPrompt, OnlyTheSixthStartWithAnotherLanguageAsks) {
    const struct {
        int counter;
        QLocale::Language language;
        bool asked;
    } cases[] = {{4, QLocale::German, false}, {5, QLocale::German, true},
                 {6, QLocale::German, false}, {5, QLocale::English, false},
                 {5, QLocale::French, true},  {-1, QLocale::German, false}};
    for (const auto& c : cases) {
        test::TempDir dir;
        const std::string path = dir.File("Velmora.reg");
        if (c.counter >= 0) {
            RegistryStore store;
            store.WriteInteger("LocaleMessageCounter", c.counter);
            store.Save(path);
        }
        int opened = 0;
        const bool asked = RunLanguagesPrompt(
            path, c.language, [] { return true; }, [&] { ++opened; });
        EXPECT_EQ(asked, c.asked) << c.counter;
        EXPECT_EQ(opened, c.asked ? 1 : 0);
        EXPECT_EQ(RegistryStore::Load(path).ReadInteger("LocaleMessageCounter"),
                  std::max(c.counter, 0) + 1);
    }
    // A store that cannot be written costs the prompt, not the start.
    test::TempDir dir;
    std::ofstream(dir.File("file")) << "x";
    EXPECT_FALSE(RunLanguagesPrompt(
        dir.File("file") + "/Velmora.reg", QLocale::German, [] { return true; }, [] {}));
    EXPECT_EQ(LanguageSiteUrl("/ini/x").path(), "/ini/x");
}

} // namespace
} // namespace velmora
