// What an action running on a screen knows beyond the entity it edits: the values of its
// variables ("&Total"), which parameters bound to a variable read first. Made by whoever runs
// the action; immutable once made, so any thread reads it.
#pragma once

#include "platform/Value.hpp"

class ZQActionHandlerContext {
  public:
    explicit ZQActionHandlerContext(platform::Dictionary variableValues)
        : variableValues_(std::move(variableValues)) {}
    // By the variable's name with its "&" ("&Total"); absent when the action has no such variable.
    platform::Value valueForVariable(const std::string& name) const {
        return variableValues_.get(name);
    }

  private:
    platform::Dictionary variableValues_;
};
