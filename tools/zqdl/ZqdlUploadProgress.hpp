// The upload progress line of zqdl's save commands: while a save uploads its files, one line on
// standard error with the bytes sent of each file's size ("upload: photo.png 4096 of 70000 bytes"),
// rewritten in place with "\r" and ended when the command goes on. Only for a terminal: made by
// startIfTerminal, owned by the command for the length of its run. Reports come on the
// transport's thread; the shared state's mutex guards the files and the line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class ZQObjectRESTUploaderService;

namespace zqdl {

class ZqdlUploadProgress {
  public:
    struct File {
        std::string name;
        int64_t sent = 0;
        int64_t total = 0;
    };

    // Observes the registered uploader service when standard error is a terminal; none when it
    // is not (a file, a pipe) or when the service is not the library's.
    [[nodiscard]] static std::unique_ptr<ZqdlUploadProgress> startIfTerminal();
    // Observes the service and writes to out.
    ZqdlUploadProgress(std::shared_ptr<ZQObjectRESTUploaderService> service, FILE* out);
    // Stops observing and ends the line (a report arriving later is dropped).
    ~ZqdlUploadProgress();
    ZqdlUploadProgress(const ZqdlUploadProgress&) = delete;
    ZqdlUploadProgress& operator=(const ZqdlUploadProgress&) = delete;

    // The text of the line, files in the order their first report came.
    static std::string line(const std::vector<File>& files);

  private:
    struct State;
    std::shared_ptr<ZQObjectRESTUploaderService> service_;
    std::shared_ptr<State> state_;
};

}  // namespace zqdl
