#include "SettingsTestUtil.h"
#include "UnitIni.h"
#include "VelmoraError.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

using namespace velmora;
using namespace velmora::test;

TEST(OptionNames, EveryOptionHasOneReadableNameThatLeadsBackToIt) {
    const std::regex pattern("[a-z0-9]+(-[a-z0-9]+)*");
    const Settings changed = AllChanged();
    std::set<std::string> seen;
    for (const OptionBinding& b : OptionBindings()) {
        SCOPED_TRACE(b.name);
        const std::string readable = b.readable;
        EXPECT_TRUE(std::regex_match(readable, pattern)) << readable;
        EXPECT_TRUE(seen.insert(readable).second) << readable << " names two options";
        EXPECT_EQ(FindOptionNoCase(readable), nullptr) << readable << " is a stored name";
        EXPECT_EQ(FindOptionByAnyName(readable), &b);
        EXPECT_EQ(FindOptionByAnyName(b.name), &b);

        // NAME=VALUE sets the same field by either name.
        const std::string value = FormatOptionValue(changed, b);
        Settings byReadable, byStored;
        AssignOption(byReadable, readable + "=" + value);
        AssignOption(byStored, std::string(b.name) + "=" + value);
        EXPECT_EQ(Dump(byReadable), Dump(byStored));
        EXPECT_NE(Dump(byReadable), Dump(Settings{}));
        EXPECT_EQ(FormatOptionValue(byReadable, b), value);
    }
    EXPECT_EQ(seen.size(), OptionBindings().size());

    Settings s;
    EXPECT_THROW(AssignOption(s, "clean-up=on"), VelmoraError);
    EXPECT_THROW(AssignOption(s, "cleanup"), VelmoraError);
    AssignOption(s, "CLEANUP=off");
    EXPECT_FALSE(s.CheckBoxCleanup);
    try {
        AssignOption(s, "preview-length=11");
        ADD_FAILURE() << "11 passed";
    } catch (const VelmoraError& e) {
        EXPECT_STREQ(e.what(), "\"SpinEditPreviewLength\" takes a whole number from 1 to 10, "
                               "got \"11\"");
    }
}
