#include "platform/objectstore/Predicate.hpp"

namespace platform {

PredicatePtr Predicate::comparison(ExpressionPtr left, Operator op, ExpressionPtr right) {
    auto p = std::make_shared<Predicate>();
    p->kind_ = Kind::Comparison;
    p->op_ = op;
    p->left_ = std::move(left);
    p->right_ = std::move(right);
    return p;
}

PredicatePtr Predicate::equal(std::string keyPath, Value value) {
    return comparison(Expression::expressionForKeyPath(std::move(keyPath)), Operator::EqualTo,
                      Expression::expressionForConstantValue(std::move(value)));
}

PredicatePtr Predicate::in(std::string keyPath, Array values) {
    return comparison(Expression::expressionForKeyPath(std::move(keyPath)), Operator::In,
                      Expression::expressionForConstantValue(Value(std::move(values))));
}

PredicatePtr Predicate::equalToVariable(std::string keyPath, std::string variable) {
    return comparison(Expression::expressionForKeyPath(std::move(keyPath)), Operator::EqualTo,
                      Expression::expressionForVariable(std::move(variable)));
}

PredicatePtr Predicate::andPredicateWithSubpredicates(std::vector<PredicatePtr> subpredicates) {
    auto p = std::make_shared<Predicate>();
    p->kind_ = Kind::And;
    p->subpredicates_ = std::move(subpredicates);
    return p;
}

PredicatePtr Predicate::predicateWithSubstitutionVariables(const Dictionary& variables) const {
    if (kind_ == Kind::And) {
        std::vector<PredicatePtr> subs;
        for (const auto& s : subpredicates_)
            subs.push_back(s->predicateWithSubstitutionVariables(variables));
        return andPredicateWithSubpredicates(std::move(subs));
    }
    return comparison(left_ ? left_->substituting(variables) : nullptr, op_,
                      right_ ? right_->substituting(variables) : nullptr);
}

std::string Predicate::description() const {
    if (kind_ == Kind::And) {
        std::string out;
        for (size_t i = 0; i < subpredicates_.size(); ++i) {
            out += (i ? " AND (" : "(") + subpredicates_[i]->description() + ")";
        }
        return out.empty() ? "TRUEPREDICATE" : out;
    }
    return (left_ ? left_->description() : "?") + (op_ == Operator::EqualTo ? " == " : " IN ") +
           (right_ ? right_->description() : "?");
}

}  // namespace platform
