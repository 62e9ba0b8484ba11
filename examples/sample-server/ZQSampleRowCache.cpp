#include "examples/sample-server/ZQSampleRowCache.hpp"

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"

std::shared_ptr<const std::vector<std::string>> ZQSampleRowCache::texts() {
    platform::MutexLock lock(mutex_);
    if (!texts_) {
        auto texts = std::make_shared<std::vector<std::string>>();
        texts->reserve(rows_.count());
        for (const platform::Value& row : *rows_.array()) {
            texts->push_back(ZQJSON::write(row).text);
        }
        texts_ = std::move(texts);
    }
    return texts_;
}

std::shared_ptr<const ZQSampleRowCache::Sequence> ZQSampleRowCache::sequence(
    size_t orderIndex, const std::function<Sequence()>& sort) {
    platform::MutexLock lock(mutex_);
    std::shared_ptr<const Sequence>& sequence = sequences_[orderIndex];
    if (!sequence) sequence = std::make_shared<const Sequence>(sort());
    return sequence;
}
