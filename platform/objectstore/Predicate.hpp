// A fetch predicate: a comparison (equal-to or IN) of a key path with a constant, a substitution
// variable or the null value, or the AND of sub-predicates. Immutable once made; shared between
// threads freely. Values are never written into SQL text: the stores bind them as parameters.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/objectstore/Expression.hpp"

namespace platform {

class Predicate;
using PredicatePtr = std::shared_ptr<const Predicate>;

class Predicate {
  public:
    enum class Kind { Comparison, And };
    enum class Operator { EqualTo, In };

    [[nodiscard]] static PredicatePtr comparison(ExpressionPtr left, Operator op,
                                                 ExpressionPtr right);
    // Shorthands: key path == constant (the null value matches "no value"), key path IN array,
    // key path == $variable.
    [[nodiscard]] static PredicatePtr equal(std::string keyPath, Value value);
    [[nodiscard]] static PredicatePtr in(std::string keyPath, Array values);
    [[nodiscard]] static PredicatePtr equalToVariable(std::string keyPath, std::string variable);
    [[nodiscard]] static PredicatePtr andPredicateWithSubpredicates(
        std::vector<PredicatePtr> subpredicates);

    Kind kind() const { return kind_; }
    Operator comparisonOperator() const { return op_; }
    const ExpressionPtr& leftExpression() const { return left_; }
    const ExpressionPtr& rightExpression() const { return right_; }
    const std::vector<PredicatePtr>& subpredicates() const { return subpredicates_; }

    // A copy with the variables found in `variables` replaced by their values.
    PredicatePtr predicateWithSubstitutionVariables(const Dictionary& variables) const;
    std::string description() const;

  private:
    Kind kind_ = Kind::Comparison;
    Operator op_ = Operator::EqualTo;
    ExpressionPtr left_;
    ExpressionPtr right_;
    std::vector<PredicatePtr> subpredicates_;
};

}  // namespace platform
