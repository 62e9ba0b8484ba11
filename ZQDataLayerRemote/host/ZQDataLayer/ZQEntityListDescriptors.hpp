// Protocols of a collection data source's list settings: orders (with group-by and alphabetic
// index), break-by, the search filter and the advanced filter with its fields and the values a
// query gives them. Implementations are immutable once built; any thread reads them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataFieldDescriptor.hpp"
#include "platform/Value.hpp"

class ZQEntityListOrderDescriptor {
  public:
    virtual ~ZQEntityListOrderDescriptor() = default;
    virtual const ZQEntityDataFieldDescriptors& entityListOrderFields() const = 0;
    virtual bool entityListOrderGroupBy() const = 0;
    // Group by the order fields 0 to this index; ZQNotFound when there is no limit.
    virtual uint64_t entityListOrderGroupByUpToFieldIndex() const = 0;
    virtual bool entityListOrderAlphaIndexerEnabled() const = 0;
};

class ZQEntityListBreakByDescriptor {
  public:
    virtual ~ZQEntityListBreakByDescriptor() = default;
    virtual const ZQEntityDataFieldDescriptors& entityListBreakByFields() const = 0;
};

// Break-by behaviour of a list with a search text.
enum ZQEntityListFilterSearchBreakByBehavior : uint8_t {
    ZQEntityListFilterSearchBreakByDisabled = 0,  // a searched list has no break-by sections
    ZQEntityListFilterSearchBreakByKept = 1,      // a searched list keeps them
};

class ZQEntityListFilterSearchDescriptor {
  public:
    virtual ~ZQEntityListFilterSearchDescriptor() = default;
    virtual const ZQEntityDataFieldDescriptors& entityListFilterSearchFields() const = 0;
    virtual uint8_t entityListFilterSearchBreakByBehavior() const = 0;
};

// Kinds of advanced filter field (entityListFilterAdvancedFieldType).
enum ZQEntityListFilterAdvancedFieldType : uint8_t {
    ZQEntityListFilterAdvancedFieldTypeSingle = 0,  // one value
    ZQEntityListFilterAdvancedFieldTypeRange = 1,   // a from value and a to value
};

class ZQEntityListFilterAdvancedFieldDescriptor : public virtual ZQEntityDataFieldDescriptor {
  public:
    virtual uint8_t entityListFilterAdvancedFieldType() const = 0;
};

using ZQEntityListFilterAdvancedFieldDescriptors =
    std::vector<std::shared_ptr<const ZQEntityListFilterAdvancedFieldDescriptor>>;

class ZQEntityListFilterAdvancedDescriptor {
  public:
    virtual ~ZQEntityListFilterAdvancedDescriptor() = default;
    virtual const ZQEntityListFilterAdvancedFieldDescriptors& entityListFilterAdvancedFields()
        const = 0;
};

// The value a query gives one advanced filter field: value for a single field, from and to for a
// range; any of them may be absent or the null value.
class ZQEntityListFilterAdvancedFieldValue {
  public:
    virtual ~ZQEntityListFilterAdvancedFieldValue() = default;
    virtual std::shared_ptr<const ZQEntityListFilterAdvancedFieldDescriptor>
    entityListFilterAdvancedField() const = 0;
    virtual platform::Value entityListFilterAdvancedFieldValue() const = 0;
    virtual platform::Value entityListFilterAdvancedFieldFromValue() const = 0;
    virtual platform::Value entityListFilterAdvancedFieldToValue() const = 0;
};

using ZQEntityListFilterAdvancedFieldValues =
    std::vector<std::shared_ptr<const ZQEntityListFilterAdvancedFieldValue>>;
