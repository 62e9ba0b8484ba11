// What to fetch: an entity, an optional predicate, sort descriptors, a limit, the result type and,
// for dictionary results, the properties to fetch. Value type owned by its caller; a request is
// used by one thread at a time (copies are independent).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/objectstore/ExpressionDescription.hpp"
#include "platform/objectstore/Predicate.hpp"
#include "platform/objectstore/SortDescriptor.hpp"

namespace platform {

class FetchRequest {
  public:
    // The numbers are the platform's result type codes.
    enum class ResultType : int {
        ManagedObject = 0,
        ManagedObjectID = 1,
        Dictionary = 2,
        Count = 4
    };

    FetchRequest() = default;
    explicit FetchRequest(std::string entityName) : entityName_(std::move(entityName)) {}

    const std::string& entityName() const { return entityName_; }
    void setEntityName(std::string name) { entityName_ = std::move(name); }
    const PredicatePtr& predicate() const { return predicate_; }
    void setPredicate(PredicatePtr predicate) { predicate_ = std::move(predicate); }
    const std::vector<SortDescriptor>& sortDescriptors() const { return sortDescriptors_; }
    void setSortDescriptors(std::vector<SortDescriptor> sorts) {
        sortDescriptors_ = std::move(sorts);
    }
    // 0: no limit.
    size_t fetchLimit() const { return fetchLimit_; }
    void setFetchLimit(size_t limit) { fetchLimit_ = limit; }
    ResultType resultType() const { return resultType_; }
    void setResultType(ResultType type) { resultType_ = type; }
    // Dictionary results only; empty means every attribute of the entity.
    const std::vector<ExpressionDescription>& propertiesToFetch() const { return properties_; }
    void setPropertiesToFetch(std::vector<ExpressionDescription> properties) {
        properties_ = std::move(properties);
    }

  private:
    std::string entityName_;
    PredicatePtr predicate_;
    std::vector<SortDescriptor> sortDescriptors_;
    size_t fetchLimit_ = 0;
    ResultType resultType_ = ResultType::ManagedObject;
    std::vector<ExpressionDescription> properties_;
};

}  // namespace platform
