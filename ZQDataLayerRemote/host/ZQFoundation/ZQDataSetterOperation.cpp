#include "ZQDataLayerRemote/host/ZQFoundation/ZQDataSetterOperation.hpp"

#include "ZQDataLayerRemote/host/ZQFoundation/ZQLog.hpp"

using platform::MutexLock;

std::shared_ptr<ZQDataSetterOperation> ZQDataSetterOperation::create(
    std::shared_ptr<platform::KeyValueCoding> source, DataKeys dataKeys,
    std::shared_ptr<platform::KeyValueCoding> destination) {
    auto operation = std::make_shared<ZQDataSetterOperation>();
    operation->setSource(std::move(source));
    operation->setDataKeys(std::move(dataKeys));
    operation->setDestination(std::move(destination));
    return operation;
}

void ZQDataSetterOperation::setSource(std::shared_ptr<platform::KeyValueCoding> source) {
    MutexLock lock(mutex_);
    source_ = std::move(source);
}

void ZQDataSetterOperation::setDataKeys(DataKeys dataKeys) {
    MutexLock lock(mutex_);
    dataKeys_ = std::move(dataKeys);
}

void ZQDataSetterOperation::setDestination(std::shared_ptr<platform::KeyValueCoding> destination) {
    MutexLock lock(mutex_);
    destination_ = std::move(destination);
}

std::shared_ptr<platform::KeyValueCoding> ZQDataSetterOperation::source() const {
    MutexLock lock(mutex_);
    return source_;
}

std::shared_ptr<platform::KeyValueCoding> ZQDataSetterOperation::destination() const {
    MutexLock lock(mutex_);
    return destination_.lock();
}

ZQDataSetterOperation::DataKeys ZQDataSetterOperation::dataKeys() const {
    MutexLock lock(mutex_);
    return dataKeys_;
}

void ZQDataSetterOperation::cancel() {
    Operation::cancel();
    std::shared_ptr<platform::KeyValueCoding> dropped;  // let go outside the lock
    MutexLock lock(mutex_);
    dropped.swap(source_);
    destination_.reset();
}

void ZQDataSetterOperation::main() {
    std::shared_ptr<platform::KeyValueCoding> source;
    std::shared_ptr<platform::KeyValueCoding> destination;
    DataKeys keys;
    {
        MutexLock lock(mutex_);
        source = std::move(source_);
        destination = destination_.lock();
        destination_.reset();
        keys = dataKeys_;
    }
    if (!source || !destination) return;
    for (const auto& [destinationKey, sourceKey] : keys) {
        if (destination->setValueForKey(source->valueForKey(sourceKey), destinationKey)) continue;
        auto logger = ZQLog::loggerService();
        if (logger->isLogEnabled()) {
            logger->logMessage(
                "Data setter: the destination has no writable key '" + destinationKey + "'",
                ZQLogTypeGeneral, ZQLogLevelWarning, true);
        }
    }
}
