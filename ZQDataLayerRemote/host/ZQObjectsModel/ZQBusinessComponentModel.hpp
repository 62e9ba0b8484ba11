// A business component of the application model: a transactional entity with a root level and
// nested child levels. The application model owns it; it owns its levels. Built by the model
// loader; immutable afterwards; any thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQBusinessComponentLevel.hpp"

class ZQBusinessComponentModel {
  public:
    explicit ZQBusinessComponentModel(std::string name) : name_(std::move(name)) {}

    // The component's name; "." separates modules ("Sales.Invoice").
    const std::string& name() const { return name_; }
    // Every level, the root first, each parent before its children.
    const std::vector<std::shared_ptr<const ZQBusinessComponentLevel>>& allLevels() const {
        return allLevels_;
    }
    std::shared_ptr<const ZQBusinessComponentLevel> rootLevel() const {
        return allLevels_.empty() ? nullptr : allLevels_.front();
    }
    // By name or levelName (exact match); none when there is no such level.
    std::shared_ptr<const ZQBusinessComponentLevel> levelWithName(const std::string& name) const {
        for (const auto& level : allLevels_)
            if (level->name() == name || level->levelName() == name) return level;
        return nullptr;
    }

    // Loader only.
    void addLevel(std::shared_ptr<const ZQBusinessComponentLevel> level) {
        allLevels_.push_back(std::move(level));
    }

  private:
    std::string name_;
    std::vector<std::shared_ptr<const ZQBusinessComponentLevel>> allLevels_;
};
