// The bad-input matrix: the built program is run end to end, without a display, on logs
// and data files that are broken in the ways files brought from elsewhere are broken. Each
// case asserts the exact standard output and standard error, the exit status, and that
// every file in the working directory is byte for byte and time for time what it was. The
// transcripts of runs that reach the viewer are checked in under expected/bad-input/: one
// whole (NothingReadable.out), and for each other case a unified diff from it, since they
// share all but a few lines (after a change of the program's output, write a case's anew
// with `diff -u NothingReadable.out NEW.out > CASE.diff` in that folder).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/SceneFiles.h"
#include "support/TestSupport.h"

namespace
{

// Exit statuses as the shell sees them (main's negative results modulo 256).
const int StatusNotOpen = 254;   // -2
const int StatusNoRows = 252;    // -4
const int StatusNoWindow = 251;  // -5

const char* const NoWindowMessage = "No graphics window could be opened: is there a display (DISPLAY set, OpenGL available)?\n";

const int RunTimeoutSeconds = 120;

// The scene-graph library reports through its own notifier, on stdout for notices; only
// its fatal messages are let through, so the transcript is the program's own.
const std::vector<std::string> QuietLibrary = {"OSG_NOTIFY_LEVEL=FATAL"};

std::string JoinLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

// Exact bytes, with a readable first difference on failure.
void ExpectText(const std::string& what, const std::string& actual, const std::string& expected)
{
    if (actual == expected)
        return;
    std::string detail = DescribeLineDifference(SplitLines(actual), SplitLines(expected));
    if (detail.empty())
        detail = "the lines agree, the line ends do not";
    ADD_FAILURE() << what << " differs: " << detail;
}

// A case: a working directory, a run in it, and the check that nothing there changed.
class BadInputTest : public testing::Test
{
protected:
    RunResult Run(const std::vector<std::string>& arguments)
    {
        const std::vector<TreeEntry> before = SnapshotTree(work.Path());
        RunResult result = RunProgram(FLIGHTREPLAY_BINARY, work.Path(), arguments, QuietLibrary, RunTimeoutSeconds);
        const std::vector<TreeEntry> after = SnapshotTree(work.Path());
        EXPECT_FALSE(result.timedOut) << "the run was killed after " << RunTimeoutSeconds << " s";
        EXPECT_TRUE(before == after) << "the working directory changed:\n" << DescribeTreeChange(before, after);
        return result;
    }

    void ExpectRun(const RunResult& result, int status, const std::string& out, const std::string& err)
    {
        EXPECT_EQ(result.status, status);
        ExpectText("standard output", result.out, out);
        ExpectText("standard error", result.err, err);
    }

    ScratchDirectory work;
};

// ---------------------------------------------------------------------------------------
// A flight the tests can write in any shape and whose transcript they can predict. It lies
// near 47.5 N 16.2 E, in the middle of one elevation tile (zoom-18 tile row and column
// 512 or so within tile 89, 139), so that the whole terrain reads from that one file.

struct FlightRow
{
    std::string samplenumber;
    std::string gps_time;
    std::string gps_curlat; // minutes of arc
    std::string gps_curlon; // minutes of arc
    std::string gps_curalt; // metres
};

const char* const FlightHeader = "samplenumber,gps_time,gps_curlat,gps_curlon,gps_curalt";
const std::vector<std::string> FlightColumnReport = {"cols[0]=1", "cols[1]=4", "cols[2]=11", "cols[3]=12", "cols[4]=13"};

std::string Format(const char* format, double value)
{
    char text[64];
    snprintf(text, sizeof text, format, value);
    return text;
}

FlightRow MakeRow(int64_t samplenumber, int64_t step)
{
    FlightRow row;
    row.samplenumber = std::to_string(samplenumber);
    row.gps_time = Format("%.2f", 100.0 + static_cast<double>(step) * 0.25);
    row.gps_curlat = Format("%.4f", 2850.6 + static_cast<double>(step % 400) * 0.0007);
    row.gps_curlon = Format("%.4f", 970.2 - static_cast<double>(step % 300) * 0.0009);
    row.gps_curalt = Format("%.1f", 400.0 + static_cast<double>(step % 50));
    return row;
}

// count rows with sample numbers first, first + 1, ... (never 1, so the first row is no
// step of the mean-time computation, however that counts a first row).
std::vector<FlightRow> MakeFlight(int64_t count, int64_t first = 2)
{
    std::vector<FlightRow> rows;
    for (int64_t i = 0; i < count; ++i)
        rows.push_back(MakeRow(first + i, i));
    return rows;
}

std::string FlightLog(const std::vector<FlightRow>& rows, const std::string& lineEnd = "\n")
{
    std::string text = std::string(FlightHeader) + lineEnd;
    for (const FlightRow& r : rows)
        text += r.samplenumber + "," + r.gps_time + "," + r.gps_curlat + "," + r.gps_curlon + "," + r.gps_curalt + lineEnd;
    return text;
}

// The text `diff -u` was given as its first file, with `patch` (its output) applied; false
// with the reason when the patch does not fit the text line for line: a context or removed
// line that is not there, a hunk's counts that disagree with its lines, or a file whose last
// line has no end (the transcripts all end theirs).
bool ApplyUnifiedDiff(const std::string& text, const std::string& patch, std::string* result, std::string* reason)
{
    if (text.empty() || text.back() != '\n')
    {
        *reason = "the whole transcript does not end with a line end";
        return false;
    }
    const std::vector<std::string> lines = SplitLines(text);
    const std::vector<std::string> patchLines = SplitLines(patch);
    std::vector<std::string> out;
    size_t at = 0; // the next line of `lines` not yet taken
    size_t p = 0;
    while (p < patchLines.size() && patchLines[p].rfind("@@ ", 0) != 0)
        ++p; // the "---" and "+++" lines name the files
    if (p == patchLines.size())
    {
        *reason = "no hunk";
        return false;
    }
    while (p < patchLines.size())
    {
        const std::string& header = patchLines[p];
        long oldStart = 0, oldCount = 1, newStart = 0, newCount = 1;
        char* end = nullptr;
        const char* c = header.c_str() + 3;
        if (*c++ != '-')
            break;
        oldStart = strtol(c, &end, 10);
        c = end;
        if (*c == ',')
        {
            oldCount = strtol(c + 1, &end, 10);
            c = end;
        }
        if (c[0] != ' ' || c[1] != '+')
            break;
        newStart = strtol(c + 2, &end, 10);
        c = end;
        if (*c == ',')
        {
            newCount = strtol(c + 1, &end, 10);
            c = end;
        }
        if (std::string(c).rfind(" @@", 0) != 0)
            break;
        // An empty hunk of the old text starts after its line oldStart, any other at it.
        const size_t first = static_cast<size_t>(oldCount == 0 ? oldStart : oldStart - 1);
        if (first < at || first > lines.size())
        {
            *reason = "hunk \"" + header + "\" starts before the previous one ends or past the end";
            return false;
        }
        out.insert(out.end(), lines.begin() + static_cast<std::ptrdiff_t>(at), lines.begin() + static_cast<std::ptrdiff_t>(first));
        at = first;
        long removed = 0, added = 0;
        for (++p; p < patchLines.size() && patchLines[p].rfind("@@ ", 0) != 0; ++p)
        {
            const std::string& line = patchLines[p];
            const char kind = line.empty() ? ' ' : line[0];
            const std::string body = line.empty() ? "" : line.substr(1);
            if (kind == ' ' || kind == '-')
            {
                if (at >= lines.size() || lines[at] != body)
                {
                    *reason = "line " + std::to_string(at + 1) + " is not \"" + body + "\" (hunk \"" + header + "\")";
                    return false;
                }
                ++at;
                ++removed;
                if (kind == ' ')
                {
                    out.push_back(body);
                    ++added;
                }
            }
            else if (kind == '+')
            {
                out.push_back(body);
                ++added;
            }
            else
            {
                *reason = "unexpected line \"" + line + "\" in hunk \"" + header + "\"";
                return false;
            }
        }
        if (removed != oldCount || added != newCount || static_cast<long>(out.size()) - added + 1 != newStart + (newCount == 0 ? 1 : 0))
        {
            *reason = "hunk \"" + header + "\" does not hold the lines it counts, or starts elsewhere in the new text";
            return false;
        }
    }
    if (p < patchLines.size())
    {
        *reason = "not a hunk header: \"" + patchLines[p] + "\"";
        return false;
    }
    out.insert(out.end(), lines.begin() + static_cast<std::ptrdiff_t>(at), lines.end());
    result->clear();
    for (const std::string& line : out)
        *result += line + "\n";
    return true;
}

// The transcript checked in for a case: NAME.out, or NAME.diff applied to the whole
// transcript its "---" line names.
bool ExpectedTranscript(const std::string& name, std::string* transcript, std::string* reason)
{
    const std::string folder = std::string(FLIGHTREPLAY_EXPECTED_DIR) + "/bad-input/";
    if (std::filesystem::exists(folder + name + ".out"))
    {
        *transcript = ReadWholeFile(folder + name + ".out");
        return true;
    }
    const std::string patch = ReadWholeFile(folder + name + ".diff");
    if (patch.rfind("--- ", 0) != 0)
    {
        *reason = "neither " + name + ".out nor a unified diff " + name + ".diff in " + folder;
        return false;
    }
    // diff -u follows the name with a tab and the file's time.
    const std::string base = patch.substr(4, patch.find_first_of("\t\n") - 4);
    if (base.find('/') != std::string::npos || !std::filesystem::exists(folder + base))
    {
        *reason = name + ".diff names \"" + base + "\", which is no transcript of " + folder;
        return false;
    }
    if (!ApplyUnifiedDiff(ReadWholeFile(folder + base), patch, transcript, reason))
    {
        *reason = name + ".diff does not apply to " + base + ": " + *reason;
        return false;
    }
    return true;
}

// A run that reaches the viewer, which finds no window here: its transcript (the column
// report, the statistics, the map frame and the terrain's reports) as checked in for the
// case, its status, and on stderr the terrain's sum of the tiles the transcript reports
// missing, then the viewer's line.
void ExpectViewerRun(const RunResult& result, std::string name = "")
{
    if (name.empty())
        name = testing::UnitTest::GetInstance()->current_test_info()->name();
    std::string transcript, reason;
    ASSERT_TRUE(ExpectedTranscript(name, &transcript, &reason)) << reason;
    EXPECT_EQ(result.status, StatusNoWindow);
    ExpectText("standard output", result.out, transcript);
    int imagery = 0, elevation = 0;
    for (const std::string& line : SplitLines(transcript))
    {
        imagery += line.rfind("img:", 0) == 0 ? 1 : 0;
        elevation += line.rfind("Not open egm", 0) == 0 ? 1 : 0;
    }
    const std::vector<std::string> errors = SplitLines(result.err);
    ASSERT_EQ(errors.size(), 2u) << result.err;
    EXPECT_EQ(errors[0].rfind("terrain: " + std::to_string(imagery) + " imagery tiles (", 0), 0u) << errors[0];
    EXPECT_NE(errors[0].find(" and " + std::to_string(elevation) + " elevation tile"), std::string::npos) << errors[0];
    EXPECT_EQ(errors[1] + "\n", NoWindowMessage);
}

// The cases' transcripts are only as exact as the diffs are applied: every line kept,
// removed or added where the hunk says, and a diff that no longer fits its whole
// transcript refused rather than applied loosely.
TEST(TranscriptDiffTest, HunksReplaceTheirLinesAndAMisfitIsRefused)
{
    const std::string text = "a\nb\nc\nd\ne\nf\ng\n";
    const std::string patch = "--- whole.out\n+++ case.out\n"
                              "@@ -0,0 +1 @@\n+start\n"
                              "@@ -2,2 +3,3 @@\n b\n-c\n+C\n+C2\n"
                              "@@ -7 +8,0 @@\n-g\n";
    std::string result, reason;
    ASSERT_TRUE(ApplyUnifiedDiff(text, patch, &result, &reason)) << reason;
    EXPECT_EQ(result, "start\na\nb\nC\nC2\nd\ne\nf\n");

    const std::string changedContext = "--- whole.out\n+++ case.out\n@@ -2,2 +2,2 @@\n x\n-c\n+C\n";
    EXPECT_FALSE(ApplyUnifiedDiff(text, changedContext, &result, &reason));
    EXPECT_NE(reason.find("line 2 is not \"x\""), std::string::npos) << reason;
    const std::string wrongCount = "--- whole.out\n+++ case.out\n@@ -2,3 +2,2 @@\n b\n-c\n+C\n";
    EXPECT_FALSE(ApplyUnifiedDiff(text, wrongCount, &result, &reason));
    const std::string wrongPlace = "--- whole.out\n+++ case.out\n@@ -2,2 +5,2 @@\n b\n-c\n+C\n";
    EXPECT_FALSE(ApplyUnifiedDiff(text, wrongPlace, &result, &reason));
    EXPECT_FALSE(ApplyUnifiedDiff("a\nb", "--- w\n+++ c\n@@ -1 +1 @@\n-a\n+A\n", &result, &reason));
}

// ---------------------------------------------------------------------------------------
// Logs.

TEST_F(BadInputTest, EmptyLogHasNoRows)
{
    work.WriteFile("flight.log", "");
    const RunResult result = Run({"flight.log"});
    ExpectRun(result, StatusNoRows, "cols[0]=0\nselected 0 row\nNeed rows >0, Exit\n", "");
}

TEST_F(BadInputTest, HeaderOnlyLogReportsColumnsAndNoRows)
{
    work.WriteFile("flight.log", std::string(FlightHeader) + "\n");
    const RunResult result = Run({"flight.log"});
    ExpectRun(result, StatusNoRows, JoinLines(FlightColumnReport) + "selected 0 row\nNeed rows >0, Exit\n", "");
}

TEST_F(BadInputTest, DirectoryGivenAsLogIsNotOpened)
{
    work.WriteFile("flight.log/inside.log", FlightLog(MakeFlight(3)));
    const RunResult result = Run({"flight.log"});
    ExpectRun(result, StatusNotOpen, "Not open 'flight.log'\n", "");
}

TEST_F(BadInputTest, MissingLogIsNotOpened)
{
    work.WriteFile("other.log", FlightLog(MakeFlight(3)));
    const RunResult result = Run({"missing.log"});
    ExpectRun(result, StatusNotOpen, "Not open 'missing.log'\n", "");
}

TEST_F(BadInputTest, TwentyMegabyteNumberIsOneSaturatedToken)
{
    // The huge number is the sample number of its row: it saturates, the row is not selected,
    // and its other values stay in the row under construction until the next line replaces them.
    std::string log = FlightLog(MakeFlight(4));
    log.insert(log.find('\n') + 1, std::string(20 * 1024 * 1024, '7') + ",1.0,2850.0,970.0,1\n");
    work.WriteFile("flight.log", log);
    ExpectViewerRun(Run({"flight.log"}));
}

TEST_F(BadInputTest, TwentyMegabyteBlankRunIsOneSeparator)
{
    // One run of blanks is one separator: after the comma and the run, gps_time stands in
    // column 2, and the data lines leave column 1 empty to match.
    const std::vector<FlightRow> rows = MakeFlight(4);
    std::string log = "samplenumber," + std::string(20 * 1024 * 1024, ' ') + "gps_time,gps_curlat,gps_curlon,gps_curalt\n";
    for (const FlightRow& r : rows)
        log += r.samplenumber + ",," + r.gps_time + "," + r.gps_curlat + "," + r.gps_curlon + "," + r.gps_curalt + "\n";
    work.WriteFile("flight.log", log);
    ExpectViewerRun(Run({"flight.log"}));
}

TEST_F(BadInputTest, CarriageReturnsAloneEndLines)
{
    const std::vector<FlightRow> rows = MakeFlight(20);
    work.WriteFile("flight.log", FlightLog(rows, "\r"));
    ExpectViewerRun(Run({"flight.log"}));
}

TEST_F(BadInputTest, FourHundredDigitNumbersSaturateOrRound)
{
    const std::string digits400(400, '9');
    std::vector<FlightRow> rows = MakeFlight(6);
    // Integer column: the sample number saturates at the int32 maximum, which no range
    // selects, so the row is not accepted and the next row overwrites all its fields.
    FlightRow hugeSample = rows[2];
    hugeSample.samplenumber = digits400;
    // Floating columns: 400 digits after the point round to the nearest double.
    rows[3].gps_curlat = "2850.6" + std::string(397, '1');
    rows[3].gps_curlon = "970.1" + std::string(398, '9');
    rows[4].gps_time = "101." + std::string(396, '0') + "5";
    // 400 integer digits overflow a double: the altitude becomes infinite, which only the
    // scene reads.
    rows[5].gps_curalt = digits400;
    std::string log = std::string(FlightHeader) + "\n";
    for (size_t i = 0; i < rows.size(); ++i)
    {
        if (i == 2)
            log += hugeSample.samplenumber + "," + hugeSample.gps_time + "," + hugeSample.gps_curlat + "," + hugeSample.gps_curlon + "," + hugeSample.gps_curalt + "\n";
        log += rows[i].samplenumber + "," + rows[i].gps_time + "," + rows[i].gps_curlat + "," + rows[i].gps_curlon + "," + rows[i].gps_curalt + "\n";
    }
    work.WriteFile("flight.log", log);
    ExpectViewerRun(Run({"flight.log"}));
}

// ---------------------------------------------------------------------------------------
// Terrain and scene files. Each case writes a good log of the same short flight and breaks
// one kind of data file; the rest of the world is missing, as on a first run.

// A real JPEG of size x size pixels, written by the library's own JPEG writer.
std::string MakeJpeg(int size)
{
    const std::string jpeg = EncodedImage(size, size, [](int x, int y, unsigned char* rgb) {
        rgb[0] = static_cast<unsigned char>(x * 4);
        rgb[1] = static_cast<unsigned char>(y * 4);
        rgb[2] = static_cast<unsigned char>((x ^ y) * 8);
    }, "jpg");
    EXPECT_FALSE(jpeg.empty()) << "no JPEG writer plug-in";
    return jpeg;
}

// The map frame of the flight below, as its transcripts print it (CI,CJ=91655 142846):
// in the middle of elevation tile 89, 139, so that the whole terrain reads that one file.
const int32_t FlightCI = 91655;
const int32_t FlightCJ = 142846;

// Name of the level-18 imagery tile at offset (i, j) from the centre tile.
std::string FinestImageryName(int i, int j)
{
    char name[64];
    snprintf(name, sizeof name, "./img/s-%ld-%ld.jpg", static_cast<long>(FlightCI + i), static_cast<long>(FlightCJ + j));
    return name;
}

class BadSceneFileTest : public BadInputTest
{
protected:
    void SetUp() override { work.WriteFile("flight.log", FlightLog(MakeFlight(40))); }

    // The transcript of a run in which no data file of the scene could be read.
    void ExpectNothingReadable() { ExpectViewerRun(Run({"flight.log"}), "NothingReadable"); }
};

TEST_F(BadSceneFileTest, BrokenImageryFallsBackToGrass)
{
    // Four tiles of the first row of level 18: a good JPEG; text; a JPEG cut in half, which
    // the library decodes as far as it goes (an image, so no report); an empty file. Beside
    // them a JPEG cut inside its header, and a good grass texture.
    const std::string jpeg = MakeJpeg(64);
    ASSERT_GT(jpeg.size(), 1000u);
    work.WriteFile(FinestImageryName(-3, -3), jpeg);
    work.WriteFile(FinestImageryName(-3, -2), "this is an imagery tile, honestly\n");
    work.WriteFile(FinestImageryName(-3, -1), jpeg.substr(0, jpeg.size() / 2));
    work.WriteFile(FinestImageryName(-3, 0), "");
    work.WriteFile(FinestImageryName(-3, 1), jpeg.substr(0, 20));
    work.WriteFile("res/grass_1.jpg", jpeg);

    // Only the good JPEG and the halved one are read; the others fall back to grass.
    ExpectViewerRun(Run({"flight.log"}));
}

TEST_F(BadSceneFileTest, UnreadableGrassLeavesPatchesWithoutImage)
{
    work.WriteFile("res/grass_1.jpg", std::string(5000, '\xFF'));
    ExpectNothingReadable();
}

TEST_F(BadSceneFileTest, DirectoriesNamedLikeSceneFilesAreNotRead)
{
    // Folders where the imagery, grass, sky, model and its texture should be: each is a file
    // that cannot be read, and each is replaced as such.
    work.WriteFile(FinestImageryName(0, 0).substr(2) + "/tile.jpg", MakeJpeg(16));
    work.MakeDirectory("res/grass_1.jpg");
    work.MakeDirectory("sky12q-1024x512.jpeg");
    work.MakeDirectory("EasyStar/data/body.ac");
    work.MakeDirectory("res/tamor1.jpg");
    ExpectNothingReadable();
}

TEST_F(BadSceneFileTest, ModelThatIsNotAc3dGivesTheShapeAircraft)
{
    std::string model = "AC3Dx\nthis is no model\n";
    for (int b = 0; b < 4096; ++b)
        model += static_cast<char>(b * 131 % 256);
    work.WriteFile("EasyStar/data/body.ac", model);
    work.WriteFile("res/tamor1.jpg", "no texture either");
    ExpectNothingReadable();
}

TEST_F(BadSceneFileTest, TruncatedAc3dModelIsSurvived)
{
    // A model that starts as a real one and stops in the middle of its vertex list.
    work.WriteFile("EasyStar/data/body.ac",
                   "AC3Db\nMATERIAL \"grey\" rgb 0.5 0.5 0.5 amb 0.2 0.2 0.2 emis 0 0 0 spec 0 0 0 shi 10 trans 0\n"
                   "OBJECT world\nkids 1\nOBJECT poly\nname \"body\"\nnumvert 400\n0 0 0\n1 0 0\n1 1");
    ExpectNothingReadable();
}

TEST_F(BadSceneFileTest, SkyTextureThatIsNotAnImageLeavesNoSky)
{
    work.WriteFile("sky12q-1024x512.jpeg", "<html>moved permanently</html>\n");
    ExpectNothingReadable();
}

TEST_F(BadSceneFileTest, TruncatedSkyTextureIsSurvived)
{
    const std::string jpeg = MakeJpeg(128);
    work.WriteFile("sky12q-1024x512.jpeg", jpeg.substr(0, jpeg.size() / 3));
    ExpectNothingReadable();
}

} // namespace
