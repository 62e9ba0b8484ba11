#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDataFields.hpp"

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDataField.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDataSublevel.hpp"

std::shared_ptr<const ZQWorkWithDataFields> ZQWorkWithDataFields::dataFieldsOfLevel(
    const ZQWorkWithDataLevel& level) {
    ZQEntityDataFieldDescriptors fields;
    for (const auto& element : level.elements())
        fields.push_back(std::make_shared<ZQWorkWithDataField>(element->name(), element->type(),
                                                               element->fieldInfo()));
    for (const auto& sublevel : level.sublevels())
        fields.push_back(std::make_shared<ZQWorkWithDataField>(
            sublevel->level(), ZQEntityDataFieldTypeSublevel, nullptr));
    return std::make_shared<ZQWorkWithDataFields>(std::move(fields));
}

std::shared_ptr<const ZQWorkWithDataFields> ZQWorkWithDataFields::storageKeyOfLevel(
    const ZQWorkWithDataLevel& level, const ZQWorkWithDataFields& data) {
    if (level.storageKey().empty()) return nullptr;
    return std::make_shared<ZQWorkWithDataFields>(fieldsNamed(level.storageKey(), data));
}

std::shared_ptr<const ZQWorkWithDataFields> ZQWorkWithDataFields::parameterFields(
    const ZQWorkWithParameters& parameters) {
    if (parameters.empty()) return nullptr;
    ZQEntityDataFieldDescriptors fields;
    for (const auto& parameter : parameters) {
        uint8_t type = !parameter->name().empty() && parameter->name()[0] == '&'
                           ? ZQEntityDataFieldTypeVariable
                           : ZQEntityDataFieldTypeAttribute;
        fields.push_back(std::make_shared<ZQWorkWithDataField>(parameter->name(), type, parameter));
    }
    return std::make_shared<ZQWorkWithDataFields>(std::move(fields));
}

ZQEntityDataFieldDescriptors ZQWorkWithDataFields::fieldsNamed(
    const std::vector<std::string>& names, const ZQWorkWithDataFields& data) {
    ZQEntityDataFieldDescriptors fields;
    for (const auto& name : names) {
        auto field = data.fieldNamed(name);
        fields.push_back(field ? field
                               : std::make_shared<ZQWorkWithDataField>(
                                     name, ZQEntityDataFieldTypeAttribute, nullptr));
    }
    return fields;
}

std::shared_ptr<const ZQEntityDataFieldDescriptor> ZQWorkWithDataFields::fieldNamed(
    const std::string& name) const {
    for (const auto& field : fields_)
        if (field->entityDataFieldName() == name) return field;
    return nullptr;
}
