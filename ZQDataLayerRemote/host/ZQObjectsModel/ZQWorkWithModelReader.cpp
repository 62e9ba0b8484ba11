#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithModelReader.hpp"

#include <limits>
#include <map>
#include <set>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModelFileReader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDataElementVariable.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDataSublevel.hpp"

using platform::Dictionary;
using platform::Value;
using L = ZQApplicationModelLoader;
using R = ZQModelFileReader;

void ZQWorkWithModelReader::readWorkWiths(const platform::Array& workWiths,
                                          const std::string& path) {
    std::set<std::string> names;
    for (size_t i = 0; i < workWiths.size(); ++i) {
        std::string workWithPath = R::element(path, i);
        const auto& object = R::object(workWiths[i], workWithPath);
        R::allowMembers(object, workWithPath, {"name", "businessComponent", "levels"});
        std::string name = R::requiredString(object, workWithPath, "name");
        if (!names.insert(name).second)
            R::fail(R::member(workWithPath, "name"),
                    "Work With \"" + name + "\" is already defined");
        auto component = R::optionalString(object, workWithPath, "businessComponent").value_or("");
        if (!component.empty() && !model_.businessComponentNamed(component))
            R::fail(R::member(workWithPath, "businessComponent"),
                    "no business component named \"" + component + "\"");
        auto workWith = std::make_shared<ZQWorkWithModel>(name, component);
        currentWorkWith_ = workWith;
        const auto& levels = R::requiredArray(object, workWithPath, "levels");
        std::string levelsPath = R::member(workWithPath, "levels");
        for (size_t l = 0; l < levels.size(); ++l) {
            std::string levelPath = R::element(levelsPath, l);
            const auto& levelObject = R::object(levels[l], levelPath);
            R::allowMembers(levelObject, levelPath, {"name", "list", "detail"});
            auto level = std::make_shared<ZQWorkWithLevel>(
                R::requiredString(levelObject, levelPath, "name"));
            level->setWorkWithModel(workWith);
            if (const Value* list = levelObject.find("list")) {
                auto parsed = readList(*list, R::member(levelPath, "list"));
                parsed->setWorkWithLevel(level);
                level->setList(std::move(parsed));
            }
            if (const Value* detail = levelObject.find("detail")) {
                auto parsed = readDetail(*detail, R::member(levelPath, "detail"));
                parsed->setWorkWithLevel(level);
                level->setDetail(std::move(parsed));
            }
            workWith->addLevel(std::move(level));
        }
        model_.addWorkWith(std::move(workWith));
    }
}

std::shared_ptr<ZQWorkWithList> ZQWorkWithModelReader::readList(const Value& value,
                                                                const std::string& path) {
    const auto& object = R::object(value, path);
    R::allowMembers(object, path, {"data", "parameters"});
    auto list = std::make_shared<ZQWorkWithList>();
    for (auto& data : readDataList(object, path)) list->addData(std::move(data));
    list->setParameters(readParameters(object, path));
    return list;
}

std::shared_ptr<ZQWorkWithDetail> ZQWorkWithModelReader::readDetail(const Value& value,
                                                                    const std::string& path) {
    const auto& object = R::object(value, path);
    R::allowMembers(object, path, {"dataProvider", "data", "parameters", "sections"});
    auto data = readDataList(object, path);
    auto main = R::optionalString(object, path, "dataProvider").value_or("");
    if (!main.empty() && !ZQWorkWithData::workWithDataForDataProviderName(main, data))
        R::fail(R::member(path, "dataProvider"), "no data provider \"" + main + "\" in data");
    auto detail = std::make_shared<ZQWorkWithDetail>(main);
    for (auto& item : data) detail->addData(std::move(item));
    detail->setParameters(readParameters(object, path).value_or(ZQWorkWithParameters()));
    if (object.contains("sections")) {
        auto sections = std::make_shared<ZQWorkWithSections>();
        const auto& array = R::optionalArray(object, path, "sections");
        std::string sectionsPath = R::member(path, "sections");
        for (size_t i = 0; i < array.size(); ++i) {
            auto section = readSection(array[i], R::element(sectionsPath, i));
            section->setWorkWithDetail(detail);
            sections->addSection(std::move(section));
        }
        detail->setSections(std::move(sections));
    }
    return detail;
}

std::shared_ptr<ZQWorkWithSection> ZQWorkWithModelReader::readSection(const Value& value,
                                                                      const std::string& path) {
    const auto& object = R::object(value, path);
    R::allowMembers(object, path, {"name", "dataProvider", "data", "parameters"});
    auto data = readDataList(object, path);
    auto main = R::optionalString(object, path, "dataProvider").value_or("");
    if (!main.empty() && !ZQWorkWithData::workWithDataForDataProviderName(main, data))
        R::fail(R::member(path, "dataProvider"), "no data provider \"" + main + "\" in data");
    auto section =
        std::make_shared<ZQWorkWithSection>(R::requiredString(object, path, "name"), main);
    for (auto& item : data) section->addData(std::move(item));
    section->setParameters(readParameters(object, path));
    return section;
}

ZQWorkWithDataList ZQWorkWithModelReader::readDataList(const Dictionary& owner,
                                                       const std::string& path) {
    ZQWorkWithDataList list;
    const auto& array = R::optionalArray(owner, path, "data");
    std::string dataPath = R::member(path, "data");
    for (size_t i = 0; i < array.size(); ++i)
        list.push_back(readData(array[i], R::element(dataPath, i)));
    return list;
}

std::optional<ZQWorkWithParameters> ZQWorkWithModelReader::readParameters(const Dictionary& owner,
                                                                          const std::string& path) {
    if (!owner.contains("parameters")) return std::nullopt;
    ZQWorkWithParameters parameters;
    const auto& array = R::optionalArray(owner, path, "parameters");
    std::string parametersPath = R::member(path, "parameters");
    for (size_t i = 0; i < array.size(); ++i) {
        std::string parameterPath = R::element(parametersPath, i);
        const auto& object = R::object(array[i], parameterPath);
        for (const auto& [key, value] : object)
            if (key != "name" && !L::isTypeSpecMember(key))
                R::fail(R::member(parameterPath, key), "unknown member");
        std::string name = R::requiredString(object, parameterPath, "name");
        parameters.push_back(
            resolved(L::readTypeSpec(object, parameterPath, name, L::kTypeSpecAny, true)));
    }
    return parameters;
}

std::shared_ptr<ZQWorkWithData> ZQWorkWithModelReader::readData(const Value& value,
                                                                const std::string& path) {
    const auto& object = R::object(value, path);
    R::allowMembers(object, path,
                    {"dataProvider", "collection", "cache", "elements", "key", "sublevels",
                     "orders", "breakBy", "search", "advancedFilter"});
    auto data =
        std::make_shared<ZQWorkWithData>(R::requiredString(object, path, "dataProvider"),
                                         R::optionalBool(object, path, "collection", false));
    data->setWorkWithModel(currentWorkWith_);
    if (const Value* cache = object.find("cache"))
        data->setCacheProperties(readCache(*cache, R::member(path, "cache")));
    readLevelContents(*data, data, data, object, path);
    readCollectionParts(*data, object, path);
    return data;
}

void ZQWorkWithModelReader::readLevelContents(ZQWorkWithDataLevel& level,
                                              const std::shared_ptr<ZQWorkWithDataLevel>& self,
                                              const std::shared_ptr<ZQWorkWithData>& root,
                                              const Dictionary& object, const std::string& path) {
    const auto& elements = R::requiredArray(object, path, "elements");
    std::string elementsPath = R::member(path, "elements");
    std::set<std::string> names;
    for (size_t i = 0; i < elements.size(); ++i) {
        auto element = readElement(elements[i], R::element(elementsPath, i));
        if (!names.insert(element->name()).second)
            R::fail(R::member(R::element(elementsPath, i), "name"),
                    "duplicate element \"" + element->name() + "\"");
        level.addElement(std::move(element));
    }
    if (auto key = R::optionalStringArray(object, path, "key"))
        level.setStorageKey(std::move(*key));
    const auto& sublevels = R::optionalArray(object, path, "sublevels");
    std::string sublevelsPath = R::member(path, "sublevels");
    for (size_t i = 0; i < sublevels.size(); ++i) {
        std::string sublevelPath = R::element(sublevelsPath, i);
        const auto& sublevelObject = R::object(sublevels[i], sublevelPath);
        R::allowMembers(sublevelObject, sublevelPath, {"level", "elements", "key", "sublevels"});
        auto sublevel = std::make_shared<ZQWorkWithDataSublevel>(
            R::requiredString(sublevelObject, sublevelPath, "level"));
        if (names.count(sublevel->level()))
            R::fail(R::member(sublevelPath, "level"),
                    "\"" + sublevel->level() + "\" is already an element name");
        names.insert(sublevel->level());
        sublevel->setParentLevel(self);
        sublevel->setRootLevel(root);
        readLevelContents(*sublevel, sublevel, root, sublevelObject, sublevelPath);
        level.addSublevel(std::move(sublevel));
    }
}

std::shared_ptr<ZQWorkWithDataElement> ZQWorkWithModelReader::readElement(const Value& value,
                                                                          const std::string& path) {
    const auto& object = R::object(value, path);
    for (const auto& [key, member] : object)
        if (key != "name" && key != "kind" && !L::isTypeSpecMember(key))
            R::fail(R::member(path, key), "unknown member");
    std::string name = R::requiredString(object, path, "name");
    auto kind =
        R::optionalString(object, path, "kind").value_or(name[0] == '&' ? "variable" : "attribute");
    if (kind == "attribute") {
        for (const auto& [key, member] : object)
            if (L::isTypeSpecMember(key))
                R::fail(R::member(path, key),
                        "an attribute element takes its type from the attribute's definition");
        auto element =
            std::make_shared<ZQWorkWithDataElement>(ZQWorkWithDataElementTypeAttribute, name);
        element->setFieldInfo(model_.attributeInfoNamed(name));
        return element;
    }
    if (kind != "variable")
        R::fail(R::member(path, "kind"), "expected \"attribute\" or \"variable\"");
    auto info = resolved(L::readTypeSpec(object, path, name, L::kTypeSpecAny, true));
    return std::make_shared<ZQWorkWithDataElementVariable>(name, std::move(info));
}

std::shared_ptr<ZQWorkWithCacheProperties> ZQWorkWithModelReader::readCache(
    const Value& value, const std::string& path) {
    const auto& object = R::object(value, path);
    R::allowMembers(object, path, {"enabled", "frequency", "minutes"});
    bool enabled = R::optionalBool(object, path, "enabled", true);
    auto frequency = R::optionalString(object, path, "frequency").value_or("always");
    ZQWorkWithCacheFrequencyType type = ZQWorkWithCacheFrequencyAlways;
    if (frequency == "afterElapsedTime")
        type = ZQWorkWithCacheFrequencyAfterElapsedTime;
    else if (frequency != "always")
        R::fail(R::member(path, "frequency"), "expected \"always\" or \"afterElapsedTime\"");
    auto minutes =
        R::optionalUnsigned(object, path, "minutes", std::numeric_limits<uint32_t>::max());
    if (minutes && type != ZQWorkWithCacheFrequencyAfterElapsedTime)
        R::fail(R::member(path, "minutes"),
                "only allowed with \"frequency\": \"afterElapsedTime\"");
    return std::make_shared<ZQWorkWithCacheProperties>(enabled, type,
                                                       static_cast<uint32_t>(minutes.value_or(0)));
}

void ZQWorkWithModelReader::readCollectionParts(ZQWorkWithData& data, const Dictionary& object,
                                                const std::string& path) {
    if (!data.isCollection()) {
        for (const char* key : {"orders", "breakBy", "search", "advancedFilter"})
            if (object.contains(key))
                R::fail(R::member(path, key), "only allowed on a collection data provider");
        return;
    }
    readOrders(data, object, path);
    if (auto breakBy = R::optionalStringArray(object, path, "breakBy"))
        data.setBreakBy(std::make_shared<ZQWorkWithDataBreakBy>(std::move(*breakBy)));
    if (const Value* search = object.find("search")) {
        std::string searchPath = R::member(path, "search");
        const auto& searchObject = R::object(*search, searchPath);
        R::allowMembers(searchObject, searchPath, {"fields", "breakByBehavior"});
        auto fields = R::optionalStringArray(searchObject, searchPath, "fields");
        if (!fields) R::fail(R::member(searchPath, "fields"), "missing required member");
        auto behavior =
            R::optionalUnsigned(searchObject, searchPath, "breakByBehavior", 1).value_or(0);
        data.setFilterSearch(std::make_shared<ZQWorkWithDataFilterSearch>(
            std::move(*fields), static_cast<uint8_t>(behavior)));
    }
    if (const Value* advanced = object.find("advancedFilter"))
        readAdvancedFilter(data, *advanced, R::member(path, "advancedFilter"));
}

void ZQWorkWithModelReader::readOrders(ZQWorkWithData& data, const Dictionary& object,
                                       const std::string& path) {
    const auto& orders = R::optionalArray(object, path, "orders");
    std::string ordersPath = R::member(path, "orders");
    for (size_t i = 0; i < orders.size(); ++i) {
        std::string orderPath = R::element(ordersPath, i);
        const auto& order = R::object(orders[i], orderPath);
        R::allowMembers(order, orderPath,
                        {"name", "fields", "groupBy", "groupByUpToField", "alphaIndex"});
        auto fields = R::optionalStringArray(order, orderPath, "fields");
        if (!fields || fields->empty())
            R::fail(R::member(orderPath, "fields"), "an order needs at least one field");
        bool groupBy = R::optionalBool(order, orderPath, "groupBy", false);
        auto upTo = R::optionalUnsigned(order, orderPath, "groupByUpToField", ZQNotFound - 1);
        if (upTo && !groupBy)
            R::fail(R::member(orderPath, "groupByUpToField"),
                    "only allowed with \"groupBy\": true");
        data.addOrder(std::make_shared<ZQWorkWithDataOrder>(
            R::requiredString(order, orderPath, "name"), std::move(*fields), groupBy,
            upTo.value_or(ZQNotFound), R::optionalBool(order, orderPath, "alphaIndex", false)));
    }
}

void ZQWorkWithModelReader::readAdvancedFilter(ZQWorkWithData& data, const Value& value,
                                               const std::string& path) {
    const auto& object = R::object(value, path);
    R::allowMembers(object, path, {"fields"});
    const auto& fields = R::requiredArray(object, path, "fields");
    std::string fieldsPath = R::member(path, "fields");
    std::vector<ZQWorkWithDataFilterAdvanced::Field> parsed;
    for (size_t i = 0; i < fields.size(); ++i) {
        std::string fieldPath = R::element(fieldsPath, i);
        const auto& field = R::object(fields[i], fieldPath);
        for (const auto& [key, member] : field)
            if (key != "name" && key != "range" && !L::isTypeSpecMember(key))
                R::fail(R::member(fieldPath, key), "unknown member");
        ZQWorkWithDataFilterAdvanced::Field entry;
        entry.name = R::requiredString(field, fieldPath, "name");
        entry.type = R::optionalBool(field, fieldPath, "range", false)
                         ? ZQWorkWithDataFilterAdvancedFieldRange
                         : ZQWorkWithDataFilterAdvancedFieldSingle;
        entry.info =
            resolved(L::readTypeSpec(field, fieldPath, entry.name, L::kTypeSpecAny, false));
        if (!entry.info) {
            // Without a type of its own the field has the element's type, or the attribute's.
            if (auto element = data.elementNamed(entry.name))
                entry.info = element->fieldInfo();
            else
                entry.info = model_.attributeInfoNamed(entry.name);
        }
        parsed.push_back(std::move(entry));
    }
    data.setFilterAdvanced(std::make_shared<ZQWorkWithDataFilterAdvanced>(std::move(parsed)));
}

std::shared_ptr<const ZQTypedObjectInfo> ZQWorkWithModelReader::resolved(
    std::shared_ptr<ZQTypedObjectInfo> info) const {
    if (info) L::resolve(*info, model_);
    return info;
}
