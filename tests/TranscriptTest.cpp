// End-to-end runs of the built program: console transcript and exit status, each run in
// a fresh temporary directory holding only the files the test writes there.
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace
{

class TranscriptTest : public ::testing::Test
{
protected:
    void WriteFile(const std::string& name, const std::string& content) { scratch.WriteFile(name, content); }

    // Runs the program in the test directory, without a display.
    RunResult RunProgram(const std::vector<std::string>& arguments)
    {
        // As a user runs it: the library at the level the program chooses.
        const RunResult run = ::RunProgram(FLIGHTREPLAY_BINARY, scratch.Path(), arguments, {"-OSG_NOTIFY_LEVEL"});
        EXPECT_EQ(run.signal, 0) << "the program did not exit normally";
        return run;
    }

    // A successful run goes on into the viewer after the map frame; compare up to there.
    static std::string UpToMapFrame(const std::string& out)
    {
        const size_t line = out.find("CI,CJ=");
        if (line == std::string::npos)
            return out;
        const size_t end = out.find('\n', line);
        return out.substr(0, end == std::string::npos ? out.size() : end + 1);
    }

    // A good log runs on into the viewer, which finds no window here: status 251.
    static void ExpectSuccess(int status)
    {
        EXPECT_EQ(status, 251);
    }

    ScratchDirectory scratch;
};

const char* const FlightLog =
    "Flight log\n"
    "samplenumber,gps_time,gps_curlat,gps_curlon,gps_curalt\n"
    "1,36000.0,2880.0,600.0,100\n"
    "2,36000.5,2880.6,601.2,110\n"
    "3,36001.0,2881.2,600.6,120\n";

// --- Command line ----------------------------------------------------------------------

TEST_F(TranscriptTest, NoArgumentsPrintsUsage)
{
    const RunResult run = RunProgram({});
    EXPECT_EQ(run.out, "U: " FLIGHTREPLAY_BINARY " avlog.log [--samples beg1-end1,beg2-end2,...]\n");
    EXPECT_EQ(run.status, 255);
}

TEST_F(TranscriptTest, MistypedSamplesOptionStopsBeforeTheLogIsOpened)
{
    const RunResult run = RunProgram({"missing.log", "--sample", "1-10"});
    EXPECT_EQ(run.out, "arg. '--sample' - undefined\n");
    EXPECT_EQ(run.status, 253);
}

TEST_F(TranscriptTest, SamplesWithoutListStopsBeforeTheLogIsOpened)
{
    const RunResult run = RunProgram({"missing.log", "--samples"});
    EXPECT_EQ(run.out, "--samples req. args: beg1-end1,beg2-end2,...\n");
    EXPECT_EQ(run.status, 254);
}

TEST_F(TranscriptTest, RangeListsArePrintedAsSelected)
{
    RunResult run = RunProgram({"missing.log", "--samples", "10-20,30-31,x-50,-5-20"});
    EXPECT_EQ(run.out, "Select samplenumber:\n"
                       "10 < samplenumber < 20\n"
                       "0 < samplenumber < 50\n"
                       "Not open 'missing.log'\n");
    EXPECT_EQ(run.status, 254);

    run = RunProgram({"missing.log", "--samples", "100,200-300"});
    EXPECT_EQ(run.out, "Select samplenumber:\n"
                       "100 < samplenumber < 300\n"
                       "200 < samplenumber < 300\n"
                       "Not open 'missing.log'\n");

    run = RunProgram({"missing.log", "--samples", "5-7"});
    EXPECT_EQ(run.out, "Q.samples==0, using 0-100000\n"
                       "Select samplenumber:\n"
                       "0 < samplenumber < 100000\n"
                       "Not open 'missing.log'\n");
    EXPECT_EQ(run.status, 254);
}

// --- The log ---------------------------------------------------------------------------

TEST_F(TranscriptTest, UnopenableLogsAreReported)
{
    scratch.MakeDirectory("logs");
    RunResult run = RunProgram({"logs"});
    EXPECT_EQ(run.out, "Not open 'logs'\n");
    EXPECT_EQ(run.status, 254);

    run = RunProgram({"nothing-here.log"});
    EXPECT_EQ(run.out, "Not open 'nothing-here.log'\n");
    EXPECT_EQ(run.status, 254);
}

TEST_F(TranscriptTest, LogWithoutAcceptedRowEndsAfterTheColumnReport)
{
    WriteFile("empty.log", "samplenumber,gps_curlat,gps_curlon\n"
                           "0,600,700\n"
                           "5,0.5,700\n");
    const RunResult run = RunProgram({"empty.log"});
    EXPECT_EQ(run.out, "cols[0]=1\n"
                       "cols[1]=11\n"
                       "cols[2]=12\n"
                       "selected 0 row\n"
                       "Need rows >0, Exit\n");
    EXPECT_EQ(run.status, 252);
}

TEST_F(TranscriptTest, NormalRunPrintsStatisticsAndMapFrame)
{
    WriteFile("flight.log", FlightLog);
    const RunResult run = RunProgram({"flight.log"});
    // "Flight log" is echoed without its blank (a separator) and without its line end.
    // The first row is sample 1, and still the step is 0.5 s, not 36000 s and more.
    EXPECT_EQ(UpToMapFrame(run.out), "Flightlog"
                                     "cols[0]=1\n"
                                     "cols[1]=4\n"
                                     "cols[2]=11\n"
                                     "cols[3]=12\n"
                                     "cols[4]=13\n"
                                     "selected 3 row\n"
                                     "lat(mn,mx)=(48.000000 48.020000)\n"
                                     "lon(mn,mx)=(10.000000 10.020000)\n"
                                     "time(mn,mx)=(36000.000000 36001.000000)\n"
                                     "sum(time)/sum(sn)=0.500000\n"
                                     "1/k=102.206544 (center lat,lon=48.010000 10.010000)\n"
                                     "CI,CJ=91114 138361\n");
    ExpectSuccess(run.status);
}

TEST_F(TranscriptTest, LibraryNoticesStayOutOfTheTranscript)
{
    // Setting the node to follow and failing to reach the display both make the library
    // talk; after the map frame the transcript still holds only the terrain's reports of
    // the files missing here.
    WriteFile("flight.log", FlightLog);
    const RunResult run = RunProgram({"flight.log"});
    const std::string mapFrame = UpToMapFrame(run.out);
    ASSERT_NE(mapFrame, run.out) << run.out;
    std::istringstream after(run.out.substr(mapFrame.size()));
    int imageryReports = 0;
    for (std::string line; std::getline(after, line);)
    {
        if (line.rfind("img:./img/", 0) == 0)
            ++imageryReports;
        else
            EXPECT_EQ(line.rfind("Not open egm '", 0), 0u) << "not the program's: " << line;
    }
    EXPECT_EQ(imageryReports, 249); // one per patch
    ExpectSuccess(run.status);
}

TEST_F(TranscriptTest, SelectedRangeLimitsTheRowsAndExtraArgumentsAreIgnored)
{
    WriteFile("flight.log", FlightLog);
    const RunResult run = RunProgram({"flight.log", "--samples", "1-4", "ignored"});
    EXPECT_EQ(UpToMapFrame(run.out), "Select samplenumber:\n"
                                     "1 < samplenumber < 4\n"
                                     "Flightlog"
                                     "cols[0]=1\n"
                                     "cols[1]=4\n"
                                     "cols[2]=11\n"
                                     "cols[3]=12\n"
                                     "cols[4]=13\n"
                                     "selected 2 row\n"
                                     "lat(mn,mx)=(48.010000 48.020000)\n"
                                     "lon(mn,mx)=(10.010000 10.020000)\n"
                                     "time(mn,mx)=(36000.500000 36001.000000)\n"
                                     "sum(time)/sum(sn)=0.500000\n"
                                     "1/k=102.196634 (center lat,lon=48.015000 10.015000)\n"
                                     "CI,CJ=91108 138364\n");
    ExpectSuccess(run.status);
}

} // namespace
