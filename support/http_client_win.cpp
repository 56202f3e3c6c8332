#include "support/http_client_win.h"

#include <vector>

#include "core/utf.h"
#include "core/whole_file.h"
#include "support/http_client.h"

namespace qv {

namespace {

// Set on every handle, not only on the session: Wine's WinINet starts each
// connection with no send or receive timeout of its own, so a server that
// accepts and never answers would hold the request for good.
void setTimeouts(HINTERNET handle, DWORD timeoutMs) {
    if (!handle) return;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                         INTERNET_OPTION_DATA_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT})
        InternetSetOptionW(handle, option, &timeoutMs, sizeof timeoutMs);
}

}  // namespace

clsHTTP::clsHTTP(UserPrompt& prompt, Yielder* yielder, DWORD timeoutMs)
    : prompt_(prompt), yielder_(yielder), timeoutMs_(timeoutMs) {
    hInternetSession = InternetOpenW(L"http protocol", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    sLastError = hInternetSession ? "" : "InternetOpen failed.";
    setTimeouts(hInternetSession, timeoutMs_);
}

clsHTTP::~clsHTTP() {
    closeRequest();
    if (hInternetSession) InternetCloseHandle(hInternetSession);
    if (hInternetConnect) InternetCloseHandle(hInternetConnect);
}

void clsHTTP::closeRequest() {
    if (hHttpOpenRequest) InternetCloseHandle(hHttpOpenRequest);
    hHttpOpenRequest = nullptr;
}

std::string clsHTTP::GetQueryInfo(HINTERNET hHttpRequest, DWORD iInfoLevel) {
    std::vector<wchar_t> buffer(1024, L'\0');
    DWORD length = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (!HttpQueryInfoW(hHttpRequest, iInfoLevel, buffer.data(), &length, nullptr)) return {};
    std::wstring text(buffer.data(), length / sizeof(wchar_t));
    const size_t first = text.find_first_not_of(L' ');
    const size_t last = text.find_last_not_of(L' ');
    return first == std::wstring::npos ? std::string() : toUtf8(text.substr(first, last - first + 1));
}

bool clsHTTP::Connect(std::string& Url, const std::string& AdditionalHeader) {
    const HttpTarget target = splitUrl(Url);
    sURL.clear();
    const auto failed = [&](const char* message) {
        sLastError = message;
        sURL = Url;
        return false;
    };
    if (!hInternetSession) return failed("InternetSession failed");
    if (hInternetConnect) InternetCloseHandle(hInternetConnect);
    closeRequest();
    hInternetConnect = InternetConnectW(hInternetSession, toWide(target.host).c_str(), target.port, nullptr,
                                        nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (!hInternetConnect) return failed("InternetConnect failed");
    setTimeouts(hInternetConnect, timeoutMs_);
    hHttpOpenRequest = HttpOpenRequestW(hInternetConnect, L"GET", toWide(target.object).c_str(), L"HTTP/1.0",
                                        nullptr, nullptr, INTERNET_FLAG_RELOAD, 0);
    setTimeouts(hHttpOpenRequest, timeoutMs_);
    if (!AdditionalHeader.empty() && hHttpOpenRequest) {
        const std::wstring header = toWide(AdditionalHeader);
        HttpAddRequestHeadersW(hHttpOpenRequest, header.c_str(), static_cast<DWORD>(header.size()),
                               HTTP_ADDREQ_FLAG_ADD_IF_NEW);
    }
    if (!hHttpOpenRequest) return failed("HttpOpenRequest failed");
    if (!HttpSendRequestW(hHttpOpenRequest, nullptr, 0, nullptr, 0)) return failed("HttpSendRequest failed");
    lContentLength = leadingInteger(GetQueryInfo(hHttpOpenRequest, HTTP_QUERY_CONTENT_LENGTH));
    sLastModified = GetQueryInfo(hHttpOpenRequest, HTTP_QUERY_LAST_MODIFIED);
    sForwarded = GetQueryInfo(hHttpOpenRequest, HTTP_QUERY_FORWARDED);
    sLastError.clear();
    sURL = Url;
    return true;
}

bool clsHTTP::FileExist(const std::string& FileName) { return regularFileExists(FileName); }

bool clsHTTP::GetFile(std::string Url, const std::string& LocalFile, std::string& Data, bool& ToMemory,
                      const std::string& AdditionalHeader) {
    if (!Connect(Url, AdditionalHeader)) return false;
    if (LocalFile.empty()) ToMemory = true;
    if (ToMemory) Data.clear();
    std::string body;
    std::vector<char> chunk(kHttpChunk);
    bool readFailed = false;
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(hHttpOpenRequest, chunk.data(), static_cast<DWORD>(chunk.size()), &read)) {
            readFailed = true;
            break;
        }
        if (read == 0) break;
        body.append(chunk.data(), read);
        if (ToMemory && body.size() > kMaxMemoryBody) {
            // Not what a version file looks like: nothing more is read or used.
            closeRequest();
            Data.clear();
            return false;
        }
        if (yielder_) yielder_->yield();
    }
    closeRequest();
    bool written = true;
    // The whole body replaces the local file at once, so a failed download
    // never leaves half a file where a whole one stood.
    if (!readFailed && !ToMemory) written = replaceWholeFile(LocalFile, body);
    if (ToMemory) Data = bytesAsText(body);
    if (readFailed || !written) {
        prompt_.ask("Could not retrieve latest version", "Error", Buttons::Ok, Icon::Exclamation);
        return false;
    }
    return true;
}

}  // namespace qv
