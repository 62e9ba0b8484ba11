#include "ZQDataLayerRemote/host/ZQFoundation/ZQAlertMessageService.hpp"

#include "ZQDataLayerRemote/host/ZQFoundation/ZQLog.hpp"

void ZQAlertMessageService::showAlertWithTitle(const std::string& title,
                                               const std::string& message) {
    show(ZQAlertRecord{title, message});
}

void ZQAlertMessageService::showMessages(const std::vector<std::string>& messages) {
    if (messages.empty()) return;
    std::string text;
    for (const std::string& message : messages) {
        if (!text.empty()) text += '\n';
        text += message;
    }
    show(ZQAlertRecord{std::string(), std::move(text)});
}

void ZQAlertMessageService::show(ZQAlertRecord record) {
    ZQLog::loggerService()->logMessage(
        "Alert: " + (record.title.empty() ? record.message : record.title + ": " + record.message),
        ZQLogTypeGeneral, ZQLogLevelNotice, true);
    Presenter presenter;
    {
        platform::MutexLock lock(mutex_);
        alerts_.push_back(record);
        presenter = presenter_;
    }
    if (presenter) presenter(record);
}

void ZQAlertMessageService::setPresenter(Presenter presenter) {
    platform::MutexLock lock(mutex_);
    presenter_ = std::move(presenter);
}

std::vector<ZQAlertRecord> ZQAlertMessageService::recordedAlerts() const {
    platform::MutexLock lock(mutex_);
    return alerts_;
}

void ZQAlertMessageService::clearRecordedAlerts() {
    platform::MutexLock lock(mutex_);
    alerts_.clear();
}
