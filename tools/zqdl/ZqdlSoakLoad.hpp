// The mixed load of `zqdl soak`: keeps operations of every kind in flight through the host's
// registered classes against the environment's server (queries, some withdrawn and some joined,
// an item query, business-component loads, saves and saves with an image upload, list screens
// that page and refresh, field look-ups and a prompt rule) and checks every answer: none comes
// twice, none after its operation was withdrawn, none is an error, and none is awaited past the
// watchdog. Made by the soak command with make_shared (answers reach it through weak pointers);
// main thread only, where every answer arrives, so it has no lock.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/Error.hpp"
#include "platform/Value.hpp"
#include "tools/zqdl/ZqdlEnvironment.hpp"

namespace zqdl {

class ZqdlSoakLoad : public std::enable_shared_from_this<ZqdlSoakLoad> {
  public:
    enum class Kind : uint8_t {
        query,
        withdrawnQuery,
        joinedQuery,
        itemQuery,
        businessComponentLoad,
        businessComponentSave,
        imageUpload,
        screen,
        combo,
        hideCode,
        prompt,
    };
    static constexpr size_t kKindCount = 11;
    static const char* name(Kind kind);

    struct Tally {
        uint64_t started = 0;
        uint64_t answered = 0;  // answers that ended an operation (a screen's last step)
        uint64_t failed = 0;
    };
    struct Settings {
        size_t inFlight = 16;
        double watchdogSeconds = 30;
        uint32_t seed = 1;
        std::filesystem::path photo;  // the image file the uploads send
        // The customers as the server holds them (fields by name), so that a save with a photo
        // changes nothing but the photo and the look-ups by name keep their answers.
        std::vector<platform::Dictionary> customers;
    };

    ZqdlSoakLoad(const ZqdlEnvironment& environment, Settings settings);
    ~ZqdlSoakLoad();
    ZqdlSoakLoad(const ZqdlSoakLoad&) = delete;
    ZqdlSoakLoad& operator=(const ZqdlSoakLoad&) = delete;

    // Withdraws the queries that are due, moves screens on, starts operations until inFlight
    // wait, and checks the watchdog. Called from the command's loop, never from an answer.
    void step();
    // Withdraws or cancels everything still waiting: the end of the soak.
    void stop();

    size_t waiting() const { return pending_.size(); }
    uint64_t answeredCount() const;
    const std::array<Tally, kKindCount>& tallies() const { return tallies_; }
    // What went wrong, in order (the first 20 texts; problemCount() counts them all).
    const std::vector<std::string>& problems() const { return problems_; }
    uint64_t problemCount() const { return problemCount_; }

  private:
    using Clock = std::chrono::steady_clock;
    // An abandoned operation (one that has no way to withdraw it, still waiting at the end or past
    // the watchdog) may still answer; a withdrawn one must not.
    enum class Seen : uint8_t { waiting, answered, withdrawn, abandoned };
    struct Operation {
        Kind kind = Kind::query;
        Clock::time_point since;  // started, or a screen's last step
        std::function<void()> withdraw;
        std::optional<Clock::time_point> withdrawAt;
        // A screen's script: moves on once the screen settled; true when it has finished.
        std::function<bool()> advance;
        std::shared_ptr<void> keep;  // what must live until the answer
    };

    uint64_t begin(Kind kind);
    // The one answer of an operation (a screen's last step too).
    void answer(uint64_t id, const platform::ErrorPtr& error);
    void problem(std::string text);
    // "query #12": how a problem names its operation.
    static std::string describe(Kind kind, uint64_t id);
    // A callback that hands the answer of operation id to this load while it exists.
    std::function<void(const platform::ErrorPtr&)> answerer(uint64_t id);

    void startOne();
    void startQuery(Kind kind, size_t joined);
    void startItemQuery();
    void startBusinessComponentLoad();
    void startSave(Kind kind);
    void startScreen();
    void startFieldLookUp(Kind kind);
    void withdrawDue(Clock::time_point now);
    void checkWatchdog(Clock::time_point now);
    // Withdraws the operation (or abandons it) and releases what it kept.
    void end(uint64_t id, Operation& operation);
    size_t pick(size_t count) { return std::uniform_int_distribution<size_t>(0, count - 1)(rng_); }

    const ZqdlEnvironment& environment_;
    const Settings settings_;
    std::mt19937 rng_;
    std::map<uint64_t, Operation> pending_;
    // By operation id from firstSeen_: the last kRemembered operations, so that a soak of hours
    // keeps its own memory flat (a second answer comes long before that many others).
    static constexpr size_t kRemembered = 200000;
    Seen* seen(uint64_t id);
    std::deque<Seen> seen_;
    uint64_t firstSeen_ = 0;
    // Objects whose operations ended inside an answer, released at the next step, outside it.
    std::vector<std::shared_ptr<void>> released_;
    std::array<Tally, kKindCount> tallies_{};
    std::vector<std::string> problems_;
    uint64_t problemCount_ = 0;
};

}  // namespace zqdl
