#include "world/HttpClient.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>

#include <curl/curl.h>

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

void HttpClient::Pace()
{
    const double wait = lastStart + manners.minimumInterval - Now();
    if (wait > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(wait));
    lastStart = Now();
    ++requests;
}

namespace
{

struct Transfer
{
    FILE* file = nullptr;
    double retryAfter = -1.0; // seconds, when the answer said so
};

size_t WriteBody(char* data, size_t size, size_t count, void* user)
{
    return fwrite(data, size, count, static_cast<Transfer*>(user)->file);
}

size_t ReadHeader(char* data, size_t size, size_t count, void* user)
{
    const std::string line(data, size * count);
    const std::string name = "retry-after:";
    if (line.size() > name.size())
    {
        std::string head = line.substr(0, name.size());
        std::transform(head.begin(), head.end(), head.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
        char* end = nullptr;
        const double seconds = strtod(line.c_str() + name.size(), &end);
        // Only the form in seconds; an HTTP date gets the default wait.
        if (head == name && end != line.c_str() + name.size() && seconds >= 0)
            static_cast<Transfer*>(user)->retryAfter = seconds;
    }
    return size * count;
}

} // namespace

HttpResult HttpClient::Probe(const std::string& url)
{
    return Perform(url, "");
}

HttpResult HttpClient::Download(const std::string& url, const std::string& path)
{
    return Perform(url, path);
}

HttpResult HttpClient::Perform(const std::string& url, const std::string& path)
{
    HttpResult result;
    CURL* handle = static_cast<CURL*>(curl);
    if (!handle)
    {
        result.error = "libcurl could not be started";
        return result;
    }
    const bool probe = path.empty();
    const std::string partial = probe ? "/dev/null" : PartialName(path);
    for (int attempt = 0;; ++attempt)
    {
        Transfer transfer;
        transfer.file = fopen(partial.c_str(), "wb");
        if (!transfer.file)
        {
            result.error = "cannot write '" + partial + "'";
            return result;
        }
        char curlError[CURL_ERROR_SIZE] = "";
        curl_easy_reset(handle);
        curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
        curl_easy_setopt(handle, CURLOPT_NOBODY, probe ? 1L : 0L);
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
        Pace();
        const CURLcode code = curl_easy_perform(handle);
        const bool closed = fclose(transfer.file) == 0;
        result.status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &result.status);
        result.error.clear();
        if (code != CURLE_OK)
            result.error = curlError[0] ? curlError : curl_easy_strerror(code);
        else if (!closed)
            result.error = "cannot write '" + partial + "'";
        if (probe && result.error.empty() && result.status != 429 && result.status != 503)
            return result;
        if (result.Saved() && !probe)
        {
            if (rename(partial.c_str(), path.c_str()) == 0)
                return result;
            result.error = "cannot rename '" + partial + "'";
        }
        if (!probe)
            remove(partial.c_str());
        const bool busy = code == CURLE_OK && (result.status == 429 || result.status == 503);
        if (!busy || attempt >= manners.retries)
            return result;
        const double wait = std::min(transfer.retryAfter >= 0 ? transfer.retryAfter : manners.defaultRetryWait * (attempt + 1), manners.longestRetryWait);
        fprintf(stderr, "fetch: %s answered %ld, trying again in %.0f s\n", url.c_str(), result.status, wait);
        std::this_thread::sleep_for(std::chrono::duration<double>(wait));
    }
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
