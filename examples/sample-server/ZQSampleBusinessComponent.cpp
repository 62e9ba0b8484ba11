#include "examples/sample-server/ZQSampleBusinessComponent.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDataSublevel.hpp"
#include "examples/sample-server/ZQSampleValues.hpp"
#include "platform/DateFormat.hpp"

using platform::Value;

namespace {

std::optional<ZQDataType> typeOf(const ZQBusinessComponentAttribute& attribute) {
    const auto& info = attribute.fieldInfo();
    if (!info || !info->ensureBasedOnInfoIsLoaded()) return std::nullopt;
    return info->dataType();
}

std::vector<std::string> keyNames(const ZQBusinessComponentLevel& level) {
    std::vector<std::string> names;
    for (const auto& attribute : level.keyAttributes()) names.push_back(attribute->name());
    return names;
}

std::vector<std::string> elementNames(const ZQWorkWithDataLevel& data) {
    std::vector<std::string> names;
    for (const auto& element : data.elements()) names.push_back(element->name());
    return names;
}

// Copies onto the row the members the view carries that are attributes of the level and that
// the instance has; the row's other members (variables of a screen) stay.
void project(platform::Dictionary& row, const Value& instance,
             const std::vector<std::string>& elements, const ZQBusinessComponentLevel& level) {
    for (const std::string& element : elements) {
        if (!level.attributeNamed(element)) continue;
        Value value = instance[element];
        if (!value.isAbsent()) row.set(element, std::move(value));
    }
}

bool isWhole(double number) {
    return std::isfinite(number) && std::trunc(number) == number && std::fabs(number) < 9.0e15;
}

}  // namespace

ZQSampleBusinessComponent::ZQSampleBusinessComponent(
    std::shared_ptr<const ZQBusinessComponentModel> component, const ZQApplicationModel& model,
    const ZQSampleDataStore::Catalog& catalog)
    : component_(std::move(component)), root_(component_->rootLevel()), path_(component_->name()) {
    std::replace(path_.begin(), path_.end(), '.', '/');
    if (!root_) return;
    keyAttributes_ = root_->keyAttributes();
    std::set<std::string> seen;
    auto consider = [&](const ZQWorkWithDataList& list) {
        for (const auto& data : list) {
            if (!data || !seen.insert(data->dataProviderName()).second) continue;
            auto provider = catalog.find(data->dataProviderName());
            if (provider != catalog.end()) addViewsOf(*data, *provider->second);
        }
    };
    for (const auto& workWith : model.workWiths()) {
        if (workWith->businessComponent() != component_->name()) continue;
        for (const auto& level : workWith->levels()) {
            if (level->list()) consider(level->list()->data());
            const auto& detail = level->detail();
            if (!detail) continue;
            consider(detail->data());
            if (!detail->sections()) continue;
            for (const auto& section : detail->sections()->sections()) consider(section->data());
        }
    }
}

void ZQSampleBusinessComponent::addViewsOf(const ZQWorkWithData& data,
                                           const ZQSampleProvider& provider) {
    const std::vector<std::string> rootKeys = keyNames(*root_);
    if (rootKeys.empty()) return;
    View view;
    view.provider = provider.name;
    view.elements = elementNames(data);
    if (data.storageKey() == rootKeys) {
        view.level = root_;
        if (provider.isCollection && provider.parameters.empty()) {
            view.layout = Layout::Rows;
        } else if (!provider.isCollection && provider.parameters == rootKeys) {
            view.layout = Layout::KeyedItem;
            for (const auto& sublevel : data.sublevels()) {
                for (const auto& child : root_->childLevels()) {
                    bool named = child->levelName() == sublevel->level() ||
                                 child->name() == sublevel->level();
                    if (named && sublevel->storageKey() == keyNames(*child)) {
                        view.nested.push_back({child, sublevel->level(), elementNames(*sublevel)});
                    }
                }
            }
        } else {
            return;
        }
        views_.push_back(std::move(view));
        return;
    }
    // The lines of one child level, keyed by the root key (a section listing an invoice's lines).
    if (!provider.isCollection || provider.parameters != rootKeys) return;
    for (const auto& child : root_->childLevels()) {
        if (data.storageKey() != keyNames(*child)) continue;
        view.layout = Layout::KeyedRows;
        view.level = child;
        views_.push_back(std::move(view));
        return;
    }
}

std::optional<Value> ZQSampleBusinessComponent::typedValue(
    const ZQBusinessComponentAttribute& attribute, const std::string& text) {
    std::optional<ZQDataType> type = typeOf(attribute);
    if (!type) return Value(text);
    switch (*type) {
        case ZQDataTypeNumeric: {
            std::optional<double> number = ZQSampleValues::number(text);
            if (!number) return std::nullopt;
            if (isWhole(*number)) return Value(static_cast<long long>(*number));
            return Value(*number);
        }
        case ZQDataTypeBoolean: {
            std::optional<bool> boolean = ZQSampleValues::boolean(text);
            if (!boolean) return std::nullopt;
            return Value(*boolean);
        }
        default:
            if (!ZQSampleValues::readsAs(text, type)) return std::nullopt;
            return Value(text);
    }
}

std::string ZQSampleBusinessComponent::valueProblem(const ZQBusinessComponentAttribute& attribute,
                                                    const Value& value) {
    if (value.isNull()) return {};
    std::optional<ZQDataType> type = typeOf(attribute);
    const std::string& name = attribute.name();
    if (type == ZQDataTypeSDT) return {};
    if (value.isArray() || value.isDictionary()) return name + " must be a single value";
    if (type == ZQDataTypeNumeric && !value.isNumber()) return name + " must be a number";
    if (type == ZQDataTypeBoolean && value.kind() != Value::Kind::Bool)
        return name + " must be true or false";
    if ((type == ZQDataTypeDate || type == ZQDataTypeDateTime) &&
        (!value.isString() || !ZQSampleValues::readsAs(*value.string(), type))) {
        return name + " must be an ISO 8601 date";
    }
    return {};
}

std::string ZQSampleBusinessComponent::keyTextOf(const ZQBusinessComponentLevel& level,
                                                 const Value& row) {
    std::string text;
    bool first = true;
    for (const auto& attribute : level.keyAttributes()) {
        if (!first) text += ',';
        first = false;
        text += ZQSampleValues::text(row[attribute->name()]);
    }
    return text;
}

std::optional<ZQSampleInstanceKey> ZQSampleBusinessComponent::keyFromTexts(
    const std::vector<std::string>& texts, std::string* error) const {
    if (texts.size() != keyAttributes_.size()) {
        *error = name() + " has " + std::to_string(keyAttributes_.size()) +
                 " key attribute(s); the URL gives " + std::to_string(texts.size()) + " value(s)";
        return std::nullopt;
    }
    ZQSampleInstanceKey key;
    for (size_t i = 0; i < texts.size(); ++i) {
        std::optional<Value> value = typedValue(*keyAttributes_[i], texts[i]);
        if (!value || texts[i].empty()) {
            *error = "\"" + texts[i] + "\" is not a value of " + keyAttributes_[i]->name();
            return std::nullopt;
        }
        if (i > 0) key.text += ',';
        key.text += ZQSampleValues::text(*value);
        key.values.push_back(std::move(*value));
    }
    return key;
}

std::optional<ZQSampleInstanceKey> ZQSampleBusinessComponent::keyFromInstance(
    const Value& body, std::string* error) const {
    ZQSampleInstanceKey key;
    for (size_t i = 0; i < keyAttributes_.size(); ++i) {
        const std::string& attribute = keyAttributes_[i]->name();
        Value value = body[attribute];
        std::string problem = valueProblem(*keyAttributes_[i], value);
        if (value.isNothing() || !problem.empty()) {
            *error = problem.empty() ? "the body has no value for the key attribute " + attribute
                                     : problem;
            return std::nullopt;
        }
        if (i > 0) key.text += ',';
        key.text += ZQSampleValues::text(value);
        key.values.push_back(std::move(value));
    }
    return key;
}

std::optional<Value> ZQSampleBusinessComponent::read(const ZQSampleDataStore& store,
                                                     const ZQSampleInstanceKey& key) const {
    // The lines of each child level, in the order first seen, merged by line key.
    struct Lines {
        std::vector<std::string> order;
        std::map<std::string, platform::Dictionary> byKey;
    };
    std::map<const ZQBusinessComponentLevel*, Lines> lines;
    auto merge = [](platform::Dictionary& target, const Value& row,
                    const ZQBusinessComponentLevel& level) {
        for (const auto& attribute : level.attributes()) {
            Value value = row[attribute->name()];
            if (!target.contains(attribute->name()) && !value.isAbsent())
                target.set(attribute->name(), std::move(value));
        }
    };
    auto mergeLines = [&](const ZQBusinessComponentLevel& level, const Value& rows) {
        Lines& held = lines[&level];
        if (!rows.isArray()) return;
        for (const Value& row : *rows.array()) {
            if (!row.isDictionary()) continue;
            std::string text = keyTextOf(level, row);
            if (!held.byKey.count(text)) held.order.push_back(text);
            merge(held.byKey[text], row, level);
        }
    };
    platform::Dictionary instance;
    bool found = false;
    for (const View& view : views_) {
        std::optional<ZQSampleSnapshot> snapshot = store.snapshot(view.provider);
        if (!snapshot) continue;
        const Value& data = snapshot->data;
        if (view.layout == Layout::Rows && data.isArray()) {
            for (const Value& row : *data.array()) {
                if (!row.isDictionary() || keyTextOf(*root_, row) != key.text) continue;
                found = true;
                merge(instance, row, *root_);
                break;
            }
        } else if (view.layout == Layout::KeyedItem) {
            Value item = data.isDictionary() ? data[key.text] : Value();
            if (item.isDictionary()) {
                found = true;
                merge(instance, item, *root_);
            }
            for (const Nested& nested : view.nested) mergeLines(*nested.level, item[nested.member]);
        } else if (view.layout == Layout::KeyedRows) {
            mergeLines(*view.level, data.isDictionary() ? data[key.text] : Value());
        }
    }
    if (!found) return std::nullopt;
    for (const auto& child : root_->childLevels()) {
        auto held = lines.find(child.get());
        if (held == lines.end()) continue;  // no view shows the level
        platform::Array array;
        for (const std::string& text : held->second.order)
            array.emplace_back(std::move(held->second.byKey[text]));
        instance.set(child->levelName(), Value(std::move(array)));
    }
    return Value(std::move(instance));
}

std::optional<Value> ZQSampleBusinessComponent::mergedInstance(const ZQSampleInstanceKey& key,
                                                               const platform::Dictionary& body,
                                                               const std::optional<Value>& stored,
                                                               std::string* error) const {
    platform::Dictionary instance =
        stored && stored->isDictionary() ? *stored->dictionary() : platform::Dictionary{};
    for (const auto& attribute : root_->attributes()) {
        const Value* given = body.find(attribute->name());
        if (!given) continue;
        if (std::string problem = valueProblem(*attribute, *given); !problem.empty()) {
            *error = problem;
            return std::nullopt;
        }
        instance.set(attribute->name(), *given);
    }
    for (size_t i = 0; i < keyAttributes_.size(); ++i) {
        const std::string& attribute = keyAttributes_[i]->name();
        const Value* given = body.find(attribute);
        if (given && !given->isNull() &&
            ZQSampleValues::text(*given) != ZQSampleValues::text(key.values[i])) {
            *error = "the body's " + attribute + " (" + ZQSampleValues::text(*given) +
                     ") is not the one of the URL (" + ZQSampleValues::text(key.values[i]) + ")";
            return std::nullopt;
        }
        instance.set(attribute, key.values[i]);
    }
    for (const auto& child : root_->childLevels()) {
        const Value* given = body.find(child->levelName());
        if (!given) continue;
        if (!given->isArray()) {
            *error = child->levelName() + " must be an array of lines";
            return std::nullopt;
        }
        std::map<std::string, platform::Dictionary> storedLines;
        if (const platform::Array* held = instance.get(child->levelName()).array()) {
            for (const Value& line : *held)
                if (line.isDictionary()) storedLines[keyTextOf(*child, line)] = *line.dictionary();
        }
        platform::Array lines;
        std::set<std::string> keys;
        for (const Value& line : *given->array()) {
            if (!line.isDictionary()) {
                *error = "each line of " + child->levelName() + " must be an object";
                return std::nullopt;
            }
            for (const auto& attribute : child->keyAttributes()) {
                if (line[attribute->name()].isNothing()) {
                    *error = "a line of " + child->levelName() + " has no " + attribute->name();
                    return std::nullopt;
                }
            }
            std::string text = keyTextOf(*child, line);
            if (!keys.insert(text).second) {
                *error = "two lines of " + child->levelName() + " have the key " + text;
                return std::nullopt;
            }
            platform::Dictionary merged = storedLines[text];
            for (const auto& attribute : child->attributes()) {
                Value value = line[attribute->name()];
                if (value.isAbsent()) continue;
                if (std::string problem = valueProblem(*attribute, value); !problem.empty()) {
                    *error = problem;
                    return std::nullopt;
                }
                merged.set(attribute->name(), std::move(value));
            }
            lines.emplace_back(std::move(merged));
        }
        instance.set(child->levelName(), Value(std::move(lines)));
    }
    return Value(std::move(instance));
}

namespace {

// The new lines as a view holds them: each projected onto the row the view held for its key.
Value projectedLines(const Value& held, const Value& lines,
                     const std::vector<std::string>& elements,
                     const ZQBusinessComponentLevel& level,
                     const std::function<std::string(const Value&)>& keyText) {
    std::map<std::string, platform::Dictionary> before;
    if (const platform::Array* rows = held.array()) {
        for (const Value& row : *rows)
            if (row.isDictionary()) before[keyText(row)] = *row.dictionary();
    }
    platform::Array out;
    for (const Value& line : *lines.array()) {
        platform::Dictionary row = before[keyText(line)];
        project(row, line, elements, level);
        out.emplace_back(std::move(row));
    }
    return Value(std::move(out));
}

}  // namespace

std::optional<Value> ZQSampleBusinessComponent::editedView(const View& view, const Value& data,
                                                           const ZQSampleInstanceKey& key,
                                                           const Value* instance) const {
    auto keyText = [&view](const Value& row) { return keyTextOf(*view.level, row); };
    if (view.layout == Layout::Rows) {
        if (!data.isArray()) return std::nullopt;
        platform::Array rows = *data.array();
        auto held = std::find_if(rows.begin(), rows.end(), [&](const Value& row) {
            return row.isDictionary() && keyTextOf(*root_, row) == key.text;
        });
        if (!instance) {
            if (held == rows.end()) return std::nullopt;
            rows.erase(held);
            return Value(std::move(rows));
        }
        platform::Dictionary row =
            held != rows.end() ? *held->dictionary() : platform::Dictionary{};
        project(row, *instance, view.elements, *root_);
        if (held != rows.end()) {
            *held = Value(std::move(row));
        } else {
            rows.emplace_back(std::move(row));
        }
        return Value(std::move(rows));
    }
    // Keyed data starts as an empty array when the provider is a collection.
    if (!data.isDictionary() && !(data.isArray() && data.count() == 0)) return std::nullopt;
    platform::Dictionary keyed = data.isDictionary() ? *data.dictionary() : platform::Dictionary{};
    if (!instance) {
        if (!keyed.contains(key.text)) return std::nullopt;
        keyed.erase(key.text);
        return Value(std::move(keyed));
    }
    if (view.layout == Layout::KeyedRows) {
        Value lines = (*instance)[view.level->levelName()];
        if (!lines.isArray()) return std::nullopt;
        keyed.set(key.text,
                  projectedLines(keyed.get(key.text), lines, view.elements, *view.level, keyText));
        return Value(std::move(keyed));
    }
    Value heldItem = keyed.get(key.text);
    platform::Dictionary item =
        heldItem.isDictionary() ? *heldItem.dictionary() : platform::Dictionary{};
    project(item, *instance, view.elements, *root_);
    for (const Nested& nested : view.nested) {
        Value lines = (*instance)[nested.level->levelName()];
        if (!lines.isArray()) continue;
        auto lineKey = [&nested](const Value& row) { return keyTextOf(*nested.level, row); };
        item.set(nested.member, projectedLines(item.get(nested.member), lines, nested.elements,
                                               *nested.level, lineKey));
    }
    keyed.set(key.text, Value(std::move(item)));
    return Value(std::move(keyed));
}

ZQSampleInstanceResult ZQSampleBusinessComponent::write(ZQSampleDataStore& store,
                                                        const ZQSampleInstanceKey& key,
                                                        const Value& body,
                                                        const std::optional<Value>& stored) const {
    ZQSampleInstanceResult result;
    if (!body.isDictionary()) {
        result.status = 400;
        result.message = "the body must be a JSON object with the instance";
        return result;
    }
    std::string error;
    // A new instance starts from the default values, so that every view gets a whole row.
    std::optional<Value> base = stored ? stored : defaults(store, {}, &error);
    std::optional<Value> instance = mergedInstance(key, *body.dictionary(), base, &error);
    if (!instance) {
        result.status = 400;
        result.message = error;
        return result;
    }
    for (const View& view : views_) {
        ZQSampleChange change = store.update(view.provider, [&](const Value& data) {
            return editedView(view, data, key, &*instance);
        });
        if (change.error) {
            result.status = 500;
            result.message = change.error->localizedDescription();
            return result;
        }
    }
    result.status = stored ? 200 : 201;
    result.instance = read(store, key).value_or(*instance);
    return result;
}

platform::ErrorPtr ZQSampleBusinessComponent::remove(ZQSampleDataStore& store,
                                                     const ZQSampleInstanceKey& key) const {
    for (const View& view : views_) {
        ZQSampleChange change = store.update(
            view.provider, [&](const Value& data) { return editedView(view, data, key, nullptr); });
        if (change.error) return change.error;
    }
    return nullptr;
}

std::optional<Value> ZQSampleBusinessComponent::defaults(
    const ZQSampleDataStore& store, const std::vector<std::pair<std::string, std::string>>& given,
    std::string* error) const {
    platform::Dictionary values;
    const std::string now = platform::iso8601String(platform::Date::now());
    for (const auto& attribute : root_->attributes()) {
        switch (typeOf(*attribute).value_or(ZQDataTypeCharacter)) {
            case ZQDataTypeNumeric:
                values.set(attribute->name(), Value(0));
                break;
            case ZQDataTypeBoolean:
                values.set(attribute->name(), Value(false));
                break;
            case ZQDataTypeDate:
                values.set(attribute->name(), Value(now.substr(0, 10)));
                break;
            case ZQDataTypeDateTime:
                values.set(attribute->name(), Value(now.substr(0, 19)));
                break;
            default:
                values.set(attribute->name(), Value(""));
        }
    }
    // A single numeric key: the next free number.
    if (keyAttributes_.size() == 1 && typeOf(*keyAttributes_[0]) == ZQDataTypeNumeric) {
        double largest = 0;
        auto consider = [&largest](const Value& value) {
            if (std::optional<double> number = value.number()) largest = std::max(largest, *number);
        };
        const std::string& keyName = keyAttributes_[0]->name();
        for (const View& view : views_) {
            if (view.level != root_) continue;
            std::optional<ZQSampleSnapshot> snapshot = store.snapshot(view.provider);
            if (!snapshot) continue;
            if (const platform::Array* rows = snapshot->data.array()) {
                for (const Value& row : *rows) consider(row[keyName]);
            } else if (const platform::Dictionary* keyed = snapshot->data.dictionary()) {
                for (const auto& [text, item] : *keyed) consider(item[keyName]);
            }
        }
        values.set(keyName, Value(static_cast<long long>(std::floor(largest)) + 1));
    }
    for (const auto& [name, text] : given) {
        std::shared_ptr<const ZQBusinessComponentAttribute> attribute = root_->attributeNamed(name);
        if (!attribute) {
            *error = "\"" + name + "\" is no attribute of " + component_->name();
            return std::nullopt;
        }
        std::optional<Value> value = typedValue(*attribute, text);
        if (!value) {
            *error = name + "=" + text + " does not read as the attribute's type";
            return std::nullopt;
        }
        values.set(name, std::move(*value));
    }
    return Value(std::move(values));
}
