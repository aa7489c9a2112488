#include "world/HttpClient.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <unistd.h>

#include <curl/curl.h>

#include "batch/CommandReport.h"

std::string PartialName(const std::string& path)
{
    static std::atomic<unsigned> count{0};
    return path + ".partial-" + std::to_string(getpid()) + "-" + std::to_string(count++);
}

static double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

HttpClient::HttpClient(const HttpManners& manners) : manners(manners)
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    curl = curl_easy_init();
}

HttpClient::~HttpClient()
{
    if (curl)
        curl_easy_cleanup(static_cast<CURL*>(curl));
}

// Sleeps for `seconds`, in short steps so that a stop signal ends the wait; false when one did.
static bool Wait(double seconds)
{
    const double until = Now() + seconds;
    for (double left = seconds; left > 0 && !StopSignal(); left = until - Now())
        std::this_thread::sleep_for(std::chrono::duration<double>(std::min(left, 0.05)));
    return !StopSignal();
}

bool HttpClient::Pace()
{
    if (!Wait(lastStart + manners.minimumInterval - Now()))
        return false;
    lastStart = Now();
    ++requests;
    return true;
}

double RetryAfterSeconds(const std::string& value, int64_t now)
{
    const size_t first = value.find_first_not_of(" \t");
    if (first == std::string::npos)
        return -1.0;
    const std::string text = value.substr(first, value.find_last_not_of(" \t\r\n") + 1 - first);
    char* end = nullptr;
    const double seconds = strtod(text.c_str(), &end);
    if (!text.empty() && isdigit(static_cast<unsigned char>(text[0])) && *end == '\0')
        return seconds;
    const time_t date = curl_getdate(text.c_str(), nullptr);
    return date < 0 ? -1.0 : std::max(0.0, static_cast<double>(date - now));
}

namespace
{

struct Transfer
{
    FILE* file = nullptr;          // the body goes here,
    std::string* bytes = nullptr;  // or here
    uint64_t received = 0;
    std::string retryAfter;        // the header's value, when the answer had one
    int64_t rangeTotal = -1;       // the whole file's size from a Content-Range
};

size_t WriteBody(char* data, size_t size, size_t count, void* user)
{
    Transfer* transfer = static_cast<Transfer*>(user);
    transfer->received += size * count;
    if (transfer->bytes)
    {
        transfer->bytes->append(data, size * count);
        return size * count;
    }
    return fwrite(data, size, count, transfer->file);
}

size_t ReadHeader(char* data, size_t size, size_t count, void* user)
{
    const std::string line(data, size * count);
    const size_t colon = line.find(':');
    if (colon == std::string::npos)
        return size * count;
    std::string name = line.substr(0, colon);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
    Transfer* transfer = static_cast<Transfer*>(user);
    if (name == "retry-after")
        transfer->retryAfter = line.substr(colon + 1);
    else if (name == "content-range")
    {
        const size_t slash = line.find('/', colon);
        if (slash != std::string::npos && isdigit(static_cast<unsigned char>(line[slash + 1])))
            transfer->rangeTotal = strtoll(line.c_str() + slash + 1, nullptr, 10);
    }
    return size * count;
}

// Ends a transfer that a stop signal interrupted.
int Progress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return StopSignal() ? 1 : 0;
}

} // namespace

HttpResult HttpClient::Probe(const std::string& url)
{
    return Perform(Kind::Head, url, "", 0, 0, nullptr);
}

HttpResult HttpClient::Download(const std::string& url, const std::string& path, BodyCheck check)
{
    return Perform(Kind::File, url, path, 0, 0, nullptr, check);
}

HttpResult HttpClient::ReadRange(const std::string& url, uint64_t offset, size_t length, std::string* bytes)
{
    HttpResult result = Perform(Kind::Range, url, "", offset, length, bytes);
    if (result.error.empty() && result.status == 200)
    {
        // The whole file came: the range is cut out of it.
        result.size = static_cast<int64_t>(bytes->size());
        *bytes = offset < bytes->size() ? bytes->substr(offset, length) : std::string();
        result.status = 206;
    }
    return result;
}

// The first bytes of a file, enough to tell its kind.
static std::string Head(const std::string& path)
{
    std::string head(64, '\0');
    FILE* file = fopen(path.c_str(), "rb");
    head.resize(file ? fread(&head[0], 1, head.size(), file) : 0);
    if (file)
        fclose(file);
    return head;
}

HttpResult HttpClient::Perform(Kind kind, const std::string& url, const std::string& path, uint64_t offset, size_t length, std::string* bytes, BodyCheck check)
{
    HttpResult result;
    CURL* handle = static_cast<CURL*>(curl);
    if (!handle)
    {
        result.error = "libcurl could not be started";
        return result;
    }
    const std::string partial = kind == Kind::File ? PartialName(path) : "";
    const std::string range = std::to_string(offset) + "-" + std::to_string(offset + length - 1);
    for (int attempt = 0;; ++attempt)
    {
        Transfer transfer;
        if (kind == Kind::File)
        {
            transfer.file = fopen(partial.c_str(), "wb");
            if (!transfer.file)
            {
                result.error = "cannot write '" + partial + "'";
                return result;
            }
        }
        std::string discarded; // a HEAD's body, of which there is none
        transfer.bytes = kind == Kind::File ? nullptr : kind == Kind::Range ? bytes : &discarded;
        if (bytes)
            bytes->clear();
        char curlError[CURL_ERROR_SIZE] = "";
        curl_easy_reset(handle);
        curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
        curl_easy_setopt(handle, CURLOPT_NOBODY, kind == Kind::Head ? 1L : 0L);
        if (kind == Kind::Range)
            curl_easy_setopt(handle, CURLOPT_RANGE, range.c_str());
        curl_easy_setopt(handle, CURLOPT_USERAGENT, manners.userAgent.c_str());
        curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 5L);
        curl_easy_setopt(handle, CURLOPT_TIMEOUT, manners.timeout);
        curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 30L);
        curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, curlError);
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, WriteBody);
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
        curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, ReadHeader);
        curl_easy_setopt(handle, CURLOPT_HEADERDATA, &transfer);
        curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, Progress);
        curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
        CURLcode code = CURLE_ABORTED_BY_CALLBACK;
        if (Pace())
            code = curl_easy_perform(handle);
        received += transfer.received;
        const bool closed = !transfer.file || fclose(transfer.file) == 0;
        result.status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &result.status);
        result.error.clear();
        if (code == CURLE_ABORTED_BY_CALLBACK)
            result.error = "interrupted by signal " + std::to_string(StopSignal());
        else if (code != CURLE_OK)
            result.error = curlError[0] ? curlError : curl_easy_strerror(code);
        else if (!closed)
            result.error = "cannot write '" + partial + "'";
        curl_off_t size = -1;
        if (kind == Kind::Head && curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size) == CURLE_OK)
            result.size = size;
        else if (kind == Kind::Range)
            result.size = transfer.rangeTotal;
        const bool busy = code == CURLE_OK && (result.status == 429 || result.status == 503);
        if (kind == Kind::File)
        {
            if (check && result.Saved())
                result.unwanted = check(Head(partial));
            if (result.Saved())
            {
                if (rename(partial.c_str(), path.c_str()) == 0)
                    return result;
                result.error = "cannot rename '" + partial + "'";
            }
            remove(partial.c_str());
        }
        else if (!busy)
            return result;
        if (!busy || attempt >= manners.retries)
            return result;
        const double asked = RetryAfterSeconds(transfer.retryAfter, static_cast<int64_t>(time(nullptr)));
        const double wait = std::min(asked >= 0 ? asked : manners.defaultRetryWait * (attempt + 1), manners.longestRetryWait);
        EndProgress();
        fprintf(stderr, "fetch: %s answered %ld, trying again in %.0f s\n", url.c_str(), result.status, wait);
        if (!Wait(wait))
        {
            result.error = "interrupted by signal " + std::to_string(StopSignal());
            return result;
        }
    }
}

void ShowProgress(const std::string& text)
{
    if (isatty(STDERR_FILENO) == 0)
        return;
    // Back to the line's start, the text, and the rest of a longer line before it erased; the
    // cursor stays at the end of the line, where EndProgress finds it.
    fprintf(stderr, "\r%s\x1b[K", text.c_str());
    fflush(stderr);
}

void EndProgress()
{
    // Whatever stands on the terminal's last line, the next line starts afresh.
    if (isatty(STDERR_FILENO) != 0)
        fputs("\r\x1b[K", stderr);
}

bool HttpResult::Refused() const
{
    return (error.empty() && status >= 400 && status < 500 && status != 404 && status != 408 && status != 429) || !unwanted.empty();
}

std::string HttpResult::Reason() const
{
    if (!error.empty())
        return error;
    if (!unwanted.empty())
        return "answered " + unwanted + " with status 200";
    const char* meaning = status == 401 ? " (unauthorised: the source wants credentials)" : status == 403 ? " (forbidden)" : "";
    return "HTTP status " + std::to_string(status) + meaning;
}

std::string ContentKind(const std::string& head)
{
    const auto starts = [&head](const std::string& signature) { return head.compare(0, signature.size(), signature) == 0; };
    if (starts("\xFF\xD8\xFF"))
        return "JPEG";
    if (starts("\x89PNG\r\n\x1A\n"))
        return "PNG";
    if (starts("RIFF") && head.size() >= 12 && head.compare(8, 4, "WEBP") == 0)
        return "WebP";
    if (starts("GIF8"))
        return "GIF";
    if (starts(std::string("II*\0", 4)) || starts(std::string("MM\0*", 4)) || starts(std::string("II+\0", 4)) || starts(std::string("MM\0+", 4)))
        return "TIFF";
    if (head.empty())
        return "an empty body";
    std::string text = head.substr(starts("\xEF\xBB\xBF") ? 3 : 0);
    text.erase(0, std::min(text.size(), text.find_first_not_of(" \t\r\n")));
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
    if (text.rfind("<!doctype html", 0) == 0 || text.rfind("<html", 0) == 0 || text.rfind("<head", 0) == 0)
        return "an HTML page";
    if (text.rfind("<", 0) == 0)
        return "an XML document";
    if (text.rfind("{", 0) == 0 || text.rfind("[", 0) == 0)
        return "a JSON document";
    if (std::all_of(text.begin(), text.end(), [](unsigned char c) { return c >= 0x20 || c == '\t' || c == '\r' || c == '\n'; }))
        return "text";
    return "bytes of no known kind";
}

std::string ForbiddenSourceReason(const std::string& url)
{
    const size_t scheme = url.find("://");
    const size_t start = scheme == std::string::npos ? 0 : scheme + 3;
    const size_t end = url.find_first_of(":/?", start);
    std::string host = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::transform(host.begin(), host.end(), host.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
    auto within = [&](const std::string& domain) { return host == domain || (host.size() > domain.size() && host.compare(host.size() - domain.size() - 1, std::string::npos, "." + domain) == 0); };
    if (within("tile.openstreetmap.org") || within("tile.osm.org"))
        return "the OpenStreetMap tile servers' usage policy forbids bulk and offline downloading; use a tile provider or a local tile folder that allows it";
    if (within("arcgisonline.com") && url.find("World_Imagery") != std::string::npos)
        return "the terms of Esri's World Imagery forbid keeping its tiles outside Esri's own products; use a licensed or local source";
    return {};
}
