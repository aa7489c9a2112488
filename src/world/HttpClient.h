#pragma once
#include <cstdint>
#include <string>

// Downloads over HTTP(S) with libcurl, one at a time (a single connection, kept alive), with
// the manners a tile server asks for: an identifying User-Agent, a pause between requests,
// and waiting out 429 and 503 answers for as long as their Retry-After says (capped). A stop
// signal (batch/CommandReport.h, CatchStopSignals) ends a transfer or a wait early, with an
// error and nothing left behind.

struct HttpManners
{
    std::string userAgent;
    double minimumInterval = 0.2;   // seconds from the start of one request to the next
    int retries = 3;                // further tries after a 429 or 503
    double longestRetryWait = 60.0; // seconds; a longer Retry-After is cut to this
    double defaultRetryWait = 5.0;  // seconds, times the try's number, when the answer gives no Retry-After
    long timeout = 120;             // seconds for a whole transfer
};

struct HttpResult
{
    long status = 0;   // the final HTTP status; 0 when no answer came
    std::string error; // why the transfer failed, when it did (status 0 or a cut-off body)
    int64_t size = -1; // bytes of the whole file: a HEAD's Content-Length, a range's Content-Range total; -1 unknown
    std::string unwanted; // what came with status 200 that the caller did not want ("an HTML page")
    bool Saved() const { return status == 200 && error.empty() && unwanted.empty(); }
    // Whether the source refused the request (a client error: 401, 403 and the like, but
    // neither 404 nor a timeout or "too many requests") or sent what was not wanted: its
    // answer, which no retry changes. Otherwise a failure is the network's or a busy server's.
    bool Refused() const;
    // The failure in a few words: the transfer's error, what came, or the status.
    std::string Reason() const;
};

// What the body whose first bytes are `head` holds: "JPEG", "PNG", "WebP", "GIF" or "TIFF"
// for the pictures and rasters a source serves, else what came instead, as a line names it:
// "an HTML page", "an XML document", "a JSON document", "text", "an empty body" or "bytes of
// no known kind".
std::string ContentKind(const std::string& head);

// Says what a body whose first bytes are `head` is when it is not wanted, or "" when it is.
using BodyCheck = std::string (*)(const std::string& head);

class HttpClient
{
public:
    explicit HttpClient(const HttpManners& manners);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // GETs the URL into `path`: the body goes to a temporary name beside it and is renamed
    // to `path` only when it came whole with status 200 and `check` (when given) wants it;
    // otherwise nothing is left behind.
    HttpResult Download(const std::string& url, const std::string& path, BodyCheck check = nullptr);

    // Asks for the URL's headers only (HEAD), with the same waits: its status says whether
    // the server has it, its size how long the file is.
    HttpResult Probe(const std::string& url);

    // GETs `length` bytes of the URL from byte `offset` (an HTTP range) into `bytes`, with the
    // same waits: status 206, or 200 when the server sent the whole file, of which the range
    // is kept. Fewer bytes than asked for only at the file's end.
    HttpResult ReadRange(const std::string& url, uint64_t offset, size_t length, std::string* bytes);

    // Requests sent so far, retries included, and the bytes of the bodies received.
    int Requests() const { return requests; }
    uint64_t BytesReceived() const { return received; }

private:
    enum class Kind { Head, File, Range };
    bool Pace(); // false when a stop signal came while waiting
    HttpResult Perform(Kind kind, const std::string& url, const std::string& path, uint64_t offset, size_t length, std::string* bytes, BodyCheck check = nullptr);

    HttpManners manners;
    void* curl = nullptr; // the libcurl easy handle, reused so the connection stays open
    double lastStart = -1e9;
    int requests = 0;
    uint64_t received = 0;
};

// The seconds a Retry-After header's value asks to wait: a count of seconds, or an HTTP date
// (RFC 9110) counted from `now` (seconds since 1970; a date past gives 0). Negative when it is
// neither.
double RetryAfterSeconds(const std::string& value, int64_t now);

// Progress on a terminal: ShowProgress writes the text over the one line it keeps at the
// foot of standard error, when that is a terminal, and nothing otherwise, so that logs and
// captured output hold only whole lines. EndProgress clears that line, so that what is printed
// next stands alone on it: every line printed while it shows must call it first.
void ShowProgress(const std::string& text);
void EndProgress();

// The temporary name a file of a shared cache is written under before it is renamed into
// place: beside it, unique to the process and to the call (NAME.partial-PID-COUNT), so that
// workers fetching the same file never write into one another's; the last rename wins, whole.
std::string PartialName(const std::string& path);

// Why a source URL must not be used, or empty when it may: the OpenStreetMap tile servers
// and the World Imagery of arcgisonline.com forbid bulk and offline copies in their terms.
std::string ForbiddenSourceReason(const std::string& url);
