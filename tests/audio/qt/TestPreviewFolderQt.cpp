#include "FrameBuilder.h"
#include "PreviewFolderQt.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

// The user's application-data folder first; with neither it nor the documents folder usable, a
// private folder in the temporary folder.
TEST(PreviewFolderQt, ApplicationDataElsePrivateTemporaryFolder) {
    TempDir dir;
    const QByteArray home = qgetenv("HOME"), data = qgetenv("XDG_DATA_HOME"),
                     temp = qgetenv("TMPDIR");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.File("data")));
    const PreviewFolder appData = StandardPreviewFolder();
    EXPECT_EQ(appData.path,
              QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString());
    EXPECT_EQ(appData.path.rfind(dir.File("data/"), 0), 0u) << appData.path;
    EXPECT_FALSE(appData.privateFolder);

    qputenv("XDG_DATA_HOME", "/dev/null/data");
    qputenv("HOME", "/dev/null/home");
    qputenv("TMPDIR", QByteArray::fromStdString(dir.path()));
    const PreviewFolder fallback = StandardPreviewFolder();
    EXPECT_TRUE(fallback.privateFolder);
    EXPECT_EQ(fallback.path.rfind(dir.File("Velmora-preview-"), 0), 0u) << fallback.path;
    qputenv("HOME", home);
    for (const auto& [name, value] : {std::pair{"XDG_DATA_HOME", data}, {"TMPDIR", temp}})
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
}
