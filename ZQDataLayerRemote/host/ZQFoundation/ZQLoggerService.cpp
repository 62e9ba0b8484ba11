#include "ZQDataLayerRemote/host/ZQFoundation/ZQLoggerService.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/WorkerPool.hpp"

std::shared_ptr<ZQLoggerService> ZQLoggerService::shared() {
    // Never destroyed: workers may still log while the process exits.
    static platform::Immortal<std::shared_ptr<ZQLoggerService>> instance([] {
        auto logger = std::make_shared<ZQLoggerService>();
        const char* env = std::getenv("ZQ_LOG");
        logger->setLogEnabled(env != nullptr && std::strcmp(env, "1") == 0);
        return logger;
    }());
    return instance.get();
}

void ZQLoggerService::logMessage(const std::string& message, int64_t forType, int64_t withLevel,
                                 bool logToConsole) {
    bool enabled = isLogEnabled();
    if (enabled && logToConsole && console_.load()) {
        std::fprintf(stderr, "[ZQ %lld/%lld] %s\n", static_cast<long long>(forType),
                     static_cast<long long>(withLevel), message.c_str());
    }
    ZQLogRecord record{message, forType, withLevel, logToConsole, enabled, platform::Date::now()};
    std::shared_ptr<const Observer> observer;
    {
        platform::MutexLock lock(mutex_);
        if (records_.size() >= kMaxRecords) records_.pop_front();
        records_.push_back(record);
        if (enabled) observer = observer_;
    }
    // Called without the lock, so that an observer that reads the record cannot deadlock.
    if (observer) (*observer)(record);
}

void ZQLoggerService::setObserver(Observer observer) {
    auto shared = observer ? std::make_shared<const Observer>(std::move(observer)) : nullptr;
    platform::MutexLock lock(mutex_);
    observer_ = std::move(shared);
}

std::vector<ZQLogRecord> ZQLoggerService::recordedMessages() const {
    platform::MutexLock lock(mutex_);
    return std::vector<ZQLogRecord>(records_.begin(), records_.end());
}

bool ZQLoggerService::hasRecordedMessageContaining(const std::string& text) const {
    platform::MutexLock lock(mutex_);
    for (const ZQLogRecord& record : records_) {
        if (record.message.find(text) != std::string::npos) return true;
    }
    return false;
}

void ZQLoggerService::clearRecordedMessages() {
    platform::MutexLock lock(mutex_);
    records_.clear();
}
