// The advanced filter of a collection data provider: fields the user may filter on, each with a
// single value (type 0) or a range (type 1), and their type information. Immutable once loaded;
// any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQTypedObjectInfo.hpp"

enum ZQWorkWithDataFilterAdvancedFieldType : uint8_t {
    ZQWorkWithDataFilterAdvancedFieldSingle = 0,
    ZQWorkWithDataFilterAdvancedFieldRange = 1,
};

class ZQWorkWithDataFilterAdvanced {
  public:
    struct Field {
        std::string name;
        ZQWorkWithDataFilterAdvancedFieldType type = ZQWorkWithDataFilterAdvancedFieldSingle;
        // The type of the field's values (the data element's of the same name when the model
        // gives none); may be none.
        std::shared_ptr<const ZQTypedObjectInfo> info;
    };

    explicit ZQWorkWithDataFilterAdvanced(std::vector<Field> fields) : fields_(std::move(fields)) {}
    const std::vector<Field>& fields() const { return fields_; }

  private:
    std::vector<Field> fields_;
};
