// A property fetched into dictionary results: a name (the dictionary key), an expression (a key
// path, the evaluated object or "count:" of a to-many key path) and the type of its result. Made
// implicitly from a plain key path ("name", "entityData.zqname"). Value type; any thread.
#pragma once

#include <string>

#include "platform/objectstore/AttributeDescription.hpp"
#include "platform/objectstore/Expression.hpp"

namespace platform {

class ExpressionDescription {
  public:
    ExpressionDescription(std::string name, ExpressionPtr expression, AttributeType resultType)
        : name_(std::move(name)), expression_(std::move(expression)), resultType_(resultType) {}
    // A plain property or key path, keyed by its own text.
    ExpressionDescription(const std::string& keyPath)  // NOLINT(google-explicit-constructor)
        : name_(keyPath), expression_(Expression::expressionForKeyPath(keyPath)) {}
    ExpressionDescription(const char* keyPath)  // NOLINT(google-explicit-constructor)
        : ExpressionDescription(std::string(keyPath)) {}

    const std::string& name() const { return name_; }
    const ExpressionPtr& expression() const { return expression_; }
    // The type of the result; for a key path to an attribute the attribute's own type is used.
    AttributeType expressionResultType() const { return resultType_; }

  private:
    std::string name_;
    ExpressionPtr expression_;
    AttributeType resultType_ = AttributeType::Undefined;
};

}  // namespace platform
