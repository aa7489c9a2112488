#include "DataToolSupport.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

void DataToolFixture::SetUp()
{
    previousDirectory = std::filesystem::current_path();
    char pattern[] = "/tmp/flightreplay-data-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory = pattern;
    std::filesystem::current_path(directory);
}

void DataToolFixture::TearDown()
{
    std::filesystem::current_path(previousDirectory);
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
}

static std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

int RunCommand(const std::string& commandLine, std::string* out)
{
    FILE* pipe = popen(commandLine.c_str(), "r");
    if (!pipe)
        return -1000;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    const int status = pclose(pipe);
    if (out)
        *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
}

int DataToolFixture::RunTool(const std::vector<std::string>& arguments, std::string* out, std::string* err)
{
    std::string commandLine = Quoted(FLIGHTREPLAY_DATA_BINARY);
    for (const std::string& argument : arguments)
        commandLine += " " + Quoted(argument);
    commandLine += " 2>stderr.txt";
    const int status = RunCommand(commandLine, out);
    if (err)
        *err = ReadText("stderr.txt");
    std::remove("stderr.txt");
    return status;
}

void DataToolFixture::WriteText(const std::string& name, const std::string& text)
{
    const std::filesystem::path path(name);
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    std::ofstream(name, std::ios::binary) << text;
}

std::string DataToolFixture::ReadText(const std::string& name)
{
    std::ifstream file(name, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

bool DataToolFixture::Exists(const std::string& name)
{
    return std::filesystem::exists(name);
}
