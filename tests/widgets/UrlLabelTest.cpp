#include "UrlLabel.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace {

QColor TextColor(const TUrlLabel& label) {
    return label.palette().color(QPalette::WindowText);
}

} // namespace

TEST(UrlLabel, ClickOpensOnlyAnAbsoluteAddress) {
    const struct {
        const char* url;
        const char* caption;
        const char* opened; // nullptr: nothing
    } cases[] = {
        {"https://example.org/a", "caption", "https://example.org/a"},
        {"  ", "https://example.org/caption", "https://example.org/caption"},
        {"", "x", nullptr},
        {"", "   ", nullptr},
        {"mailto:someone@example.org?subject=Velmora 2.20", "someone",
         "mailto:someone@example.org?subject=Velmora%202.20"},
        {"http://[bad", "caption", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        TUrlLabel label;
        label.setUrl(QString::fromLatin1(c.url));
        label.setText(QString::fromLatin1(c.caption));
        label.resize(200, 20);
        std::vector<QUrl> opened;
        label.setOpener([&](const QUrl& url) {
            opened.push_back(url);
            return true;
        });
        QTest::mouseClick(&label, Qt::LeftButton);
        if (c.opened) {
            ASSERT_EQ(opened.size(), 1u);
            EXPECT_EQ(opened[0].toString(QUrl::FullyEncoded), QString::fromLatin1(c.opened));
        } else {
            EXPECT_TRUE(opened.empty());
        }
    }
}

TEST(UrlLabel, ColoursFollowTheLeftButtonAndCopyTakesTheUrl) {
    TUrlLabel label;
    label.setText(QStringLiteral("caption"));
    label.resize(200, 20);
    label.setOpener([](const QUrl&) { return true; });
    EXPECT_EQ(TextColor(label), QColor(0, 0, 255));
    EXPECT_TRUE(label.font().underline());
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);

    QTest::mousePress(&label, Qt::LeftButton);
    EXPECT_EQ(TextColor(label), QColor(128, 0, 128));
    QTest::mouseRelease(&label, Qt::LeftButton);
    EXPECT_EQ(TextColor(label), QColor(0, 0, 255));
    QTest::mousePress(&label, Qt::RightButton);
    EXPECT_EQ(TextColor(label), QColor(0, 0, 255));
    QTest::mouseRelease(&label, Qt::RightButton);

    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    label.copyAction()->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString());
    label.setUrl(QStringLiteral("https://example.org/"));
    label.copyAction()->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("https://example.org/"));
}
