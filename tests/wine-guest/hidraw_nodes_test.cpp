// The hidraw nodes kept for a /dev without udev, over a sysfs-shaped tree:
// every device gets its node in one step, a device that comes back under the
// same name gets a new node, a device that goes loses its node, and nothing
// else in /dev is touched.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <fstream>

#include "HidrawNodes.h"

namespace tpg::guestbench {
namespace {

namespace fs = std::filesystem;

class HidrawNodesTest : public testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "making device nodes needs root";
        }
        root = fs::path(testing::TempDir()) /
               ("hidraw-nodes-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "class");
        fs::create_directories(root / "dev");
    }
    void TearDown() override { fs::remove_all(root); }

    // A device of the class: its folder under devices/ID and the class link.
    void plug(const std::string& name, const std::string& id, const std::string& number) {
        const auto folder = root / "devices" / id / name;
        fs::create_directories(folder);
        if (!number.empty()) {
            std::ofstream(folder / "dev") << number << "\n";
        }
        fs::remove(root / "class" / name);
        fs::create_directory_symlink(folder, root / "class" / name);
    }
    void unplug(const std::string& name) { fs::remove(root / "class" / name); }

    // "246:3" for a character node, "-" for none, "other" for anything else.
    std::string node(const std::string& name) const {
        struct stat st {};
        if (::lstat((root / "dev" / name).c_str(), &st) != 0) {
            return "-";
        }
        if (!S_ISCHR(st.st_mode)) {
            return "other";
        }
        return std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
    }

    fs::path root;
};

TEST_F(HidrawNodesTest, NodesFollowTheDevicesOfTheClass) {
    HidrawNodes nodes(root / "class", root / "dev");
    std::ofstream(root / "dev" / "null") << "";    // not ours: left alone
    std::ofstream(root / "dev" / "hidraw") << "";  // no number: not a hidraw node
    struct Step {
        const char* what;
        std::function<void()> change;
        int changes;
        std::vector<std::pair<const char*, const char*>> nodes;
    };
    const Step steps[] = {
        {"nothing plugged in", [] {}, 0, {{"hidraw0", "-"}}},
        {"two devices",
         [&] {
             plug("hidraw0", "0003:6C3A:4E19.0001", "246:0");
             plug("hidraw1", "0003:6C3B:4E19.0002", "246:1");
         },
         2,
         {{"hidraw0", "246:0"}, {"hidraw1", "246:1"}}},
        {"nothing changed", [] {}, 0, {{"hidraw0", "246:0"}, {"hidraw1", "246:1"}}},
        {"a device still without its dev file",
         [&] { plug("hidraw2", "0003:6C3A:4E19.0003", ""); },
         0,
         {{"hidraw2", "-"}}},
        {"its dev file arrives",
         [&] { std::ofstream(root / "devices/0003:6C3A:4E19.0003/hidraw2/dev") << "246:2\n"; },
         1,
         {{"hidraw2", "246:2"}}},
        {"one goes", [&] { unplug("hidraw1"); }, 1, {{"hidraw1", "-"}, {"hidraw0", "246:0"}}},
        {"another device under an old name, between two passes",
         [&] { plug("hidraw0", "0003:6C3A:4E19.0004", "246:0"); },
         2,  // the old node removed, the new one made
         {{"hidraw0", "246:0"}}},
        {"its node removed by someone else",
         [&] { fs::remove(root / "dev" / "hidraw0"); },
         1,
         {{"hidraw0", "246:0"}}},
        {"all gone",
         [&] {
             unplug("hidraw0");
             unplug("hidraw2");
         },
         2,
         {{"hidraw0", "-"}, {"hidraw2", "-"}}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        std::string error;
        EXPECT_EQ(nodes.sync(error), step.changes);
        EXPECT_EQ(error, "");
        for (const auto& [name, expected] : step.nodes) {
            EXPECT_EQ(node(name), expected) << name;
        }
        EXPECT_EQ(node("null"), "other");
        EXPECT_EQ(node("hidraw"), "other");
        EXPECT_FALSE(fs::exists(root / "dev" / ".hidraw0.new")) << "no half-made node left";
    }
}

TEST_F(HidrawNodesTest, ANodeThatCannotBeMadeIsReportedAndTriedAgain) {
    HidrawNodes nodes(root / "class", root / "missing-dev");
    plug("hidraw5", "0003:6C3A:4E19.0009", "246:5");
    std::string error;
    EXPECT_EQ(nodes.sync(error), 0);
    EXPECT_NE(error.find("cannot make"), std::string::npos) << error;
    EXPECT_NE(error.find("hidraw5"), std::string::npos) << error;
    fs::create_directories(root / "missing-dev");
    error.clear();
    EXPECT_EQ(nodes.sync(error), 1);
    EXPECT_EQ(error, "");
}

}  // namespace
}  // namespace tpg::guestbench
