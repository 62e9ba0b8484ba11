#include "examples/sample-server/ZQSampleDataStore.hpp"

#include <cmath>
#include <fstream>
#include <sstream>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"

using platform::Value;

namespace {

platform::ErrorPtr makeError(ZQSampleServerErrorCode code, std::string description) {
    return platform::Error::create(ZQSampleServerErrorDomain, code, std::move(description));
}

platform::Date wholeSeconds(platform::Date date) {
    return platform::Date(std::floor(date.timeIntervalSince1970()));
}

platform::Date fileModificationDate(const std::filesystem::path& path) {
    std::error_code error;
    auto written = std::filesystem::last_write_time(path, error);
    if (error) return wholeSeconds(platform::Date::now());
    auto system = std::chrono::file_clock::to_sys(written);
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch());
    return platform::Date(static_cast<double>(seconds.count()));
}

bool matches(const Value& row, const platform::Dictionary& match) {
    if (!row.isDictionary()) return false;
    for (const auto& [name, value] : match) {
        if (!(row[name] == value)) return false;
    }
    return true;
}

using RowEdit = std::function<std::optional<Value>(const Value&)>;

// The array with matching rows edited or dropped; count grows by the rows touched.
Value editArray(const Value& rows, const platform::Dictionary& match, const RowEdit& edit,
                size_t& count) {
    platform::Array out;
    out.reserve(rows.count());
    for (const Value& row : *rows.array()) {
        if (!matches(row, match)) {
            out.push_back(row);
            continue;
        }
        ++count;
        if (std::optional<Value> edited = edit(row)) out.push_back(std::move(*edited));
    }
    return Value(std::move(out));
}

}  // namespace

void ZQSampleDataStore::Entry::setData(Value newData) {
    data = std::move(newData);
    cache = data.isArray() ? std::make_shared<ZQSampleRowCache>(data) : nullptr;
}

ZQSampleDataStore::ZQSampleDataStore(Catalog catalog) : catalog_(std::move(catalog)) {
    platform::MutexLock lock(mutex_);
    platform::Date now = wholeSeconds(platform::Date::now());
    for (const auto& [name, provider] : catalog_) {
        Entry& entry = entries_[name];
        entry.setData(provider->isCollection ? Value(platform::Array{})
                                             : Value(platform::Dictionary{}));
        entry.lastModified = now;
    }
}

platform::ErrorPtr ZQSampleDataStore::loadDirectory(const std::filesystem::path& directory) {
    for (const auto& [name, provider] : catalog_) {
        std::filesystem::path file = directory / (name + ".json");
        std::error_code error;
        if (!std::filesystem::is_regular_file(file, error)) continue;
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (!in) return makeError(ZQSampleServerErrorFile, "cannot read " + file.string());
        ZQJSONParseResult parsed = ZQJSON::parse(text.str(), file.string());
        if (parsed.error) {
            return makeError(ZQSampleServerErrorFile, parsed.error->localizedDescription());
        }
        if (!parsed.value.isArray() && !parsed.value.isDictionary()) {
            return makeError(ZQSampleServerErrorBadData,
                             file.string() + " holds neither an array nor an object");
        }
        platform::MutexLock lock(mutex_);
        entries_[name].setData(std::move(parsed.value));
        entries_[name].lastModified = fileModificationDate(file);
    }
    return nullptr;
}

std::optional<ZQSampleSnapshot> ZQSampleDataStore::snapshot(const std::string& provider) const {
    platform::MutexLock lock(mutex_);
    auto found = entries_.find(provider);
    if (found == entries_.end()) return std::nullopt;
    return ZQSampleSnapshot{found->second.data, found->second.lastModified, found->second.cache};
}

ZQSampleDataStore::Entry* ZQSampleDataStore::entryLocked(const std::string& provider,
                                                         ZQSampleChange& change) {
    auto found = entries_.find(provider);
    if (found != entries_.end()) return &found->second;
    change.error = makeError(ZQSampleServerErrorUnknownProvider, "no data provider " + provider);
    return nullptr;
}

void ZQSampleDataStore::bumpLocked(Entry& entry, ZQSampleChange& change) {
    platform::Date now = wholeSeconds(platform::Date::now());
    entry.lastModified = now > entry.lastModified ? now : entry.lastModified.addingTimeInterval(1);
    change.lastModified = entry.lastModified;
}

ZQSampleChange ZQSampleDataStore::replace(const std::string& provider, Value data) {
    ZQSampleChange change;
    if (!data.isArray() && !data.isDictionary()) {
        change.error = makeError(ZQSampleServerErrorBadData, "data must be an array or an object");
        return change;
    }
    platform::MutexLock lock(mutex_);
    Entry* entry = entryLocked(provider, change);
    if (!entry) return change;
    change.rows = data.count();
    entry->setData(std::move(data));
    bumpLocked(*entry, change);
    return change;
}

ZQSampleChange ZQSampleDataStore::append(const std::string& provider, platform::Array rows,
                                         const std::optional<std::string>& key) {
    ZQSampleChange change;
    for (const Value& row : rows) {
        if (!row.isDictionary()) {
            change.error = makeError(ZQSampleServerErrorBadData, "rows must be objects");
            return change;
        }
    }
    platform::MutexLock lock(mutex_);
    Entry* entry = entryLocked(provider, change);
    if (!entry) return change;
    Value target = key ? entry->data[*key] : entry->data;
    if (key && target.isAbsent()) target = Value(platform::Array{});
    if (!target.isArray() || (key && !entry->data.isDictionary())) {
        change.error = makeError(ZQSampleServerErrorBadData,
                                 "the data of " + provider + " has no array of rows there");
        return change;
    }
    platform::Array combined = *target.array();
    change.rows = rows.size();
    combined.insert(combined.end(), std::make_move_iterator(rows.begin()),
                    std::make_move_iterator(rows.end()));
    if (key) {
        platform::Dictionary keyed = *entry->data.dictionary();
        keyed.set(*key, Value(std::move(combined)));
        entry->setData(Value(std::move(keyed)));
    } else {
        entry->setData(Value(std::move(combined)));
    }
    bumpLocked(*entry, change);
    return change;
}

ZQSampleChange ZQSampleDataStore::editRows(const std::string& provider,
                                           const platform::Dictionary& match,
                                           const std::optional<std::string>& key,
                                           const RowEdit& edit) {
    ZQSampleChange change;
    platform::MutexLock lock(mutex_);
    Entry* entry = entryLocked(provider, change);
    if (!entry) return change;
    const Value& data = entry->data;
    Value edited;
    if (data.isArray()) {
        edited = editArray(data, match, edit, change.rows);
    } else if (!catalog_.at(provider)->parameters.empty()) {
        // Keyed: each entry is an array of rows or a single item.
        platform::Dictionary keyed;
        for (const auto& [entryKey, value] : *data.dictionary()) {
            if (key && entryKey != *key) {
                keyed.set(entryKey, value);
            } else if (value.isArray()) {
                keyed.set(entryKey, editArray(value, match, edit, change.rows));
            } else if (!matches(value, match)) {
                keyed.set(entryKey, value);
            } else {
                ++change.rows;
                if (std::optional<Value> item = edit(value)) keyed.set(entryKey, std::move(*item));
            }
        }
        edited = Value(std::move(keyed));
    } else if (matches(data, match)) {
        change.rows = 1;
        edited = edit(data).value_or(Value(platform::Dictionary{}));
    }
    if (change.rows > 0) {
        entry->setData(std::move(edited));
        bumpLocked(*entry, change);
    } else {
        change.lastModified = entry->lastModified;
    }
    return change;
}

ZQSampleChange ZQSampleDataStore::patch(const std::string& provider,
                                        const platform::Dictionary& match,
                                        const platform::Dictionary& changes,
                                        const std::optional<std::string>& key) {
    return editRows(provider, match, key, [&changes](const Value& row) -> std::optional<Value> {
        platform::Dictionary patched = *row.dictionary();
        for (const auto& [name, value] : changes) patched.set(name, value);
        return Value(std::move(patched));
    });
}

ZQSampleChange ZQSampleDataStore::remove(const std::string& provider,
                                         const platform::Dictionary& match,
                                         const std::optional<std::string>& key) {
    return editRows(provider, match, key,
                    [](const Value&) -> std::optional<Value> { return std::nullopt; });
}

ZQSampleChange ZQSampleDataStore::update(const std::string& provider, const DataEdit& edit) {
    ZQSampleChange change;
    platform::MutexLock lock(mutex_);
    Entry* entry = entryLocked(provider, change);
    if (!entry) return change;
    std::optional<Value> edited = edit(entry->data);
    change.lastModified = entry->lastModified;
    if (!edited) return change;
    if (!edited->isArray() && !edited->isDictionary()) {
        change.error = makeError(ZQSampleServerErrorBadData, "data must be an array or an object");
        return change;
    }
    change.rows = 1;
    entry->setData(std::move(*edited));
    bumpLocked(*entry, change);
    return change;
}
