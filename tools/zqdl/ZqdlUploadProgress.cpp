#include "tools/zqdl/ZqdlUploadProgress.hpp"

#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQDataLayerServices.hpp"
#include "ZQDataLayerRemote/upload/ZQObjectRESTUploaderService.hpp"
#include "platform/Mutex.hpp"

namespace zqdl {

namespace {
// A terminal redrawn for every few kilobytes would spend more time printing than sending.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
}  // namespace

struct ZqdlUploadProgress::State {
    explicit State(FILE* o) : out(o) {}
    FILE* const out;
    platform::Mutex mutex;
    std::vector<File> files GUARDED_BY(mutex);
    std::vector<const void*> references GUARDED_BY(mutex);  // files[i]'s reference, for identity
    std::chrono::steady_clock::time_point drawn GUARDED_BY(mutex);
    bool printed GUARDED_BY(mutex) = false;
    bool ended GUARDED_BY(mutex) = false;

    void report(const std::shared_ptr<ZQSingleBinaryDataFieldReference>& reference, int64_t sent,
                int64_t total) EXCLUDES(mutex) {
        platform::MutexLock lock(mutex);
        if (ended) return;
        size_t at = 0;
        while (at < references.size() && references[at] != reference.get()) ++at;
        bool first = at == references.size();
        if (first) {
            std::optional<std::filesystem::path> path = reference->filePath();
            references.push_back(reference.get());
            files.push_back({path ? path->filename().string() : reference->objectReferenceName()});
        }
        files[at].sent = sent;
        files[at].total = total;
        auto now = std::chrono::steady_clock::now();
        // A file's first and last figures are always shown; those between at a steady pace.
        if (!first && sent < total && now - drawn < kRedrawInterval) return;
        drawn = now;
        printed = true;
        // "\x1b[K" clears what a longer line before left at the end.
        std::fprintf(out, "\r%s\x1b[K", line(files).c_str());
        std::fflush(out);
    }

    void end() EXCLUDES(mutex) {
        platform::MutexLock lock(mutex);
        ended = true;
        if (printed) std::fputc('\n', out);
        std::fflush(out);
    }
};

std::unique_ptr<ZqdlUploadProgress> ZqdlUploadProgress::startIfTerminal() {
    if (!isatty(STDERR_FILENO)) return nullptr;
    auto service = std::dynamic_pointer_cast<ZQObjectRESTUploaderService>(
        ZQDataLayerServices::objectUploaderService());
    if (!service) return nullptr;
    return std::make_unique<ZqdlUploadProgress>(std::move(service), stderr);
}

ZqdlUploadProgress::ZqdlUploadProgress(std::shared_ptr<ZQObjectRESTUploaderService> service,
                                       FILE* out)
    : service_(std::move(service)), state_(std::make_shared<State>(out)) {
    // The state, not this object: an upload still running after the command ends finds it.
    service_->setProgressObserver(
        [state = state_](const std::shared_ptr<ZQSingleBinaryDataFieldReference>& reference,
                         int64_t sent, int64_t total) { state->report(reference, sent, total); });
}

ZqdlUploadProgress::~ZqdlUploadProgress() {
    service_->setProgressObserver(nullptr);
    state_->end();
}

std::string ZqdlUploadProgress::line(const std::vector<File>& files) {
    std::string text = "upload:";
    for (size_t i = 0; i < files.size(); ++i) {
        text += (i ? ", " : " ") + files[i].name + " " + std::to_string(files[i].sent) + " of " +
                std::to_string(files[i].total) + " bytes";
    }
    return text;
}

}  // namespace zqdl
