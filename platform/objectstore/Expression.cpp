#include "platform/objectstore/Expression.hpp"

namespace platform {

ExpressionPtr Expression::expressionForConstantValue(Value value) {
    auto e = std::make_shared<Expression>();
    e->kind_ = Kind::ConstantValue;
    e->constant_ = std::move(value);
    return e;
}

ExpressionPtr Expression::expressionForVariable(std::string name) {
    auto e = std::make_shared<Expression>();
    e->kind_ = Kind::Variable;
    e->text_ = std::move(name);
    return e;
}

ExpressionPtr Expression::expressionForKeyPath(std::string keyPath) {
    auto e = std::make_shared<Expression>();
    e->kind_ = Kind::KeyPath;
    e->text_ = std::move(keyPath);
    return e;
}

ExpressionPtr Expression::expressionForEvaluatedObject() {
    auto e = std::make_shared<Expression>();
    e->kind_ = Kind::EvaluatedObject;
    return e;
}

ExpressionPtr Expression::expressionForFunction(std::string name,
                                                std::vector<ExpressionPtr> arguments) {
    auto e = std::make_shared<Expression>();
    e->kind_ = Kind::Function;
    e->text_ = std::move(name);
    e->arguments_ = std::move(arguments);
    return e;
}

ExpressionPtr Expression::substituting(const Dictionary& variables) const {
    if (kind_ == Kind::Variable) {
        if (const Value* v = variables.find(text_)) return expressionForConstantValue(*v);
    } else if (kind_ == Kind::Function) {
        std::vector<ExpressionPtr> args;
        for (const auto& a : arguments_) args.push_back(a->substituting(variables));
        return expressionForFunction(text_, std::move(args));
    }
    auto copy = std::make_shared<Expression>(*this);
    return copy;
}

std::string Expression::description() const {
    switch (kind_) {
        case Kind::ConstantValue:
            return constant_.isAbsent() ? "nil" : constant_.description();
        case Kind::Variable:
            return "$" + text_;
        case Kind::KeyPath:
            return text_;
        case Kind::EvaluatedObject:
            return "SELF";
        case Kind::Function: {
            std::string out = text_ + "(";
            for (size_t i = 0; i < arguments_.size(); ++i) {
                out += (i ? ", " : "") + arguments_[i]->description();
            }
            return out + ")";
        }
    }
    return "";
}

}  // namespace platform
