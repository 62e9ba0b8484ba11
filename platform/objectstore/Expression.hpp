// An expression of a predicate or of a fetched property: a constant value, a substitution
// variable, a key path, the evaluated object itself, or the function "count:" of a to-many key
// path. Immutable once made; shared between threads freely.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Value.hpp"

namespace platform {

class Expression;
using ExpressionPtr = std::shared_ptr<const Expression>;

class Expression {
  public:
    enum class Kind { ConstantValue, Variable, KeyPath, EvaluatedObject, Function };

    // A constant; the null value compares as "no value", a Value array for IN holds the members.
    [[nodiscard]] static ExpressionPtr expressionForConstantValue(Value value);
    [[nodiscard]] static ExpressionPtr expressionForVariable(std::string name);
    [[nodiscard]] static ExpressionPtr expressionForKeyPath(std::string keyPath);
    [[nodiscard]] static ExpressionPtr expressionForEvaluatedObject();
    // Only "count:" with one key-path argument is understood by the stores.
    [[nodiscard]] static ExpressionPtr expressionForFunction(std::string name,
                                                             std::vector<ExpressionPtr> arguments);

    Kind kind() const { return kind_; }
    const Value& constantValue() const { return constant_; }
    // The variable name, key path or function name.
    const std::string& text() const { return text_; }
    const std::vector<ExpressionPtr>& arguments() const { return arguments_; }

    // Variables found in `variables` become constants; others stay variables.
    ExpressionPtr substituting(const Dictionary& variables) const;
    std::string description() const;

  private:
    Kind kind_ = Kind::ConstantValue;
    Value constant_;
    std::string text_;
    std::vector<ExpressionPtr> arguments_;
};

}  // namespace platform
