// The commands as a batch engine runs them: one JSON object on stdout that a JSON library
// reads, statuses by cause, outputs skipped when up to date.
#include <cstdio>
#include <string>
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/AutopilotLogWriters.h"
#include "support/DataToolSupport.h"
#include "support/TestSupport.h"

namespace
{
using nlohmann::json;

class BatchCommandTest : public DataToolFixture
{
protected:
    // Runs the tool and reads its stdout as exactly one JSON object on one line.
    static json RunJson(const std::vector<std::string>& arguments, int* status)
    {
        std::string out, err;
        *status = RunTool(arguments, &out, &err);
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << "one line: " << out << err;
        json object = json::parse(out, nullptr, false);
        EXPECT_TRUE(object.is_object()) << out;
        if (object.is_object())
        {
            EXPECT_EQ(object["exit"], *status) << out;
        }
        return object;
    }
    static timespec Modified(const std::string& path)
    {
        struct stat status{};
        stat(path.c_str(), &status);
        return status.st_mtim;
    }
};

TEST_F(BatchCommandTest, ObjectsCarryWhatWasReadWrittenAndFoundWithStatusesByCause)
{
    WriteText("circle.gpx", CircleGpx(Circle(true, 200.0)));
    int status = -1;
    json track = RunJson({"track", "circle.gpx", "--out", "circle.log", "--json"}, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(track["command"], "track");
    EXPECT_EQ(track["status"], "done");
    EXPECT_EQ(track["read"][0]["format"], "GPX");
    EXPECT_EQ(track["written"][0]["path"], "circle.log");
    EXPECT_EQ(track["counts"]["rows"], 121) << "two minutes at a row a second";
    EXPECT_GT(track["timings"]["total"].get<double>(), 0.0);

    // No elevation tile here: every sample is a warning of no drawn ground, from the first.
    json check = RunJson({"check", "circle.log", "--csv", "circle.csv", "--json"}, &status);
    EXPECT_EQ(status, ExitWarnings);
    EXPECT_EQ(check["status"], "warnings");
    ASSERT_EQ(check["warnings"].size(), 1u) << check;
    EXPECT_EQ(check["warnings"][0]["kind"], "no_drawn_ground");
    EXPECT_EQ(check["warnings"][0]["samples"], json::array({1}));
    EXPECT_EQ(check["counts"]["samples"], 121);
    EXPECT_EQ(check["written"][0]["path"], "circle.csv");

    // Up to date: nothing is done, the files stay as they were.
    const timespec before = Modified("circle.log");
    json again = RunJson({"track", "circle.gpx", "--out", "circle.log", "--json", "--skip-existing"}, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(again["skipped"], true);
    EXPECT_EQ(Modified("circle.log").tv_nsec, before.tv_nsec);
    EXPECT_EQ(RunJson({"check", "circle.log", "--csv", "circle.csv", "--json", "--skip-existing"}, &status)["skipped"], true);

    // Of an autopilot's log the events beside the log are an output too: without them, it is
    // converted again.
    CircleFlight flight;
    flight.events = true;
    WriteWholeFile("flight.ulg", CircleULog(flight));
    RunJson({"track", "flight.ulg", "--out", "flight.log", "--json"}, &status);
    ASSERT_TRUE(Exists("flight.events.csv"));
    EXPECT_EQ(RunJson({"track", "flight.ulg", "--out", "flight.log", "--json", "--skip-existing"}, &status)["skipped"], true);
    remove("flight.events.csv");
    EXPECT_EQ(RunJson({"track", "flight.ulg", "--out", "flight.log", "--json", "--skip-existing"}, &status)["skipped"], false);
    EXPECT_TRUE(Exists("flight.events.csv"));

    // Bad input and usage: told apart, nothing written, the reason in the object.
    WriteText("junk.gpx", "<gpx><trk></trk></gpx>");
    json bad = RunJson({"track", "junk.gpx", "--out", "junk.log", "--json"}, &status);
    EXPECT_EQ(status, ExitBadInput);
    EXPECT_EQ(bad["status"], "bad-input");
    EXPECT_FALSE(bad["message"].get<std::string>().empty());
    EXPECT_FALSE(Exists("junk.log"));
    EXPECT_EQ(RunJson({"track", "circle.gpx", "--json"}, &status)["status"], "usage") << "--json needs --out";
    EXPECT_EQ(status, ExitUsage);
}

} // namespace
