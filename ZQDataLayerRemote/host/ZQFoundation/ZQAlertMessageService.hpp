// The host's alert service: shows messages to the user. This stand-in has no screen: it records
// each alert (for tests and tools), logs it, and hands it to an optional presenter. One shared
// instance through ZQFoundationServices::alertMessageService(). Any thread; the mutex guards the
// record and the presenter.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Mutex.hpp"

struct ZQAlertRecord {
    std::string title;  // empty for messages shown without a title
    std::string message;
};

class ZQAlertMessageService {
  public:
    using Presenter = std::function<void(const ZQAlertRecord&)>;

    void showAlertWithTitle(const std::string& title, const std::string& message) EXCLUDES(mutex_);
    // Several messages as one alert, one message per line; nothing is shown for an empty list.
    void showMessages(const std::vector<std::string>& messages) EXCLUDES(mutex_);

    // Called on the showing thread for every alert after it is recorded.
    void setPresenter(Presenter presenter) EXCLUDES(mutex_);
    std::vector<ZQAlertRecord> recordedAlerts() const EXCLUDES(mutex_);
    void clearRecordedAlerts() EXCLUDES(mutex_);

  private:
    void show(ZQAlertRecord record) EXCLUDES(mutex_);

    mutable platform::Mutex mutex_;
    std::vector<ZQAlertRecord> alerts_ GUARDED_BY(mutex_);
    Presenter presenter_ GUARDED_BY(mutex_);
};
