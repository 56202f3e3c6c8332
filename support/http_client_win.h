#pragma once
// clsHTTP: one resource over plain HTTP/1.0 with a GET, into memory or a file,
// on WinINet. No redirects of its own, no status check: an error page is a body.
#include <windows.h>
#include <wininet.h>

#include <string>

#include "core/user_prompt.h"
#include "core/yielder.h"

namespace qv {

class clsHTTP {
public:
    // The session is opened here; connect, send and receive each give up after
    // `timeoutMs`, so a server that accepts and never answers cannot hold the
    // program for good.
    clsHTTP(UserPrompt& prompt, Yielder* yielder = nullptr, DWORD timeoutMs = 10'000);
    ~clsHTTP();
    clsHTTP(const clsHTTP&) = delete;
    clsHTTP& operator=(const clsHTTP&) = delete;

    // Opens the connection and sends the request; Url loses its "http://".
    bool Connect(std::string& Url, const std::string& AdditionalHeader);
    // True when the body was read to its end. In memory mode (or with no
    // LocalFile) the body goes to Data; a body over 1 MiB is not read, and the
    // result is false with nothing shown.
    bool GetFile(std::string Url, const std::string& LocalFile, std::string& Data, bool& ToMemory,
                 const std::string& AdditionalHeader = "");
    static bool FileExist(const std::string& FileName);

    int32_t ContentLength() const { return lContentLength; }
    const std::string& LastModified() const { return sLastModified; }
    const std::string& Forwarded() const { return sForwarded; }
    const std::string& LastError() const { return sLastError; }
    const std::string& URL() const { return sURL; }

private:
    std::string GetQueryInfo(HINTERNET hHttpRequest, DWORD iInfoLevel);
    void closeRequest();

    UserPrompt& prompt_;
    Yielder* yielder_;
    DWORD timeoutMs_;
    HINTERNET hInternetSession = nullptr;
    HINTERNET hInternetConnect = nullptr;
    HINTERNET hHttpOpenRequest = nullptr;
    std::string sURL;
    std::string sLastError;
    int32_t lContentLength = 0;
    std::string sLastModified;
    std::string sForwarded;
};

}  // namespace qv
