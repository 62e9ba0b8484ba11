// Uploading files of 1 MB, 50 MB and 500 MB through the object uploader (a file reference, streamed
// from disk by the request pipeline) against a plain libcurl POST of the same file read from disk,
// to the sample server running as a separate process (zqdl serve), so that this process's memory
// is the uploader's alone. For each size: the time of each side (median of alternating runs, and
// the median of the pairs' ratios) and this process's peak resident memory above its idle figure
// while the uploader runs (the peak is reset before each of our runs). Then five files of 20 MB in
// one uploader at the default concurrency against the same five uploaded one after another.
#include <curl/curl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQObjectUploaderDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQSingleBinaryDataFieldReference.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "ZQDataLayerRemote/upload/ZQObjectRESTUploaderOperation.hpp"
#include "bench/BenchSupport.hpp"
#include "examples/sample-server/ZQSampleServer.hpp"
#include "platform/MainLoop.hpp"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Peak resident memory (VmHWM) and its reset, in MB.
double peakMB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// `zqdl serve` on a free port, stopped with the object.
class ServerProcess {
  public:
    explicit ServerProcess(const fs::path& zqdl, const fs::path& appDir) {
        int out[2];
        if (::pipe(out) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::execl(zqdl.c_str(), "zqdl", "--app-dir", appDir.c_str(), "serve", "--port", "0",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        std::string text;
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n') text += c;
        ::close(out[0]);
        const std::string prefix = "serving ";
        if (text.rfind(prefix, 0) == 0)
            url = text.substr(prefix.size(), text.find(' ', prefix.size()) - prefix.size());
    }
    ~ServerProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    std::string url;

  private:
    pid_t pid_ = -1;
};

class Delegate : public ZQObjectUploaderDelegate {
  public:
    std::optional<std::string> uploaderRestPath() const override { return "Sales/Invoice"; }
    void objectUploaderDidFailUploadingWithError(const std::shared_ptr<ZQObjectUploader>&,
                                                 const platform::ErrorPtr& error) override {
        std::fprintf(stderr, "upload failed: %s\n", error->description().c_str());
        failed = true;
    }
    bool failed = false;
};

// Our side: one uploader for the files, run to its end on the main loop.
bool uploadOurs(const std::vector<fs::path>& files) {
    ZQObjectRESTUploaderOperation::References references;
    for (const auto& file : files)
        references.push_back(ZQSingleBinaryDataFieldReference::createWithFile(file));
    auto uploader = ZQObjectRESTUploaderOperation::createWithBinaryDataFieldReferences(references);
    auto delegate = std::make_shared<Delegate>();
    uploader->setDelegate(delegate);
    uploader->start();
    bool done = platform::MainLoop::runUntil([&] { return uploader->isFinished(); }, 600);
    return done && !delegate->failed;
}

size_t readFile(char* buffer, size_t size, size_t count, void* file) {
    return std::fread(buffer, size, count, static_cast<FILE*>(file));
}
size_t discard(char*, size_t size, size_t count, void*) {
    return size * count;
}

// The plain side: a libcurl POST of the file read from disk as it goes.
bool uploadPlain(const fs::path& file, const std::string& url) {
    FILE* in = std::fopen(file.c_str(), "rb");
    if (!in) return false;
    CURL* easy = curl_easy_init();
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/octet-stream");
    headers = curl_slist_append(headers, "Expect:");
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, &readFile);
    curl_easy_setopt(easy, CURLOPT_READDATA, in);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(fs::file_size(file)));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &discard);
    long status = 0;
    bool ok = curl_easy_perform(easy) == CURLE_OK &&
              curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK &&
              status >= 200 && status < 300;
    curl_slist_free_all(headers);
    curl_easy_cleanup(easy);
    std::fclose(in);
    return ok;
}

void makeFile(const fs::path& path, size_t megabytes) {
    std::ofstream out(path, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (size_t i = 0; i < megabytes; ++i) {
        for (size_t j = 0; j < block.size(); j += 64) block[j] = static_cast<char>(i + j);
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

template <typename Work>
double seconds(Work&& work, bool* ok) {
    auto start = Clock::now();
    *ok = work() && *ok;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    const fs::path self = fs::read_symlink("/proc/self/exe");
    const fs::path zqdl = self.parent_path().parent_path() / "tools" / "zqdl" / "zqdl";
    const fs::path folder = zqbench::runFolder("zq-upload-bench");
    ServerProcess server(zqdl, folder / "server");
    if (server.url.empty()) {
        std::fprintf(stderr, "zqdl serve did not start (%s)\n", zqdl.c_str());
        return 1;
    }
    std::ifstream in(ZQSampleServer::sampleApplicationDirectory() / "model.json");
    std::stringstream text;
    text << in.rdbuf();
    std::string json = text.str();
    const std::string written = "http://127.0.0.1:8080/sample/";
    for (size_t at = json.find(written); at != std::string::npos; at = json.find(written))
        json.replace(at, written.size(), server.url);
    auto loaded = ZQApplicationModelLoader::loadFromString(json, "sample");
    if (loaded.error) return 1;
    ZQModel::setCurrentModel(ZQModel::create(loaded.model));
    const std::string plainURL = server.url + "rest/Sales/Invoice/zqobject";

    bool ok = true;
    std::printf(
        "upload of one file (median of alternating runs; goal: time within 1.2x, peak\n"
        "resident memory no more than 32 MB above idle)\n");
    std::printf("  %6s %10s %10s %7s %14s\n", "MB", "plain s", "ours s", "ratio", "ours peak +MB");
    for (size_t megabytes : {1, 50, 500}) {
        const fs::path file = folder / ("file-" + std::to_string(megabytes) + ".bin");
        makeFile(file, megabytes);
        const int runs = megabytes >= 500 ? 9 : megabytes >= 50 ? 7 : 15;
        double peakIncrease = 0;
        // The server stores what it is sent: each upload starts once the disk has written back
        // the last one's pages, which would otherwise slow whichever side came next, and the
        // side that goes first alternates.
        auto timePlain = [&] {
            ::sync();
            return seconds([&] { return uploadPlain(file, plainURL); }, &ok);
        };
        auto timeOurs = [&] {
            ::sync();
            resetPeak();
            const double idle = peakMB();
            double took = seconds([&] { return uploadOurs({file}); }, &ok);
            peakIncrease = std::max(peakIncrease, peakMB() - idle);
            return took;
        };
        const auto figures = zqbench::alternatePairs(timePlain, timeOurs, runs);
        std::printf("  %6zu %10.3f %10.3f %7.2f %14.1f\n", megabytes, figures.plainSeconds,
                    figures.measuredSeconds, figures.ratio, peakIncrease);
        fs::remove(file);
    }

    std::vector<fs::path> five;
    for (int i = 0; i < 5; ++i) {
        five.push_back(folder / ("five-" + std::to_string(i) + ".bin"));
        makeFile(five.back(), 20);
    }
    std::vector<double> together, apart;
    for (int run = 0; run < 3; ++run) {
        together.push_back(seconds([&] { return uploadOurs(five); }, &ok));
        apart.push_back(seconds(
            [&] {
                for (const auto& file : five)
                    if (!uploadOurs({file})) return false;
                return true;
            },
            &ok));
    }
    std::printf("five files of 20 MB: one uploader %.3f s, one after another %.3f s (%.2fx)\n",
                zqbench::median(together), zqbench::median(apart),
                zqbench::median(apart) / zqbench::median(together));
    zqbench::removeRunFolder(folder);
    ZQModel::setCurrentModel(nullptr);
    if (!ok) std::fprintf(stderr, "an upload failed\n");
    return ok ? 0 : 1;
}
