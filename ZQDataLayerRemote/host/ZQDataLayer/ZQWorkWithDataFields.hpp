// A list of field descriptors, serving as a level's data descriptor, a storage key or a data
// provider's parameters, with the builders that make them from the application model. Immutable;
// any thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataFieldDescriptor.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithData.hpp"

class ZQWorkWithDataFields : public ZQEntityDataFieldsDescriptor, public ZQEntityDataKeyDescriptor {
  public:
    explicit ZQWorkWithDataFields(ZQEntityDataFieldDescriptors fields)
        : fields_(std::move(fields)) {}

    const ZQEntityDataFieldDescriptors& entityDataFieldDescriptors() const override {
        return fields_;
    }
    const ZQEntityDataFieldDescriptors& entityDataKeyFieldsDescriptors() const override {
        return fields_;
    }

    // The level's elements (types 0 and 1, with their type information), then one field of type
    // 2 per sublevel, named by the sublevel.
    static std::shared_ptr<const ZQWorkWithDataFields> dataFieldsOfLevel(
        const ZQWorkWithDataLevel& level);
    // The descriptors of the storage key's fields, taken from data; a key name that is not a
    // field of data gives a bare descriptor (type 0, no type information). None without a key.
    static std::shared_ptr<const ZQWorkWithDataFields> storageKeyOfLevel(
        const ZQWorkWithDataLevel& level, const ZQWorkWithDataFields& data);
    // One field per parameter (type 1 for "&" names, else 0); none without parameters.
    static std::shared_ptr<const ZQWorkWithDataFields> parameterFields(
        const ZQWorkWithParameters& parameters);
    // The descriptors of the named fields, as storageKeyOfLevel does.
    static ZQEntityDataFieldDescriptors fieldsNamed(const std::vector<std::string>& names,
                                                    const ZQWorkWithDataFields& data);
    // The field of that name; none when absent.
    std::shared_ptr<const ZQEntityDataFieldDescriptor> fieldNamed(const std::string& name) const;

  private:
    const ZQEntityDataFieldDescriptors fields_;
};
